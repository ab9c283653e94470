#pragma once
// Lays one scene buffer (the source) over another of a compatible pixel (the destination), pixel
// by pixel inside the common part of their windows. Transparent source pixels (KVIMergeMask.h)
// never reach the destination; the pixels that pass are copied band by band, or, with the blend
// flag set and alpha on either side, composited over the destination (KVICompositeOver.h).

#include "support/KVStatus.h"

#include <cstdint>

namespace Korvel {

class KVIMaskSource;
class KVIPixel;
class KVIRunMask;
class KVIScene;
class KVISceneBuffer;

// The merge of one source strip into a destination. A source with neither alpha nor a no-data
// pixel is copied whole (through the mask source's mask when there is one), whatever the merge
// mode; otherwise the merge mode must be KVI_MERGE_VISIBLE or KVI_MERGE_TOLERANT
// (KV_BAD_MERGE_MODE) and the pixels the merge mask takes, within the mask source's mask, are
// copied. scene is the scene of the read: its magnification sets mode 1's tolerance and the mask
// source is asked for it. Statuses of KVIPixel::checkCompatible, of buildMergeMask, of the mask
// source and of compositeSceneBuffers; nothing is written on failure.
KVStatus mergeSceneBuffers(KVISceneBuffer& destination, std::uint32_t mergeMode,
                           const KVISceneBuffer& source, const KVIPixel* sourceNoData,
                           const KVIPixel* destinationNoData, KVIMaskSource* maskSource,
                           const KVIScene& scene, bool blend);

// Copies the source into the destination through mask (all columns without one): with the
// blend flag set and alpha on either side by compositeOver of the sample type, else band by
// band (an alpha band like any other). Statuses of KVIPixel::checkCompatible;
// KV_PIXEL_DATA_TYPE_MISMATCH when the two pixels are not of one type throughout and must be
// composited; KV_UNSUPPORTED_DATA_TYPE for a type outside the eight; KV_OUT_OF_MEMORY.
KVStatus compositeSceneBuffers(KVISceneBuffer& destination, const KVIRunMask* mask,
                               const KVISceneBuffer& source, bool blend);

} // namespace Korvel
