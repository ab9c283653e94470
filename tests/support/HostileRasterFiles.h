#pragma once
// Raster files made to cost a reader memory and time: a good file followed by a run of zero
// bytes (each three of them an empty packet), or by a long run of tiny packets; an image that
// declares the most bands and far more levels than its size has, without plane data.

#include "RasterFileWriter.h"

#include <cstddef>

namespace quarn_test {

// The 2^20 tiny packets of the second kind.
inline constexpr std::size_t kManyTinyPackets = std::size_t(1) << 20;

inline Bytes withTrailingZeros(Bytes file, std::size_t zeros) {
    file.resize(file.size() + zeros, 0);
    return file;
}

// count empty metadata packets: type 2, no keys, a one-byte body length of 0.
inline Bytes withTinyPackets(Bytes file, std::size_t count) {
    file.reserve(file.size() + 3 * count);
    for (std::size_t i = 0; i < count; ++i)
        file.insert(file.end(), {0x02, 0x00, 0x00});
    return file;
}

// One 8-bit image of 65,535 bands and no plane data, as two fuzzer inputs had it: 32 x 32 of 57
// levels (generation 4), or (cropped) the 10 x 6 window at (2, 3) of a 32 x 32 image at crop
// level 1, of 41 levels (generation 3). Each subband is a single subblock.
inline Bytes manyBandsFile(bool cropped) {
    HeaderBody body;
    body.flags = cropped ? 0x8002 : 0x2;
    body.width = body.height = 32;
    body.numLevels = cropped ? 41 : 57;
    body.bands = 65535;
    body.estimateFactor = 0;
    body.subblockSize = 2080;
    body.dataType = 5;
    body.colorSpace = 10;
    body.crop = {2, 3, 11, 8};
    body.cropLevel = 1;
    return singleImageFile(cropped ? kGen3Version : kGen4Version, body);
}

} // namespace quarn_test
