#pragma once
// Makes the plane reader for a planeset's layout, and says which planesets the readers accept.

#include "qg3/planes/QG3FilePlaneReader.h"
#include "streams/KVIOStreamInf.h"

#include <cstdint>
#include <memory>

namespace Korvel {

class QG3ImageInfo;
class QG3PlanesetPacket;

// Planeset layouts.
inline constexpr std::uint32_t QG3_LAYOUT_INTERLEAVED = 0;
inline constexpr std::uint32_t QG3_LAYOUT_DATA_FIRST = 2;
inline constexpr std::uint32_t QG3_LAYOUT_RASTER_BLOCKS = 3;

// The largest plane count per band (estimateFactor): the subblock decoder takes 32 records a
// band.
inline constexpr std::uint32_t QG3_MAX_PLANES = 32;

// By the planeset packet's layout: 0 interleaved, 2 data first, 3 raster blocks; null for
// another layout or when memory runs out (the stream then stays the caller's). The image
// information and the packet must outlive the reader; in the information, estimateFactor is the
// plane count and the band set's bit count the band count.
std::unique_ptr<QG3FilePlaneReader> createPlaneReader(const QG3ImageInfo& info,
                                                      const QG3PlanesetPacket& planeset,
                                                      KVIOStreamInf* stream,
                                                      const QG3PlaneReaderOptions& options);

// The item format of the image and its planeset packet: word and value width from the image
// information, the wide prefix from the packet header's flag2; the rest as given.
QG3PlaneReaderOptions planeReaderOptions(const QG3ImageInfo& info,
                                         const QG3PlanesetPacket& planeset, bool keepOpen,
                                         bool useCursors, bool ownsStream);

// Whether the plane readers take the planeset: KV_QG3_BAD_FORMAT for an image without a subband
// table, for more than 32 planes per band, and for a pipe-order planeset (kind 1) whose order
// cannot be inverted: subblocks of size 1 with two or more levels, of size 2 with three or more,
// or 2^32 subblocks or more. Every scan checks it first; the plane source calls it when it opens
// the image.
KVStatus checkPlaneset(const QG3ImageInfo& info, const QG3PlanesetPacket& planeset);

} // namespace Korvel
