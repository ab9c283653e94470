#pragma once
// Where the inverse wavelet reads its subband rows from: the decoded subblocks of one image, handed
// out a row at a time. The strip cache over the plane store implements it; tests give it whole
// subband arrays.
//
// A source may hold only one row of subblocks per subband, and only the last kRowsHeld rows it
// handed out of each subband: a pointer stays valid until kRowsHeld further rows of its subband
// have been asked for, or until a row in another row of subblocks is asked for (which may move
// the subband's strip), whichever comes first. Pointers of other subbands stay valid.

#include "support/KVStatus.h"

#include <cstdint>

namespace Korvel {

class QG3ImageInfo;

class SubbandRowSource {
public:
    // The rows of one subband a caller may hold at once: the wavelet level keeps the current and
    // the previous row of its vertically-high subbands.
    static constexpr unsigned kRowsHeld = 2;

    virtual ~SubbandRowSource() = default;

    // The image whose subbands are handed out (its subband table, bands, scales and offsets).
    virtual const QG3ImageInfo& getImageInfo() const = 0;
    // The edge S of the image's square subblocks.
    virtual std::uint16_t getSubblockSize() const = 0;
    // The number of band pointers that getSubbandRow fills.
    virtual std::uint16_t getBandCount() const = 0;
    // Points rowsPerBand[b] at column firstColumn of the row of subband `subband`, for every band;
    // a row of zeros may be given as null.
    // A subband at or beyond the image's subband count answers 0 and leaves the pointers alone; a
    // row at or beyond the subband's height or a last column at or beyond its width gives
    // KV_QG3_NOT_FOUND.
    virtual KVStatus getSubbandRow(std::int32_t** rowsPerBand, std::uint8_t subband,
                                   std::uint32_t row, std::uint32_t firstColumn,
                                   std::uint32_t lastColumn) = 0;
};

} // namespace Korvel
