#pragma once
// The inner loops of the wavelet decoder, built once for each instruction set the processor may
// have, and the one choice among them: the lifting steps of the row-pipelined inverse (PipeSeg)
// and the conversions of decoded rows into output samples (PipelinedWaveletDecoder).
//
// Every table computes the same values bit for bit; the wider ones only run more samples at a
// time. The processor is asked once, at the first use; a decoder takes the table when it is made.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Korvel {

// The vertical update of n samples of one half of an even row: even = base (+ refinement) less
// rne4(above + below). With predict, also the odd row above it: odd = above + rne2(evenAbove +
// even). Pointers that a step does not use may be null.
using WaveletUpdate = void (*)(std::int32_t* even, std::int32_t* odd, const std::int32_t* evenAbove,
                               const std::int32_t* base, const std::int32_t* refinement,
                               const std::int32_t* above, const std::int32_t* below, std::size_t n);
// The vertical predict of n samples of an odd row: out = high + rne2(above + below).
using WaveletPredict = void (*)(std::int32_t* out, const std::int32_t* high,
                                const std::int32_t* above, const std::int32_t* below,
                                std::size_t n);
// The horizontal synthesis of a split row: n lows (updated in place) and n + 1 highs around them
// (high[i] left of low[i]) into 2n - 1 interleaved samples starting with low 0.
using WaveletSynthesize = void (*)(std::int32_t* low, const std::int32_t* high, std::size_t n,
                                   std::int32_t* out);
// n samples clamped to [minimum, maximum] (which lies inside the output type) and narrowed.
using WaveletClamp = void (*)(const std::int32_t* in, std::size_t n, std::int32_t minimum,
                              std::int32_t maximum, void* out);
// n samples as floats: value x scale + offset.
using WaveletScale = void (*)(const std::int32_t* in, std::size_t n, float scale, float offset,
                              void* out);

// The integer output types, as indices of WaveletKernels::clamp.
enum WaveletClampType : unsigned {
    kWaveletClampU8,
    kWaveletClampS8,
    kWaveletClampU16,
    kWaveletClampS16,
    kWaveletClampTypes
};

struct WaveletKernels {
    const char* name;
    WaveletUpdate update[2][2]; // [refined][predict]
    WaveletPredict predict;
    WaveletSynthesize synthesize;
    WaveletClamp clamp[kWaveletClampTypes];
    WaveletScale scale;
};

// The table decoders use: the widest this processor runs, unless a test forced another.
const WaveletKernels& waveletKernels();
// Every table this processor runs, the baseline first.
std::vector<const WaveletKernels*> waveletKernelVariants();
// For tests: decoders made from now on use this table; null gives the choice back.
void forceWaveletKernels(const WaveletKernels* kernels);

} // namespace Korvel
