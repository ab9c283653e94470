// Subblock decoding through the test-side bit-plane coder: exact coefficients for lossless
// subblocks, the midpoint reconstruction worked out here for lossy ones, the plane runs, the crop
// window, and hostile records.

#include "wavelet/SubblockDecode.h"
#include "RasterSubblockEncoder.h"
#include "qg3/container/QG3ImageInfo.h"
#include "qg3/container/QG3Status.h"
#include "qg3/planes/QG3PlaneRecord.h"
#include "support/KVUtilException.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace Korvel {
namespace {

using quarn_test::RasterPlanes;
using quarn_test::RasterRect;
using quarn_test::RasterSubblockOptions;
using Block = std::vector<std::int32_t>;

std::vector<QG3PlaneRecord> recordsOf(const std::vector<RasterPlanes>& bands) {
    std::vector<QG3PlaneRecord> records(32 * bands.size());
    for (std::size_t b = 0; b < bands.size(); ++b)
        for (std::size_t p = 0; p < 32; ++p) {
            const quarn_test::RasterPlane& plane = bands[b][p];
            QG3PlaneRecord& r = records[b * 32 + p];
            if (!plane.filled) continue;
            r.flags = static_cast<std::uint8_t>(QG3PlaneRecord::kFilled |
                                                (plane.raw ? QG3PlaneRecord::kRaw : 0));
            if (plane.bytes.empty()) continue;
            r.owned = std::make_unique<std::uint8_t[]>(plane.bytes.size());
            std::memcpy(r.owned.get(), plane.bytes.data(), plane.bytes.size());
            r.data = r.owned.get();
            r.length = static_cast<std::uint32_t>(plane.bytes.size());
            r.flags |= QG3PlaneRecord::kOwned;
        }
    return records;
}

// Decodes into outputs of the subblock's size with a wider row stride, first filled with a
// pattern that the decode must overwrite.
std::vector<Block> decode(const SubblockGeometry& g, const std::vector<QG3PlaneRecord>& records,
                          std::uint32_t planesPerBand = 32) {
    const std::size_t stride = std::size_t(g.width) + 3;
    std::vector<Block> out(g.bandCount, Block(stride * g.height, 0x5A5A5A5A));
    std::vector<std::int32_t*> outputs;
    for (Block& b : out)
        outputs.push_back(b.data());
    SubblockDecode decoder(g);
    decoder.decode(records.data(), planesPerBand, outputs.data(), stride);
    // Back to width-wide rows.
    for (Block& b : out) {
        Block packed;
        for (std::size_t y = 0; y < g.height; ++y)
            packed.insert(packed.end(), b.begin() + y * stride, b.begin() + y * stride + g.width);
        b = std::move(packed);
    }
    return out;
}

SubblockGeometry wholeGeometry(unsigned width, unsigned height, unsigned subband,
                               unsigned bands = 1) {
    SubblockGeometry g;
    g.bandCount = static_cast<std::uint16_t>(bands);
    g.subband = static_cast<std::uint8_t>(subband);
    g.width = static_cast<std::uint16_t>(width);
    g.height = static_cast<std::uint16_t>(height);
    g.decoded.x0 = 0;
    g.decoded.x1 = static_cast<std::int32_t>(width) - 1;
    g.decoded.y0 = 0;
    g.decoded.y1 = static_cast<std::int32_t>(height) - 1;
    return g;
}

RasterRect rectOf(const SubblockGeometry& g) {
    return {g.decoded.x0, g.decoded.y0, g.decoded.x1, g.decoded.y1};
}

RasterPlanes encode(const Block& block, const SubblockGeometry& g,
                    const RasterSubblockOptions& options) {
    return quarn_test::encodeRasterSubblock(block.data(), g.width, g.width, g.height, rectOf(g),
                                            options)
        .planes;
}

// What a decoder gives for one coefficient of a band whose planes run down to lastPlane:
// the magnitude's bits down to that plane and, below it, half a step away from zero (less
// one at even indices y x width + x). Outside the coded rectangle, zero.
std::int32_t expected(std::int32_t v, unsigned lastPlane, unsigned x, unsigned y, unsigned width) {
    const std::int64_t full = v < 0 ? -std::int64_t(v) : std::int64_t(v);
    const std::int64_t weight = std::int64_t(1) << (31 - lastPlane);
    std::int64_t m = (full & 0x7FFFFFFF) / weight * weight;
    if (m == 0) return 0;
    if (lastPlane < 31) m += weight / 2 - ((std::uint64_t(y) * width + x) % 2 == 0 ? 1 : 0);
    return static_cast<std::int32_t>(v < 0 ? -m : m);
}

Block expectedBlock(const Block& block, const SubblockGeometry& g, unsigned lastPlane) {
    Block out(block.size(), 0);
    for (int y = g.decoded.y0; y <= g.decoded.y1; ++y)
        for (int x = g.decoded.x0; x <= g.decoded.x1; ++x)
            out[std::size_t(y) * g.width + x] =
                expected(block[std::size_t(y) * g.width + x], lastPlane, x, y, g.width);
    return out;
}

// Coefficients of one of several shapes: sparse, dense, clustered large values.
Block randomBlock(std::mt19937& rng, unsigned width, unsigned height, unsigned topBit) {
    Block b(std::size_t(width) * height, 0);
    const unsigned density = rng() % 5;
    for (std::size_t i = 0; i < b.size(); ++i) {
        if (rng() % 4 >= density) continue;
        const unsigned bits = 1 + rng() % topBit;
        std::int64_t m = (std::int64_t(rng()) << 1 | (rng() & 1)) & ((std::int64_t(1) << bits) - 1);
        if (m > 0x7FFFFFFF) m = 0x7FFFFFFF;
        b[i] = static_cast<std::int32_t>(rng() % 2 != 0 ? -m : m);
    }
    return b;
}

TEST(SubblockDecode, RoundTripsRandomBlocks) {
    std::mt19937 rng(2024);
    const unsigned edges[] = {1, 2, 3, 5, 7, 16, 33, 63, 64};
    for (int round = 0; round < 400; ++round) {
        const unsigned width = round % 3 == 0 ? edges[rng() % 9] : 1 + rng() % 64;
        const unsigned height = round % 3 == 1 ? edges[rng() % 9] : 1 + rng() % 64;
        const unsigned subband = rng() % 13;
        const unsigned bands = 1 + rng() % 4;
        SubblockGeometry g = wholeGeometry(width, height, subband, bands);
        if (round % 4 == 3) {
            // A rectangle inside the subblock, as a crop window gives.
            g.decoded.x0 = static_cast<std::int32_t>(rng() % width);
            g.decoded.x1 = g.decoded.x0 + static_cast<std::int32_t>(rng() % (width - g.decoded.x0));
            g.decoded.y0 = static_cast<std::int32_t>(rng() % height);
            g.decoded.y1 =
                g.decoded.y0 + static_cast<std::int32_t>(rng() % (height - g.decoded.y0));
        }
        std::vector<Block> blocks;
        std::vector<RasterPlanes> coded;
        std::vector<unsigned> lastPlanes;
        for (unsigned b = 0; b < bands; ++b) {
            blocks.push_back(randomBlock(rng, width, height, 1 + rng() % 31));
            RasterSubblockOptions options;
            options.subband = subband;
            // Raw planes: none, all, the lower ones, or a random mix.
            switch (rng() % 4) {
            case 0:
                break;
            case 1:
                options.rawPlanes = 0xFFFFFFFF;
                break;
            case 2:
                options.rawPlanes = 0xFFFFFFFFu >> (rng() % 32);
                break;
            default:
                options.rawPlanes = static_cast<std::uint32_t>(rng());
            }
            options.trimRaw = rng() % 2 != 0;
            options.lastPlane = rng() % 3 == 0 ? 1 + rng() % 31 : 31;
            coded.push_back(encode(blocks.back(), g, options));
            lastPlanes.push_back(options.lastPlane);
        }
        const std::vector<Block> out = decode(g, recordsOf(coded));
        for (unsigned b = 0; b < bands; ++b)
            ASSERT_EQ(out[b], expectedBlock(blocks[b], g, lastPlanes[b]))
                << "round " << round << " band " << b << " " << width << "x" << height
                << " subband " << subband;
    }
}

TEST(SubblockDecode, KeepsTheFullMagnitudeRange) {
    // Magnitudes up to 2^31 - 1, lossless and lossy; the reconstruction stays within 32 bits.
    std::mt19937 rng(5);
    const SubblockGeometry g = wholeGeometry(9, 7, 4);
    Block block(63);
    for (std::size_t i = 0; i < block.size(); ++i) {
        const std::int32_t big = 0x7FFFFFFF - static_cast<std::int32_t>(rng() % 3);
        block[i] = i % 3 == 0 ? big : i % 3 == 1 ? -big : static_cast<std::int32_t>(rng() % 7) - 3;
    }
    for (unsigned last : {31u, 30u, 16u, 2u, 1u}) {
        RasterSubblockOptions options;
        options.subband = 4;
        options.lastPlane = last;
        options.rawPlanes = last % 2 != 0 ? 0xF0F0F0F0u : 0;
        EXPECT_EQ(decode(g, recordsOf({encode(block, g, options)}))[0],
                  expectedBlock(block, g, last))
            << last;
    }
}

// A band whose coefficients hold bits in planes first to last only.
RasterPlanes bandWithPlanes(const Block& block, const SubblockGeometry& g, unsigned first,
                            unsigned last) {
    RasterSubblockOptions options;
    options.subband = g.subband;
    options.firstPlane = first;
    options.lastPlane = last;
    return encode(block, g, options);
}

TEST(SubblockDecode, PlaneRunsOfThePart) {
    const SubblockGeometry g = wholeGeometry(6, 5, 2);
    std::mt19937 rng(3);
    Block small(30);
    for (std::int32_t& v : small)
        v = static_cast<std::int32_t>(rng() % 3) - 1;

    // Only record 31 filled: no offset.
    RasterPlanes onlyLast = bandWithPlanes(small, g, 31, 31);
    for (unsigned p = 0; p < 31; ++p)
        ASSERT_FALSE(onlyLast[p].filled);
    EXPECT_EQ(decode(g, recordsOf({onlyLast}))[0], small);

    // Last filled record 30: offsets 1 at odd indices, 0 at even ones.
    Block twos = small;
    for (std::int32_t& v : twos)
        v *= 2;
    const Block decoded30 = decode(g, recordsOf({bandWithPlanes(twos, g, 30, 30)}))[0];
    for (std::size_t i = 0; i < twos.size(); ++i) {
        const std::int32_t offset = twos[i] == 0 ? 0 : i % 2 != 0 ? 1 : 0;
        EXPECT_EQ(decoded30[i], twos[i] + (twos[i] < 0 ? -offset : offset)) << i;
    }

    // No filled record: zeros, whatever the output held.
    EXPECT_EQ(decode(g, recordsOf({RasterPlanes{}}))[0], Block(30, 0));

    // Records 3 to 5 and 7 filled: planes 3 to 5 only.
    Block wide(30);
    for (std::int32_t& v : wide)
        v = static_cast<std::int32_t>(rng() & 0x1FFFFFFF) * (rng() % 2 != 0 ? 1 : -1);
    RasterPlanes gap = bandWithPlanes(wide, g, 3, 5);
    gap[7].filled = true;
    gap[7].bytes = {0x12, 0x34, 0x56};
    EXPECT_EQ(decode(g, recordsOf({gap}))[0], expectedBlock(wide, g, 5));
}

TEST(SubblockDecode, TheSignPositionRecordHoldsNoPlane) {
    const SubblockGeometry g = wholeGeometry(8, 8, 6, 2);
    std::mt19937 rng(11);
    Block block = randomBlock(rng, 8, 8, 31);
    block[0] = 0x7FFFFFFF;
    // All 32 records filled, record 0 with bytes of its own: decoded from plane 1, exactly.
    RasterPlanes all = bandWithPlanes(block, g, 1, 31);
    all[0].filled = true;
    all[0].bytes = {0xFF, 0x00, 0xA5};
    RasterPlanes all2 = all;
    all2[0].raw = true;
    EXPECT_EQ(decode(g, recordsOf({all, all2}))[1], block);
    EXPECT_EQ(decode(g, recordsOf({all, all2}))[0], block);

    // Record 0 filled before a gap is a run of its own that holds no plane: zeros in every
    // band, the first and the later ones alike.
    Block low = block;
    for (std::int32_t& v : low)
        v /= 1024;
    RasterPlanes gapped = bandWithPlanes(low, g, 0, 31);
    ASSERT_FALSE(gapped[1].filled);
    gapped[0].filled = true;
    const std::vector<Block> out = decode(g, recordsOf({gapped, gapped}));
    EXPECT_EQ(out[0], Block(64, 0));
    EXPECT_EQ(out[1], Block(64, 0));
}

TEST(SubblockDecode, MissingRecordsEndTheRun) {
    // Twenty records per band, band-major: planes 20 and below are missing, so the bands
    // decode down to plane 19 and reconstruct below it.
    const SubblockGeometry g = wholeGeometry(4, 4, 0, 2);
    Block block(16);
    for (std::size_t i = 0; i < 16; ++i)
        block[i] = (static_cast<std::int32_t>(i * 37 % 11) - 5) * 40000;
    const RasterPlanes planes = bandWithPlanes(block, g, 1, 31);
    std::vector<QG3PlaneRecord> all = recordsOf({planes, planes});
    std::vector<QG3PlaneRecord> cut(40);
    for (std::size_t b = 0; b < 2; ++b)
        for (std::size_t p = 0; p < 20; ++p)
            cut[b * 20 + p] = std::move(all[b * 32 + p]);
    const std::vector<Block> out = decode(g, cut, 20);
    EXPECT_EQ(out[0], expectedBlock(block, g, 19));
    EXPECT_EQ(out[1], expectedBlock(block, g, 19));
}

// ---- the crop window

QG3ImageInfo imageInfo(std::uint32_t width, std::uint32_t height, std::uint8_t levels,
                       std::uint16_t subblockSize, std::uint16_t bands = 1) {
    QG3ImageInfo info;
    info.width = width;
    info.height = height;
    info.numLevels = levels;
    info.subblockSize = subblockSize;
    EXPECT_EQ(info.bandSet.resizeAll(bands), KV_OK);
    EXPECT_EQ(info.computeSubbands(), KV_OK);
    return info;
}

struct Rect {
    std::int32_t x0, x1, y0, y1;
    bool operator==(const Rect&) const = default;
};
Rect rectOf(std::uint8_t subband, std::uint32_t subblock, const QG3ImageInfo& info) {
    SubblockGeometry g;
    EXPECT_EQ(makeSubblockGeometry(info, subband, subblock, g), KV_OK);
    return {g.decoded.x0, g.decoded.x1, g.decoded.y0, g.decoded.y1};
}

TEST(SubblockGeometry, MapsTheCropWindowToEachSubband) {
    // 100 x 80, two levels, S = 16, window (10, 5)-(60, 40) at level 0. Worked by hand: subband
    // 8 (HH of the finer level, one level down) needs x 4..30 and y 1..20; subbands 0 and 1
    // (two levels down, low-pass) x 2..15, y 1..10; subband 2 (high-pass in x) x 1..15.
    QG3ImageInfo info = imageInfo(100, 80, 2, 16);
    info.cropX0 = 10;
    info.cropY0 = 5;
    info.cropX1 = 60;
    info.cropY1 = 40;
    info.isCropped = true;
    EXPECT_EQ(rectOf(8, 0, info), (Rect{4, 15, 1, 15}));
    EXPECT_EQ(rectOf(8, 1, info), (Rect{0, 14, 1, 15}));
    EXPECT_EQ(rectOf(8, 2, info), (Rect{1, 0, 1, 15})); // empty in x
    EXPECT_EQ(rectOf(8, 4, info), (Rect{4, 15, 0, 4}));
    EXPECT_EQ(rectOf(8, 8, info), (Rect{4, 15, 1, 0})); // empty in y
    EXPECT_EQ(rectOf(0, 0, info), (Rect{2, 15, 1, 10}));
    EXPECT_EQ(rectOf(1, 0, info), (Rect{2, 15, 1, 10}));
    EXPECT_EQ(rectOf(2, 0, info), (Rect{1, 15, 1, 10}));

    // A window at level 1: the finer level's subbands lie at the window's level and take the
    // window as it stands; the coarser ones one level down.
    info.cropLevel = 1;
    info.cropX0 = 3;
    info.cropX1 = 20;
    info.cropY0 = 0;
    info.cropY1 = 39;
    EXPECT_EQ(rectOf(6, 0, info), (Rect{3, 15, 0, 15}));
    EXPECT_EQ(rectOf(6, 1, info), (Rect{0, 4, 0, 15}));
    EXPECT_EQ(rectOf(2, 0, info), (Rect{0, 10, 0, 15}));

    // The whole window covers every subblock wholly.
    QG3ImageInfo whole = imageInfo(37, 29, 3, 8);
    for (std::uint8_t s = 0; s < whole.numSubbands; ++s)
        for (std::uint32_t k = 0;
             k < std::uint32_t(whole.subbands[s].rows) * whole.subbands[s].columns; ++k) {
            std::uint16_t w = 0, h = 0;
            whole.getSubblockSize(s, k, w, h);
            EXPECT_EQ(rectOf(s, k, whole), (Rect{0, w - 1, 0, h - 1})) << int(s) << " " << k;
        }
}

TEST(SubblockGeometry, RefusesWhatTheTableDoesNotHold) {
    QG3ImageInfo info = imageInfo(16, 16, 1, 8, 3);
    SubblockGeometry g;
    EXPECT_EQ(makeSubblockGeometry(info, 5, 0, g), KV_QG3_NOT_FOUND);
    EXPECT_EQ(makeSubblockGeometry(info, 4, 1, g), KV_QG3_NOT_FOUND);
    ASSERT_EQ(makeSubblockGeometry(info, 4, 0, g), KV_OK);
    EXPECT_EQ(g.bandCount, 3);
    // Scaling the size to the window's level overflows 32 bits.
    info.cropLevel = 31;
    EXPECT_EQ(makeSubblockGeometry(info, 0, 0, g), KV_QG3_GEOMETRY_OVERFLOW);
    QG3ImageInfo huge = imageInfo(0x7FFFFFFF, 1, 0, 0xFFFF);
    huge.cropLevel = 1;
    EXPECT_EQ(makeSubblockGeometry(huge, 0, 0, g), KV_QG3_GEOMETRY_OVERFLOW);
}

TEST(SubblockDecode, ACropWindowDecodesOnlyItsPart) {
    // Each subblock of a cropped image, coded over the part its geometry names, decodes that
    // part exactly and leaves the rest zero; a band subset decodes the selected bands.
    QG3ImageInfo info = imageInfo(90, 70, 2, 16, 4);
    info.cropX0 = 7;
    info.cropY0 = 12;
    info.cropX1 = 52;
    info.cropY1 = 49;
    info.isCropped = true;
    info.bandSet.clearAll();
    info.bandSet.set(1);
    info.bandSet.set(3);
    std::mt19937 rng(8);
    int partial = 0;
    for (std::uint8_t s = 0; s < info.numSubbands; ++s)
        for (std::uint32_t k = 0;
             k < std::uint32_t(info.subbands[s].rows) * info.subbands[s].columns; ++k) {
            SubblockGeometry g;
            ASSERT_EQ(makeSubblockGeometry(info, s, k, g), KV_OK);
            ASSERT_EQ(g.bandCount, 2);
            const bool whole = g.decoded.x0 == 0 && g.decoded.y0 == 0 &&
                               g.decoded.x1 == g.width - 1 && g.decoded.y1 == g.height - 1;
            partial += whole ? 0 : 1;
            std::vector<Block> blocks;
            std::vector<RasterPlanes> coded;
            for (int b = 0; b < 2; ++b) {
                blocks.push_back(randomBlock(rng, g.width, g.height, 12));
                RasterSubblockOptions options;
                options.subband = s;
                coded.push_back(encode(blocks.back(), g, options));
            }
            const std::vector<Block> out = decode(g, recordsOf(coded));
            for (int b = 0; b < 2; ++b)
                ASSERT_EQ(out[b], expectedBlock(blocks[b], g, 31)) << int(s) << " " << k;
        }
    EXPECT_GT(partial, 10);
}

// ---- hostile records

TEST(SubblockDecode, HostileRecordsStayInsideTheirBytes) {
    // Random bytes, lengths, flags and raw planes of every length, in subblocks of edge sizes:
    // the decode reads only the records' bytes (the sanitizers watch) and fills only the output.
    std::mt19937 rng(99);
    std::vector<std::vector<std::uint8_t>> storage;
    for (int round = 0; round < 300; ++round) {
        const unsigned width = 1 + rng() % (round % 5 == 0 ? 300 : 40);
        const unsigned height = 1 + rng() % (round % 7 == 0 ? 200 : 40);
        const unsigned bands = 1 + rng() % 3;
        SubblockGeometry g = wholeGeometry(width, height, rng() % 9, bands);
        std::vector<QG3PlaneRecord> records(32 * bands);
        for (QG3PlaneRecord& r : records) {
            r.flags = static_cast<std::uint8_t>(rng());
            const std::size_t n = rng() % 4 == 0 ? 0 : rng() % 64;
            if (n == 0) continue;
            storage.emplace_back(n);
            for (std::uint8_t& b : storage.back())
                b = rng() % 3 == 0 ? 0xFF : static_cast<std::uint8_t>(rng());
            r.data = storage.back().data();
            r.length = static_cast<std::uint32_t>(n);
        }
        const std::vector<Block> out = decode(g, records);
        ASSERT_EQ(out.size(), bands);
    }
}

TEST(SubblockDecode, SizesAtTheLimits) {
    // One coefficient; one row the width of the largest subblock; a subblock beyond the cap.
    const Block one = {-5};
    for (unsigned subband : {0u, 2u, 4u}) {
        const SubblockGeometry g = wholeGeometry(1, 1, subband);
        RasterSubblockOptions options;
        options.subband = subband;
        EXPECT_EQ(decode(g, recordsOf({encode(one, g, options)}))[0], one);
    }
    const SubblockGeometry row = wholeGeometry(65535, 1, 3);
    Block wide(65535);
    for (std::size_t i = 0; i < wide.size(); ++i)
        wide[i] = static_cast<std::int32_t>(i % 13) - 6;
    RasterSubblockOptions options;
    options.subband = 3;
    options.rawPlanes = 1u << 31;
    EXPECT_EQ(decode(row, recordsOf({encode(wide, row, options)}))[0], wide);

    try {
        SubblockDecode tooLarge(wholeGeometry(65535, 65535, 0));
        FAIL() << "a subblock beyond the cap was accepted";
    } catch (const KVUtilException& e) {
        EXPECT_EQ(e.getStatus(), KV_QG3_BAD_FORMAT);
    }

    // Crop windows at the limits of 32 bits map without overflow.
    QG3ImageInfo info = imageInfo(64, 64, 5, 4);
    const std::int32_t extremes[] = {INT32_MIN, -1, 0, 1, 63, INT32_MAX};
    for (std::int32_t a : extremes)
        for (std::int32_t e : extremes) {
            info.cropX0 = info.cropY0 = a;
            info.cropX1 = info.cropY1 = e;
            for (std::uint8_t level : {0, 3, 5, 30}) {
                info.cropLevel = level;
                for (std::uint8_t s = 0; s < info.numSubbands; ++s) {
                    SubblockGeometry g;
                    ASSERT_EQ(makeSubblockGeometry(info, s, 0, g), KV_OK);
                    EXPECT_TRUE((g.decoded.x0 == 1 && g.decoded.x1 == 0) ||
                                (g.decoded.x0 >= 0 && g.decoded.x1 < g.width));
                    EXPECT_TRUE((g.decoded.y0 == 1 && g.decoded.y1 == 0) ||
                                (g.decoded.y0 >= 0 && g.decoded.y1 < g.height));
                }
            }
        }
}

} // namespace
} // namespace Korvel
