#pragma once
// The mask of a merge: for every pixel of the common part of two scene buffers' windows, whether
// the source pixel is to be taken over the destination's. A source pixel is transparent when its
// alpha lies at or below the cut-off (KVIAlphaCutoff) or, without alpha, when its bands equal the
// source's no-data pixel. Merge mode 0 takes every other source pixel; mode 1 keeps a solid
// destination pixel against a source pixel only barely distinguishable from transparent, with a
// tolerance that grows as the magnification falls.

#include "support/KVStatus.h"

#include <cstdint>

namespace Korvel {

class KVIPixel;
class KVIRunMask;
class KVISceneBuffer;

inline constexpr std::uint32_t KVI_MERGE_VISIBLE = 0;  // every visible source pixel is taken
inline constexpr std::uint32_t KVI_MERGE_TOLERANT = 1; // a solid destination resists faint ones

// The per-band tolerance of merge mode 1: 16 at magnification 1 and above, rising toward 64 as
// the magnification falls (29.365213935431907 at 0.25).
double mergeTolerance(double magnification);

// Builds mask (one row per row of the common window, runs of taken columns). KV_BAD_ARGUMENT when
// the source has neither alpha nor a no-data pixel, or for a type or mode without a kernel (the
// kernels cover u8, s8, u16, s16 and float in modes 0 and 1); the statuses of
// KVIPixel::checkCompatible when the pixels differ, KV_PIXEL_DATA_TYPE_MISMATCH when an alpha band
// differs in type from the rest; KV_OUT_OF_MEMORY. Alpha is judged before a no-data pixel on
// either side.
KVStatus buildMergeMask(std::uint32_t mergeMode, double magnification,
                        const KVISceneBuffer& destination, const KVIPixel* destinationNoData,
                        const KVISceneBuffer& source, const KVIPixel* sourceNoData,
                        KVIRunMask& mask, bool blend);

} // namespace Korvel
