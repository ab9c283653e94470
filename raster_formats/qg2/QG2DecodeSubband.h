#pragma once
// Fills the leaves of a subband tree with dequantised coefficients from the file: for each leaf
// in leaf order, each region of its subband that the leaf's rectangle meets and each band with
// data there (the band and its tree taken from the band cache), the blocks that the rectangle
// meets are decoded (QG2DecodeBlock, continuing from the block cache where an earlier strip
// stopped), dequantised with the leaf's step and, in band 0 of an image whose dither is on, less
// the dither (QG2Dequantise). Leaves beyond the file's subbands, and subbands without data, stay
// zero.

#include "QG2BandCache.h"
#include "QG2BlockCache.h"
#include "QG2DBInfo.h"
#include "QG2Subband.h"
#include "stages/KVIImageStage.h"

#include <cstdint>

namespace Korvel {

// What the block decoding did: blocks decoded from their start, blocks continued from the cache,
// and coefficient rows decoded (the wanted rows of each block decoded, summed).
struct QG2DecodeCounts {
    std::uint64_t blocksStarted = 0;
    std::uint64_t blocksResumed = 0;
    std::uint64_t rowsDecoded = 0;
};

// Throws KVUtilException: KV_QG2_INTERRUPTED when the interrupt delegate (may be null), asked
// before and after each block, answers nonzero; the status of a directory, region list or block
// that cannot be read; the block decoder's statuses. std::bad_alloc when memory runs out.
void qg2DecodeSubband(QG2Subband& tree, QG2DBInfo& dbInfo, std::int32_t level, QG2BlockCache& cache,
                      QG2BandCache& bands, KVIInterruptDelegate* interrupt,
                      QG2DecodeCounts& counts);

} // namespace Korvel
