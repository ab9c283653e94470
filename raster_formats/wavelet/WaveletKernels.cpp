#include "WaveletKernels.h"

#include "PipeSeg.h"
#include "WrappingArithmetic.h"

#include <algorithm>
#include <atomic>

namespace Korvel {

namespace {

// The loops, written once. They are inlined into each build below, so that the compiler
// vectorises them for that build's instruction set.

template <bool Refined, bool Predict>
[[gnu::always_inline]] inline void
updateLoop(std::int32_t* __restrict even, std::int32_t* __restrict odd,
           const std::int32_t* __restrict evenAbove, const std::int32_t* __restrict base,
           const std::int32_t* __restrict refinement, const std::int32_t* __restrict above,
           const std::int32_t* __restrict below, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        const std::int32_t low = Refined ? wrapAdd(base[i], refinement[i]) : base[i];
        const std::int32_t e = wrapSub(low, rne4(wrapAdd(above[i], below[i])));
        even[i] = e;
        if constexpr (Predict) odd[i] = wrapAdd(above[i], rne2(wrapAdd(evenAbove[i], e)));
    }
}

[[gnu::always_inline]] inline void predictLoop(std::int32_t* __restrict out,
                                               const std::int32_t* __restrict high,
                                               const std::int32_t* __restrict above,
                                               const std::int32_t* __restrict below,
                                               std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        out[i] = wrapAdd(high[i], rne2(wrapAdd(above[i], below[i])));
}

// The lows are updated in place first, so that both passes are plain loops over arrays.
[[gnu::always_inline]] inline void synthesizeLoop(std::int32_t* __restrict low,
                                                  const std::int32_t* __restrict high,
                                                  std::size_t n, std::int32_t* __restrict out) {
    for (std::size_t i = 0; i < n; ++i)
        low[i] = wrapSub(low[i], rne4(wrapAdd(high[i], high[i + 1])));
    const std::size_t m = n - 1;
    for (std::size_t i = 0; i < m; ++i) {
        out[2 * i] = low[i];
        out[2 * i + 1] = wrapAdd(high[i + 1], rne2(wrapAdd(low[i], low[i + 1])));
    }
    out[2 * m] = low[m];
}

template <class Out>
[[gnu::always_inline]] inline void clampLoop(const std::int32_t* __restrict in, std::size_t n,
                                             std::int32_t minimum, std::int32_t maximum, void* to) {
    Out* __restrict out = static_cast<Out*>(to);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<Out>(std::min(std::max(in[i], minimum), maximum));
}

[[gnu::always_inline]] inline void scaleLoop(const std::int32_t* __restrict in, std::size_t n,
                                             float scale, float offset, void* to) {
    float* __restrict out = static_cast<float*>(to);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = static_cast<float>(in[i]) * scale + offset;
}

// One table: the loops above built with the given function attributes.
#define KV_WAVELET_KERNEL_TABLE(NAMESPACE, LABEL, TARGET)                                          \
    namespace NAMESPACE {                                                                          \
    template <bool Refined, bool Predict>                                                          \
    TARGET void update(std::int32_t* even, std::int32_t* odd, const std::int32_t* evenAbove,       \
                       const std::int32_t* base, const std::int32_t* refinement,                   \
                       const std::int32_t* above, const std::int32_t* below, std::size_t n) {      \
        updateLoop<Refined, Predict>(even, odd, evenAbove, base, refinement, above, below, n);     \
    }                                                                                              \
    TARGET void predict(std::int32_t* out, const std::int32_t* high, const std::int32_t* above,    \
                        const std::int32_t* below, std::size_t n) {                                \
        predictLoop(out, high, above, below, n);                                                   \
    }                                                                                              \
    TARGET void synthesize(std::int32_t* low, const std::int32_t* high, std::size_t n,             \
                           std::int32_t* out) {                                                    \
        synthesizeLoop(low, high, n, out);                                                         \
    }                                                                                              \
    template <class Out>                                                                           \
    TARGET void clamp(const std::int32_t* in, std::size_t n, std::int32_t minimum,                 \
                      std::int32_t maximum, void* out) {                                           \
        clampLoop<Out>(in, n, minimum, maximum, out);                                              \
    }                                                                                              \
    TARGET void scale(const std::int32_t* in, std::size_t n, float scale, float offset,            \
                      void* out) {                                                                 \
        scaleLoop(in, n, scale, offset, out);                                                      \
    }                                                                                              \
    constexpr WaveletKernels kTable{                                                               \
        LABEL,                                                                                     \
        {{&update<false, false>, &update<false, true>},                                            \
         {&update<true, false>, &update<true, true>}},                                             \
        &predict,                                                                                  \
        &synthesize,                                                                               \
        {&clamp<std::uint8_t>, &clamp<std::int8_t>, &clamp<std::uint16_t>, &clamp<std::int16_t>},  \
        &scale};                                                                                   \
    }

KV_WAVELET_KERNEL_TABLE(baseline, "baseline", )
#if defined(__x86_64__) || defined(__i386__)
#define KV_WAVELET_X86 1
// SSE4.1 adds the packed 32-bit minimum and maximum that the clamps want, AVX2 doubles the width.
KV_WAVELET_KERNEL_TABLE(sse41, "sse4.1", [[gnu::target("sse4.1")]])
KV_WAVELET_KERNEL_TABLE(avx2, "avx2", [[gnu::target("avx2")]])
#endif
#undef KV_WAVELET_KERNEL_TABLE

// The tables this processor runs, found at the first use.
const std::vector<const WaveletKernels*>& supported() {
    static const std::vector<const WaveletKernels*> tables = [] {
        std::vector<const WaveletKernels*> found{&baseline::kTable};
#ifdef KV_WAVELET_X86
        __builtin_cpu_init();
        if (__builtin_cpu_supports("sse4.1")) found.push_back(&sse41::kTable);
        if (__builtin_cpu_supports("avx2")) found.push_back(&avx2::kTable);
#endif
        return found;
    }();
    return tables;
}

std::atomic<const WaveletKernels*> forced{nullptr};

} // namespace

const WaveletKernels& waveletKernels() {
    const WaveletKernels* table = forced.load(std::memory_order_acquire);
    return table != nullptr ? *table : *supported().back();
}

std::vector<const WaveletKernels*> waveletKernelVariants() {
    return supported();
}

void forceWaveletKernels(const WaveletKernels* kernels) {
    forced.store(kernels, std::memory_order_release);
}

} // namespace Korvel
