// The header packet's body and the image geometry derived from it.

#include "qg3/container/QG3ImageInfo.h"
#include "RasterFileWriter.h"
#include "TestStreams.h"
#include "qg3/container/QG3HeaderPacket.h"
#include "qg3/container/QG3PacketType.h"
#include "qg3/container/QG3Status.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <utility>

using namespace Korvel;
using quarn_test::Bytes;
using quarn_test::HeaderBody;
using quarn_test::VectorStream;

namespace {

struct ReadResult {
    KVStatus status;
    std::unique_ptr<QG3HeaderPacket> packet;
    const QG3ImageInfo& info() const { return *packet->getImageInfo(); }
};

ReadResult readBody(const Bytes& body, std::uint8_t flag2 = 1, std::uint32_t imageNumber = 0,
                    std::int64_t length = -2) {
    VectorStream stream(body);
    const QG3PacketType type(QG3_PACKET_HEADER, 0, 0, imageNumber, 0, flag2);
    auto packet = std::make_unique<QG3HeaderPacket>(type);
    const KVStatus status =
        packet->readBody(&stream, length == -2 ? std::int64_t(body.size()) : length);
    return {status, std::move(packet)};
}

KVStatus readStatus(const HeaderBody& body) {
    return readBody(quarn_test::headerBody(body)).status;
}

void expectRect(const KVIRect& r, std::int32_t x0, std::int32_t y0, std::int32_t x1,
                std::int32_t y1) {
    EXPECT_EQ(r, (KVIRect{x0, y0, x1, y1}));
}

} // namespace

TEST(QG3HeaderPacket, EveryFieldLandsInItsPlace) {
    HeaderBody b;
    b.flags = 0x2 | 0x4 | 0x8 | 0x10 | 0x80 | 0x10000;
    b.width = 1000;
    b.height = 700;
    b.numLevels = 3;
    b.bands = 4;
    b.estimateFactor = 9;
    b.subblockSize = 32;
    b.dataType = 10;
    b.sampleMin = -5;
    b.sampleMax = 1023;
    b.colorSpace = 12;
    b.auxCodeA = 21;
    b.colorTransform = 1;
    b.auxCodeD = 0x01020304;
    b.auxCodeB = 6;
    b.auxCodeC = 7;
    const ReadResult r = readBody(quarn_test::headerBody(b), 1, 42);
    ASSERT_EQ(r.status, KV_OK);
    const QG3ImageInfo& i = r.info();
    EXPECT_EQ(r.packet->getFlags(), b.flags);
    EXPECT_EQ(i.imageNumber, 42);
    EXPECT_EQ(i.width, 1000u);
    EXPECT_EQ(i.height, 700u);
    EXPECT_EQ(i.numLevels, 3);
    EXPECT_EQ(i.bandSet.getBitCount(), 4);
    EXPECT_EQ(i.bandSet.getSetCount(), 4);
    EXPECT_EQ(i.estimateFactor, 9);
    EXPECT_EQ(i.subblockSize, 32);
    EXPECT_EQ(i.dataType, 10u);
    EXPECT_EQ(i.sampleMin, -5);
    EXPECT_EQ(i.sampleMax, 1023);
    EXPECT_EQ(i.colorSpace, 12u);
    EXPECT_EQ(i.auxCodeA, 21u);
    EXPECT_EQ(i.colorTransform, 1u);
    EXPECT_EQ(i.auxCodeD, 0x01020304u);
    EXPECT_EQ(i.auxCodeB, 6u);
    EXPECT_EQ(i.auxCodeC, 7u);
    EXPECT_EQ(i.auxCountA, 0u);
    EXPECT_EQ(i.auxCountB, 0u);
    EXPECT_TRUE(i.hasItemWord);
    EXPECT_TRUE(i.hasItemValue);
    EXPECT_EQ(i.itemValueWidth, 2);
    EXPECT_FALSE(i.isCropped);
    expectRect({i.cropX0, i.cropY0, i.cropX1, i.cropY1}, 0, 0, 999, 699);
    EXPECT_FALSE(i.bandScale);
    // Levels 125 x 88 (low band), 250 x 175, 500 x 350 in subblocks of 32, worked by hand.
    EXPECT_EQ(i.numSubbands, 13u);
    EXPECT_EQ(i.totalSubblocks, 5u * 12 + 4 * 48 + 4 * 176);
    EXPECT_EQ(i.subbands[0].width, 125u);
    EXPECT_EQ(i.subbands[4].height, 87u);
    EXPECT_EQ(i.subbands[12].rows, 11);
    EXPECT_EQ(i.subbands[12].columns, 16);
}

TEST(QG3HeaderPacket, DataTypeByteByPacketForm) {
    HeaderBody b;
    b.dataType = 24;
    EXPECT_EQ(readBody(quarn_test::headerBody(b), 0).info().dataType, 13u); // old form: float 32
    EXPECT_EQ(readBody(quarn_test::headerBody(b), 1).info().dataType, 24u); // code 24: no type
    b.dataType = 7;
    EXPECT_EQ(readBody(quarn_test::headerBody(b), 0).info().dataType, 6u);
    b.dataType = 9;
    EXPECT_EQ(readBody(quarn_test::headerBody(b), 0).info().dataType, 0u);

    for (auto [flags, width] :
         {std::pair{0x08u, 0}, {0x28u, 1}, {0x18u, 2}, {0x38u, 4}, {0x30u, 0}}) {
        b.flags = flags;
        const ReadResult r = readBody(quarn_test::headerBody(b));
        EXPECT_EQ(r.info().itemValueWidth, width) << flags;
        EXPECT_EQ(r.info().hasItemValue, (flags & 0x8) != 0);
    }
}

TEST(QG3HeaderPacket, CropWindowAndBandScales) {
    HeaderBody b;
    b.flags = 0x2 | 0x8000 | 0x40000;
    b.width = 100;
    b.height = 80;
    b.numLevels = 3;
    b.bands = 3;
    b.crop = {10, 6, 29, 25};
    b.cropLevel = 1;
    b.bandScales = {{0.5f, 10.0f}, {2.0f, -1.0f}, {1.0f, 0.25f}};
    const ReadResult r = readBody(quarn_test::headerBody(b));
    ASSERT_EQ(r.status, KV_OK);
    const QG3ImageInfo& i = r.info();
    EXPECT_TRUE(i.isCropped);
    EXPECT_EQ(i.getVisibleWidth(), 20u);
    EXPECT_EQ(i.getVisibleHeight(), 20u);
    EXPECT_EQ(i.getVisibleNumLevels(), 2);
    ASSERT_TRUE(i.bandScale && i.bandOffset);
    EXPECT_EQ(i.bandScale[0], 0.5f);
    EXPECT_EQ(i.bandOffset[0], 10.0f);
    EXPECT_EQ(i.bandScale[1], 2.0f);
    EXPECT_EQ(i.bandOffset[1], -1.0f);
    EXPECT_EQ(i.bandOffset[2], 0.25f);

    // Window levels: relative to the window's level 1 of the stored image.
    expectRect(i.getImageRect(0, true, true), 10, 6, 29, 25);
    expectRect(i.getImageRect(1, true, true), 5, 3, 14, 12);
    expectRect(i.getImageRect(1, true, false), 10, 6, 29, 25);
    expectRect(i.getImageRect(1, false, true), 0, 0, 24, 19);
    expectRect(i.getLevelRect(-1, {0, 0, 19, 19}, true), 20, 12, 59, 51);

    // A window equal to the whole image at level 0 is not a crop.
    b.crop = {0, 0, 99, 79};
    b.cropLevel = 0;
    EXPECT_FALSE(readBody(quarn_test::headerBody(b)).info().isCropped);
}

TEST(QG3HeaderPacket, WritesBackWhatItRead) {
    HeaderBody b;
    b.flags = 0x2 | 0x8 | 0x20 | 0x80 | 0x8000 | 0x40000;
    b.width = 300;
    b.height = 200;
    b.numLevels = 2;
    b.bands = 2;
    b.dataType = 16;
    b.sampleMin = -70000;
    b.crop = {1, 2, 50, 60};
    b.bandScales = {{1.5f, 2.5f}, {-3.0f, 4.0f}};
    for (std::uint8_t flag2 : {0, 1}) {
        const Bytes body = quarn_test::headerBody(b);
        ReadResult r = readBody(body, flag2);
        ASSERT_EQ(r.status, KV_OK);
        EXPECT_EQ(r.info().dataType, flag2 ? 16u : 7u);
        VectorStream out;
        ASSERT_EQ(r.packet->writeBody(&out, 0), KV_OK);
        EXPECT_EQ(out.data, body);
        std::unique_ptr<DBObject> copy(r.packet->clone());
        ASSERT_TRUE(copy);
        EXPECT_TRUE(r.packet->isEqual(static_cast<const QG3Packet&>(*copy)));
    }
    ReadResult r = readBody(quarn_test::headerBody(b));
    VectorStream full;
    full.writeBudget = 10;
    EXPECT_EQ(r.packet->writeBody(&full, 0), KV_QG3_WRITE_FAILED);
}

TEST(QG3ImageInfo, CopiesAndComparesDeeply) {
    HeaderBody b;
    b.flags = 0x2 | 0x40000;
    b.bands = 2;
    b.bandScales = {{1.0f, 2.0f}, {3.0f, 4.0f}};
    const ReadResult r = readBody(quarn_test::headerBody(b));
    const QG3ImageInfo copy(r.info());
    EXPECT_TRUE(copy.isEqual(r.info()));
    EXPECT_NE(copy.bandScale.get(), r.info().bandScale.get());
    QG3ImageInfo other(r.info());
    other.bandOffset[1] = 5.0f;
    EXPECT_FALSE(other.isEqual(r.info()));
    other.bandOffset.reset();
    EXPECT_FALSE(other.isEqual(r.info()));
    // A NaN scale is never equal to another array's, only the same array is.
    b.bandScales[0].first = std::numeric_limits<float>::quiet_NaN();
    const ReadResult nan = readBody(quarn_test::headerBody(b));
    EXPECT_TRUE(nan.info().isEqual(nan.info()));
    EXPECT_FALSE(QG3ImageInfo(nan.info()).isEqual(nan.info()));
}

TEST(QG3ImageInfo, SubbandsOfSmallAndOddImages) {
    HeaderBody b;
    b.width = 5;
    b.height = 3;
    b.numLevels = 1;
    b.subblockSize = 2;
    const ReadResult odd = readBody(quarn_test::headerBody(b));
    ASSERT_EQ(odd.status, KV_OK);
    const QG3ImageInfo& i = odd.info();
    const std::uint32_t sizes[5][2] = {{3, 2}, {3, 2}, {2, 2}, {3, 1}, {2, 1}};
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(i.subbands[k].width, sizes[k][0]) << k;
        EXPECT_EQ(i.subbands[k].height, sizes[k][1]) << k;
    }
    EXPECT_EQ(i.totalSubblocks, 2u + 2 + 1 + 2 + 1);
    std::uint16_t w = 0;
    std::uint16_t h = 0;
    i.getSubblockSize(0, 1, w, h);
    EXPECT_EQ(w, 1);
    EXPECT_EQ(h, 2);
    expectRect(i.getSubblockRect(0, 1), 2, 0, 2, 1);
    std::uint32_t row = 9;
    std::uint32_t column = 9;
    i.getSubblockPosition(3, 1, row, column);
    EXPECT_EQ(row, 0u);
    EXPECT_EQ(column, 1u);
    EXPECT_EQ(i.getSubblockIndex(2, 0, 0), 0u);
    // Levels of the whole image, reduced and magnified.
    expectRect(i.getImageRect(1, false, false), 0, 0, 2, 1);
    expectRect(i.getImageRect(-1, false, false), 0, 0, 9, 5);
    expectRect(i.getLevelRect(-1, {1, 1, 10, 10}, false), 2, 2, 9, 5);
    expectRect(i.getLevelRect(2, {-5, 3, 4, 6}, false), -2, 0, 0, 0);

    b.numLevels = 0;
    const ReadResult flat = readBody(quarn_test::headerBody(b));
    EXPECT_EQ(flat.info().numSubbands, 1u);
    EXPECT_EQ(flat.info().subbands[0].width, 5u);
    EXPECT_EQ(flat.info().subbands[0].height, 3u);

    // One pixel over two levels leaves subbands without samples.
    b.width = 1;
    b.height = 1;
    b.numLevels = 2;
    const ReadResult tiny = readBody(quarn_test::headerBody(b));
    ASSERT_EQ(tiny.status, KV_OK);
    EXPECT_EQ(tiny.info().subbands[8].width, 0u);
    EXPECT_EQ(tiny.info().subbands[5].width, 1u);
    EXPECT_EQ(tiny.info().totalSubblocks, 3u);
}

TEST(QG3HeaderPacket, RefusesGeometryTheTablesCannotHold) {
    const auto with = [](auto change) {
        HeaderBody b;
        change(b);
        return readStatus(b);
    };
    EXPECT_EQ(with([](HeaderBody& b) { b.subblockSize = 0; }), KV_QG3_BAD_FORMAT);
    EXPECT_EQ(with([](HeaderBody& b) { b.numLevels = 64; }), KV_QG3_BAD_FORMAT);
    EXPECT_EQ(with([](HeaderBody& b) { b.numLevels = 63; }), KV_OK);
    EXPECT_EQ(with([](HeaderBody& b) { b.width = 0; }), KV_QG3_BAD_FORMAT);
    EXPECT_EQ(with([](HeaderBody& b) { b.height = 0; }), KV_QG3_BAD_FORMAT);
    EXPECT_EQ(with([](HeaderBody& b) { b.bands = 0; }), KV_QG3_BAD_FORMAT);
    EXPECT_EQ(with([](HeaderBody& b) {
                  b.width = 0x80000000u;
                  b.subblockSize = 0xFFFF;
              }),
              KV_QG3_BAD_FORMAT);
    EXPECT_EQ(with([](HeaderBody& b) {
                  b.height = 0xFFFFFFFFu;
                  b.subblockSize = 0xFFFF;
              }),
              KV_QG3_BAD_FORMAT);
    EXPECT_EQ(with([](HeaderBody& b) {
                  b.width = 0x7FFFFFFF;
                  b.subblockSize = 0xFFFF;
              }),
              KV_OK);
    // 65535 rows of subblocks fit, 65536 do not.
    EXPECT_EQ(with([](HeaderBody& b) {
                  b.height = 131070;
                  b.subblockSize = 2;
              }),
              KV_OK);
    EXPECT_EQ(with([](HeaderBody& b) {
                  b.height = 131071;
                  b.subblockSize = 2;
              }),
              KV_QG3_BAD_FORMAT);
    EXPECT_EQ(with([](HeaderBody& b) {
                  b.width = 65536;
                  b.subblockSize = 1;
              }),
              KV_QG3_BAD_FORMAT);

    // Crop windows of a 16 x 16 image with two levels: inside at their level, or refused.
    const auto crop = [](std::array<std::int32_t, 4> window, std::uint8_t level) {
        HeaderBody b;
        b.flags |= 0x8000;
        b.numLevels = 2;
        b.crop = window;
        b.cropLevel = level;
        return readStatus(b);
    };
    EXPECT_EQ(crop({0, 0, 15, 15}, 0), KV_OK);
    EXPECT_EQ(crop({0, 0, 16, 15}, 0), KV_QG3_BAD_FORMAT);
    EXPECT_EQ(crop({4, 4, 7, 7}, 1), KV_OK);
    EXPECT_EQ(crop({4, 4, 8, 7}, 1), KV_QG3_BAD_FORMAT);
    EXPECT_EQ(crop({0, 0, 3, 3}, 2), KV_OK);
    EXPECT_EQ(crop({0, 0, 0, 0}, 3), KV_QG3_BAD_FORMAT);
    EXPECT_EQ(crop({-1, 0, 3, 3}, 0), KV_QG3_BAD_FORMAT);
    EXPECT_EQ(crop({5, 0, 4, 3}, 0), KV_QG3_BAD_FORMAT);
    EXPECT_EQ(crop({0, 1, -1, 0}, 0), KV_QG3_BAD_FORMAT);
}

TEST(QG3HeaderPacket, RefusesFlagsAndShortBodies) {
    for (std::uint64_t bit : {0x1ull, 0x40ull, 0x100ull, 0x4000ull, 0x80000ull, 1ull << 63}) {
        HeaderBody b;
        b.flags |= bit;
        EXPECT_EQ(readStatus(b), KV_QG3_BAD_FORMAT) << bit;
    }
    HeaderBody refused;
    refused.flags |= 0x20000;
    EXPECT_EQ(readStatus(refused), KV_QG3_BAD_FORMAT);

    HeaderBody b;
    b.flags |= 0x8000 | 0x40000;
    b.bands = 2;
    b.bandScales = {{1, 2}, {3, 4}};
    const Bytes body = quarn_test::headerBody(b);
    ASSERT_EQ(body.size(), 40u + 17 + 16);
    for (std::size_t cut = 0; cut < body.size(); ++cut) {
        // Cut by the packet's length (the stream goes on) and by the stream's end.
        EXPECT_EQ(readBody(body, 1, 0, std::int64_t(cut)).status, KV_QG3_READ_FAILED) << cut;
        const Bytes shorter(body.begin(), body.begin() + std::ptrdiff_t(cut));
        EXPECT_EQ(readBody(shorter, 1, 0, -1).status, KV_QG3_READ_FAILED) << cut;
    }
    EXPECT_EQ(readBody(body, 1, 0, -1).status, KV_OK);

    // A field refused is refused wherever the body ends after it: flags after 8 bytes, a band
    // count of zero after 19.
    HeaderBody badFlags;
    badFlags.flags |= 0x1;
    HeaderBody noBands;
    noBands.bands = 0;
    for (const auto& [refused, from] : {std::pair{badFlags, 8u}, std::pair{noBands, 19u}}) {
        const Bytes whole = quarn_test::headerBody(refused);
        for (std::size_t cut = from; cut <= whole.size(); ++cut)
            EXPECT_EQ(readBody(whole, 1, 0, std::int64_t(cut)).status, KV_QG3_BAD_FORMAT) << cut;
    }
}
