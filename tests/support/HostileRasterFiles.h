#pragma once
// Raster files made to cost a reader memory and time: a good file followed by a run of zero
// bytes (each three of them an empty packet), or by a long run of tiny packets; images that
// declare many bands stacked at one place; an image that declares the most bands and far more
// levels than its size has, without plane data.

#include "PlaneItemWriter.h"
#include "PlaneOrder.h"
#include "RasterFileWriter.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

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

// The most bands an image may declare and still take an alpha band in a mosaic.
inline constexpr std::uint16_t kMostMosaicBands = 65534;

// A planeset of image imageNumber whose items (of an image of that header) all lack data: the
// section offset, then runs of empty items covering every item, subblock by subblock (layout 2).
inline RasterPacket emptyPlaneset(std::uint32_t imageNumber, const HeaderBody& body) {
    std::uint64_t items = 0;
    for (const SubbandSize& size :
         subbandSizes({body.width, body.height, body.numLevels, body.subblockSize}))
        items += std::uint64_t(size.rows) * size.columns * body.bands * body.estimateFactor;
    RasterPacket planeset = planesetPacket(imageNumber, 0, {}, 5, 2);
    ByteBuilder data;
    data.u32(packetHeader(planeset.header, 0).size() + 10 + 4);
    constexpr std::uint64_t kLongestRun = (std::uint64_t(1) << 27) - 1;
    for (std::uint64_t left = items; left > 0; left -= std::min(left, kLongestRun))
        data.bytes(planePrefix(false, false, std::min(left, kLongestRun), false));
    planeset.body = planesetBody(5, 2, data.size(), data.data());
    return planeset;
}

// count multiband 8-bit images of side x side pixels and two levels, each declaring `bands`
// bands whose samples are all 0, all placed at one spot: a header, a planeset of empty items and
// a placement packet each (148 bytes an image).
// With alpha, the last band of each is an alpha band.
inline Bytes stackedImagesFile(std::uint32_t count, std::uint16_t bands = kMostMosaicBands,
                               std::uint32_t side = 16, bool alpha = false) {
    HeaderBody body;
    body.width = body.height = side;
    body.numLevels = 2;
    body.bands = bands;
    body.colorSpace = alpha ? 0x45 : 5;
    body.dataType = 5;
    std::vector<RasterPacket> packets;
    for (std::uint32_t i = 1; i <= count; ++i) {
        packets.push_back(headerPacket(i, body));
        packets.push_back(emptyPlaneset(i, body));
        packets.push_back(placementPacket(i, 100.0, 200.0, 1.0, -1.0));
    }
    return rasterFile(kGen3Version, packets);
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
