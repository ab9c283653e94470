#pragma once
// Generation-2 planes to samples of a scene buffer. Each value x becomes clamp(x + 0.5, 0, max),
// truncated toward zero for integer samples (max 255 for 8 bits, 65535 for 16 bits, the largest
// finite float for float samples, which keep the + 0.5 too); a NaN becomes 0.
//
// - one band: the plane as it stands;
// - three bands (Y, I, Q planes): R = Y + 0.94521606 I + 0.63271606 Q,
//   G = Y - 0.28935185 I - 0.6018519 Q, B = Y - 1.099537 I + 1.712963 Q, each as (Y + a I) + b Q
//   in single precision;
// - four bands (Y, I, Q, K), 8 and 16 bits only: R, G, B as above without the + 0.5;
//   Cy = clamp((max - R) 2, 0, 2 max), likewise Ma from G and Ye from B; m = min(Cy, Ma, Ye);
//   d = m - clamp(K, 0, m); outputs clamp(Cy + 0.5 - d), clamp(Ma + 0.5 - d), clamp(Ye + 0.5 - d)
//   and clamp(d + 0.5), each within [0, max].

#include "Array2D.h"
#include "buffers/KVISceneBuffer.h"

#include <bit>
#include <cstdint>

namespace Korvel {

struct QG2YiqToRgb {
    static constexpr float kRedI = std::bit_cast<float>(0x3F71F9AEu);   // 0.94521606
    static constexpr float kRedQ = std::bit_cast<float>(0x3F21F9AEu);   // 0.63271606
    static constexpr float kGreenI = std::bit_cast<float>(0xBE9425EDu); // -0.28935185
    static constexpr float kGreenQ = std::bit_cast<float>(0xBF1A12F7u); // -0.6018519
    static constexpr float kBlueI = std::bit_cast<float>(0xBF8CBDA1u);  // -1.099537
    static constexpr float kBlueQ = std::bit_cast<float>(0x3FDB425Fu);  // 1.712963
};

// Writes width x height samples of each band into the buffer's window, by the buffer's data type
// (unsigned 8-bit, unsigned 16-bit, float). A band count other than 1, 3 and 4 writes nothing and
// gives KV_OK. KV_UNSUPPORTED_DATA_TYPE for another data type, KV_QG2_FOUR_BANDS_FLOAT for four
// bands of float; KV_PIXEL_BAND_COUNT_MISMATCH for a buffer of fewer bands,
// KV_SCENE_BUFFER_MISMATCH for a window smaller than width x height, KV_BAD_ARGUMENT for planes
// smaller than that.
KVStatus qg2ConvertToSceneBuffer(KVISceneBuffer& buffer, std::uint32_t bands, std::uint32_t width,
                                 std::uint32_t height, const Array2D<float>& planes);

} // namespace Korvel
