#pragma once
// The inverse 9/7 wavelet of generation-2 images, in single precision: the four lifting steps of
// the irreversible transform of JPEG 2000 (ISO/IEC 15444-1 Annex F) without its scaling step,
// which the dequantisation steps carry. Low samples sit at the even positions of a signal, high
// samples at the odd ones:
//
//   1. even -= 0.44350684  x (odd before + odd after)
//   2. odd  -= 0.8829111   x (even before + even after)
//   3. even += 0.052980117 x (odd before + odd after)
//   4. odd  += 1.5861344   x (even before + even after)
//
// each as (a + b) x c, then added or subtracted, in single precision; a signal is extended at its
// ends by whole-sample symmetric extension. Only the requested range is produced; the lifting
// starts four samples before it and ends four after, which is what the range's samples depend on.
// A node's two-dimensional synthesis runs down the columns first, then along the rows, a plane at
// a time. The columns are lifted in batches, each step over whole rows of a batch, and the rows
// one signal at a time; the compiler runs several samples of a step at once, each sample getting
// the same operations in the same order as alone (the library builds without contraction into
// fused multiply-adds), so every sample is what the plain form gives.

#include "QG2Subband.h"
#include "stages/KVIImageStage.h"

#include <bit>
#include <cstdint>
#include <vector>

namespace Korvel {

struct QG2Lifting {
    static constexpr float kStep1 = std::bit_cast<float>(0x3EE31354u); // 0.44350684
    static constexpr float kStep2 = std::bit_cast<float>(0x3F620676u); // 0.8829111
    static constexpr float kStep3 = std::bit_cast<float>(0x3D5901AEu); // 0.052980117
    static constexpr float kStep4 = std::bit_cast<float>(0x3FCB0674u); // 1.5861344
};

// One signal's part: the samples of low indices lowFirst..lowFirst + lowCount - 1 and of high
// indices highFirst.., a signal of full samples (positions 2k low, 2k + 1 high) of which out
// receives positions first..last. The parts must hold what the range depends on (see QG2Subband);
// samples outside them are taken as 0.
struct QG2LineSpan {
    std::int64_t full = 0;
    std::int64_t lowFirst = 0;
    std::int64_t lowCount = 0;
    std::int64_t highFirst = 0;
    std::int64_t highCount = 0;
    std::int64_t first = 0;
    std::int64_t last = -1;
};

// One-dimensional synthesis of a single signal; scratch is working memory kept between calls.
void qg2SynthesiseLine(const float* low, const float* high, const QG2LineSpan& span, float* out,
                       std::vector<float>& scratch);

// Synthesises the tree bottom-up: each node with children is rebuilt from its four children,
// which are then destroyed; afterwards the root's planes hold the samples of its rectangle. The
// interrupt delegate (may be null) is asked after each batch of columns; a nonzero answer throws
// KVUtilException KV_QG2_INTERRUPTED. std::bad_alloc when memory runs out.
void qg2Synthesise(QG2Subband& root, KVIInterruptDelegate* interrupt);

} // namespace Korvel
