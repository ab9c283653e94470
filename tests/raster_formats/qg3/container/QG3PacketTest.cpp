// Packet headers in every form, and the bodies of the packet kinds.

#include "RasterFileWriter.h"
#include "TestStreams.h"
#include "qg3/container/QG3ContentsPacket.h"
#include "qg3/container/QG3MetadataPacket.h"
#include "qg3/container/QG3PacketType.h"
#include "qg3/container/QG3PlanesetPacket.h"
#include "qg3/container/QG3QG2Packet.h"
#include "qg3/container/QG3Status.h"
#include "qg3/container/QG3UnknownPacket.h"

#include <gtest/gtest.h>

using namespace Korvel;
using quarn_test::ByteBuilder;
using quarn_test::Bytes;
using quarn_test::PacketHeader;
using quarn_test::VectorStream;

namespace {

QG3PacketType blank() {
    return QG3PacketType(0, QG3_ANY, QG3_ANY, QG3_ANY, 0xFF, 0xFF);
}

Bytes written(const QG3PacketType& type, std::uint64_t length) {
    VectorStream out;
    std::int64_t lengthPos = 0;
    EXPECT_EQ(type.write(&out, lengthPos), KV_OK);
    EXPECT_EQ(lengthPos, std::int64_t(out.data.size()) - 8);
    EXPECT_EQ(type.patchLength(&out, lengthPos, length), KV_OK);
    EXPECT_EQ(out.position, std::int64_t(out.data.size()));
    return out.data;
}

} // namespace

TEST(QG3PacketType, ReadsEveryFormAndWritesTheSmallest) {
    const std::uint32_t keyFor[5] = {0, 0x9A, 0x1234, 0, 0x89ABCDEF};
    const std::uint64_t lengthFor[9] = {
        0, 0xFE, 0xFEDC, 0, 0xFEDCBA98, 0, 0, 0, 0x0123456789ABCDEF};
    int forms = 0;
    for (int widthA : {0, 1, 2, 4})
        for (int widthB : {0, 1, 2, 4})
            for (unsigned lengthWidth : {1u, 2u, 4u, 8u})
                for (int extras = 0; extras < 8; ++extras) {
                    PacketHeader h;
                    h.type = std::uint8_t(forms % 16);
                    h.keyA = keyFor[widthA];
                    h.keyB = keyFor[widthB];
                    h.keyAWidth = widthA;
                    h.keyBWidth = widthB;
                    h.keyC = extras & 1 ? 0x0BADF00D : 0;
                    h.imageNumber = extras & 2 ? 0x00070001 : 0;
                    h.flag1 = extras & 4 ? 0x11 : 0;
                    h.flag2 = extras & 4 ? 0x22 : 0;
                    h.lengthWidth = lengthWidth;
                    const Bytes bytes = quarn_test::packetHeader(h, lengthFor[lengthWidth]);
                    VectorStream stream(bytes);
                    QG3PacketType type = blank();
                    std::uint64_t length = 0;
                    ASSERT_EQ(type.read(&stream, length), KV_OK) << forms;
                    EXPECT_EQ(type.packetType, h.type);
                    EXPECT_EQ(type.keyA, h.keyA);
                    EXPECT_EQ(type.keyB, h.keyB);
                    EXPECT_EQ(type.keyC, h.keyC);
                    EXPECT_EQ(type.imageNumber, h.imageNumber);
                    EXPECT_EQ(type.flag1, h.flag1);
                    EXPECT_EQ(type.flag2, h.flag2);
                    EXPECT_EQ(length, lengthFor[lengthWidth]);
                    EXPECT_TRUE(type.positioned);
                    EXPECT_EQ(type.headerSize, std::int64_t(bytes.size()));
                    EXPECT_EQ(std::size_t(type.headerSize),
                              2 + widthA + widthB + (extras & 1 ? 4 : 0) + (extras & 2 ? 4 : 0) +
                                  (extras & 4 ? 2 : 0) + lengthWidth);
                    // Written back with the smallest key widths and an eight-byte length.
                    PacketHeader smallest = h;
                    smallest.keyAWidth = smallest.keyBWidth = -1;
                    smallest.lengthWidth = 8;
                    const Bytes expected = quarn_test::packetHeader(smallest, length);
                    EXPECT_EQ(written(type, length), expected) << forms;
                    EXPECT_EQ(type.getSize(), std::int64_t(expected.size()));
                    ++forms;
                }
    EXPECT_EQ(forms, 512);
}

TEST(QG3PacketType, WorkedExamples) {
    // 02 00 05: a type-2 packet, no keys, a 5-byte body in a 3-byte header.
    VectorStream small(Bytes{0x02, 0x00, 0x05});
    QG3PacketType type = blank();
    std::uint64_t length = 0;
    ASSERT_EQ(type.read(&small, length), KV_OK);
    EXPECT_EQ(type.packetType, 2u);
    EXPECT_EQ(type.keyA, 0u);
    EXPECT_EQ(type.flag1, 0);
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(type.headerSize, 3);
    EXPECT_EQ(type.getSize(), 10);

    const Bytes placeholder{0, 0, 0, 0, 0, 0, 0, 7};
    QG3PacketType key256(0, 256, 0, 0, 0, 0);
    Bytes expected{0x00, 0x83, 0x01, 0x00};
    expected.insert(expected.end(), placeholder.begin(), placeholder.end());
    EXPECT_EQ(written(key256, 7), expected);
    QG3PacketType key65536(0, 65536, 0, 0, 0, 0);
    expected = {0x00, 0xC3, 0x00, 0x01, 0x00, 0x00};
    expected.insert(expected.end(), placeholder.begin(), placeholder.end());
    EXPECT_EQ(written(key65536, 7), expected);
    QG3PacketType flagTwo(4, 0, 0, 0, 0, 1);
    expected = {0x44, 0x03, 0x00, 0x01};
    expected.insert(expected.end(), placeholder.begin(), placeholder.end());
    EXPECT_EQ(written(flagTwo, 7), expected);

    // A clone has no keyC, and so neither has what it writes.
    QG3PacketType withC(1, 0, 0, 0, 0, 0);
    withC.keyC = 5;
    std::unique_ptr<DBObjectType> clone(withC.clone());
    EXPECT_EQ(static_cast<QG3PacketType&>(*clone).keyC, 0u);
    EXPECT_EQ(withC.getSize(), 14);
}

TEST(QG3PacketType, RefusesReservedBitsOnlyAfterConsumingTheHeader) {
    for (std::uint8_t bits : {0x10, 0x20, 0x80}) {
        PacketHeader h;
        h.type = 6;
        h.extraBits = bits;
        h.keyA = 300;
        h.imageNumber = 9;
        Bytes bytes = quarn_test::packetHeader(h, 12);
        const std::size_t size = bytes.size();
        bytes.push_back(0xEE);
        VectorStream stream(bytes);
        QG3PacketType type = blank();
        std::uint64_t length = 0;
        EXPECT_EQ(type.read(&stream, length), KV_QG3_BAD_FORMAT);
        EXPECT_EQ(stream.position, std::int64_t(size));
    }
    PacketHeader h;
    h.keyA = 0x12345678;
    h.imageNumber = 3;
    const Bytes bytes = quarn_test::packetHeader(h, 1);
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        VectorStream stream(Bytes(bytes.begin(), bytes.begin() + std::ptrdiff_t(cut)));
        QG3PacketType type = blank();
        std::uint64_t length = 0;
        EXPECT_EQ(type.read(&stream, length), KV_QG3_READ_FAILED) << cut;
    }
}

TEST(QG3PacketType, MatchesWithWildcardsOnEitherSide) {
    const QG3PacketType stored(2, 3, 0, 5, 1, 0);
    EXPECT_TRUE(QG3PacketType(2, 3, 0, 5, 0, 0).matches(stored));
    EXPECT_TRUE(QG3PacketType(2, QG3_ANY, QG3_ANY, QG3_ANY, 0, 0).matches(stored));
    EXPECT_FALSE(QG3PacketType(2, 3, 0, 6, 0, 0).matches(stored));
    EXPECT_FALSE(QG3PacketType(1, 3, 0, 5, 0, 0).matches(stored));
    EXPECT_FALSE(QG3PacketType(2, 3, 1, 5, 0, 0).matches(stored));
    const QG3PacketType everyImage(2, 3, 0, QG3_ANY, 0, 0);
    EXPECT_TRUE(QG3PacketType(2, 3, 0, 77, 0, 0).matches(everyImage));
    EXPECT_TRUE(QG3PacketType::compare(QG3PacketType(QG3_ANY, 3, 0, 5, 9, 9), stored));
}

TEST(QG3Packets, MetadataCountIsCheckedBeforeItIsHeld) {
    const QG3PacketType type(2, 1, 0, 0, 0, 0);
    ByteBuilder body;
    body.u32(5).bytes({1, 2, 3, 4, 5}).bytes({9, 9}); // two bytes of slack are ignored
    VectorStream stream(body.data());
    QG3MetadataPacket packet(type);
    ASSERT_EQ(packet.readBody(&stream, 11), KV_OK);
    EXPECT_EQ(packet.getCount(), 5u);
    EXPECT_EQ(Bytes(packet.getBytes(), packet.getBytes() + 5), (Bytes{1, 2, 3, 4, 5}));
    VectorStream out;
    ASSERT_EQ(packet.writeBody(&out, 0), KV_OK);
    EXPECT_EQ(out.data, Bytes(body.data().begin(), body.data().end() - 2));

    // A count beyond the body, beyond the stream, or of 4 GiB in a small file.
    for (auto [count, length] : {std::pair{6u, 9}, {5u, 8}, {0xFFFFFFFFu, 11}, {0xFFFFFFFFu, -1}}) {
        VectorStream s(ByteBuilder().u32(count).bytes({1, 2, 3, 4, 5, 6, 7}).take());
        QG3MetadataPacket p(type);
        EXPECT_EQ(p.readBody(&s, length), KV_QG3_READ_FAILED) << count;
    }
    VectorStream s(ByteBuilder().u32(1).take());
    QG3MetadataPacket p(type);
    EXPECT_EQ(p.readBody(&s, 100), KV_QG3_READ_FAILED);
}

TEST(QG3Packets, UnknownQG2AndPlanesetBodies) {
    const QG3PacketType unknownType(0, 0, 0, 0, 0, 0);
    VectorStream stream(quarn_test::rampBytes(20));
    stream.position = 4;
    QG3UnknownPacket rest(unknownType);
    ASSERT_EQ(rest.readBody(&stream, -1), KV_OK);
    EXPECT_EQ(rest.getCount(), 16u);
    EXPECT_EQ(rest.getBytes()[0], 4);
    stream.position = 4;
    QG3UnknownPacket tooLong(unknownType);
    EXPECT_EQ(tooLong.readBody(&stream, 17), KV_QG3_READ_FAILED);

    const QG3PacketType qg2Type(7, 0, 0, 3, 0, 0);
    QG3QG2Packet qg2(qg2Type);
    stream.position = 6;
    ASSERT_EQ(qg2.readBody(&stream, 10), KV_OK);
    EXPECT_EQ(qg2.start, 6u);
    EXPECT_EQ(qg2.end, 16u);
    EXPECT_EQ(stream.position, 6); // nothing read
    VectorStream out;
    EXPECT_EQ(qg2.writeBody(&out, 0), KV_QG3_NOT_SUPPORTED);

    const Bytes body = quarn_test::planesetBody(5, 2, 0x0102030405060708ull, {0xAA});
    for (auto [flag1, flag2, expected] : {std::tuple{0, 0, KV_OK},
                                          {0, 1, KV_OK},
                                          {0, 2, KV_QG3_BAD_FORMAT},
                                          {1, 0, KV_QG3_BAD_FORMAT}}) {
        VectorStream s(body);
        QG3PlanesetPacket planeset(
            QG3PacketType(4, 0, 0, 1, std::uint8_t(flag1), std::uint8_t(flag2)));
        ASSERT_EQ(planeset.readBody(&s, std::int64_t(body.size())), expected);
        if (expected != KV_OK) continue;
        EXPECT_EQ(planeset.planesetKind, 5u);
        EXPECT_EQ(planeset.planesetLayout, 2u);
        EXPECT_EQ(planeset.planesetTotal, 0x0102030405060708ull);
        EXPECT_EQ(planeset.planeDataStart, 10);
        EXPECT_EQ(planeset.writeBody(&out, 0), KV_QG3_NOT_SUPPORTED);
    }
    VectorStream cut(Bytes(body.begin(), body.begin() + 9));
    QG3PlanesetPacket planeset(QG3PacketType(4, 0, 0, 1, 0, 0));
    EXPECT_EQ(planeset.readBody(&cut, -1), KV_QG3_READ_FAILED);
}

TEST(QG3Packets, ContentsBodyForms) {
    const Bytes idOnly = ByteBuilder().u32(0x01020304).take();
    VectorStream a(idOnly);
    QG3ContentsPacket plain(QG3PacketType(6, 0, 0, 0, 0, 0), nullptr);
    ASSERT_EQ(plain.readBody(&a, 4), KV_OK);
    EXPECT_EQ(plain.identifier, 0x01020304u);
    VectorStream out;
    ASSERT_EQ(plain.writeBody(&out, 0), KV_OK);
    EXPECT_EQ(out.data, idOnly);

    const Bytes withMore = ByteBuilder().u32(7).u8(0).take();
    VectorStream b(withMore);
    QG3ContentsPacket notFour(QG3PacketType(6, 0, 0, 0, 0, 0), nullptr);
    EXPECT_EQ(notFour.readBody(&b, 5), KV_QG3_READ_FAILED);
    VectorStream c(withMore);
    QG3ContentsPacket badFlag(QG3PacketType(6, 0, 0, 0, 2, 0), nullptr);
    EXPECT_EQ(badFlag.readBody(&c, 5), KV_QG3_BAD_FORMAT);
    VectorStream d(Bytes{0, 0, 1});
    QG3ContentsPacket shortId(QG3PacketType(6, 0, 0, 0, 1, 0), nullptr);
    EXPECT_EQ(shortId.readBody(&d, -1), KV_QG3_READ_FAILED);
    VectorStream e(withMore);
    QG3ContentsPacket table(QG3PacketType(6, 0, 0, 0, 1, 0), nullptr);
    ASSERT_EQ(table.readBody(&e, 5), KV_OK);
    EXPECT_EQ(table.identifier, 7u);
}
