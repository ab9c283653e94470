// The packet database: lazy listing by header walk and by contents table, searches, writing back,
// and damaged lengths and tables.

#include "qg3/container/QG3PacketDB.h"
#include "HostileRasterFiles.h"
#include "RasterFileWriter.h"
#include "TestStreams.h"
#include "qg3/container/DBObjectProxy.h"
#include "qg3/container/QG3ContentsPacket.h"
#include "qg3/container/QG3HeaderPacket.h"
#include "qg3/container/QG3MetadataPacket.h"
#include "qg3/container/QG3PacketType.h"
#include "qg3/container/QG3Status.h"
#include "qg3/container/QG3UnknownPacket.h"
#include "streams/KVIOBufferedStream.h"
#include "streams/KVIOStreamUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <numeric>
#include <random>
#include <thread>

using namespace Korvel;
using quarn_test::ByteBuilder;
using quarn_test::Bytes;
using quarn_test::RasterPacket;
using quarn_test::VectorStream;

namespace {

struct ReadDB {
    explicit ReadDB(Bytes bytes) : stream(std::move(bytes)) { status = db.read(&stream); }
    VectorStream stream;
    QG3PacketDB db;
    KVStatus status;

    std::vector<DBObjectProxy*> proxies() const {
        const auto& items = db.getObjects().items();
        return {items.begin(), items.end()};
    }
    const QG3PacketType& type(std::size_t i) const {
        return static_cast<const QG3PacketType&>(*proxies().at(i)->getType());
    }
    // Where the packet's header lies in the file (a listed packet's type was read from the table).
    std::size_t headerOffset(std::size_t i) const {
        const auto* imp = dynamic_cast<const DBObjectProxyImpStream*>(proxies().at(i)->getImp());
        return std::size_t(imp->getStart() - type(i).headerSize);
    }
    QG3Packet* load(std::size_t i) const {
        DBObject* object = nullptr;
        EXPECT_EQ(proxies().at(i)->getObject(object), KV_OK) << i;
        return dynamic_cast<QG3Packet*>(object);
    }
};

RasterPacket unknownPacket(Bytes body, unsigned lengthWidth = 1) {
    RasterPacket p;
    p.header.lengthWidth = lengthWidth;
    p.body = std::move(body);
    return p;
}

quarn_test::HeaderBody smallImage() {
    quarn_test::HeaderBody b;
    b.width = 40;
    b.height = 30;
    b.numLevels = 1;
    b.subblockSize = 16;
    return b;
}

// A file whose contents table comes second and lists two packets after it.
std::vector<RasterPacket> tabledPackets() {
    return {quarn_test::headerPacket(1, smallImage()), quarn_test::contentsPacket(11),
            quarn_test::planesetPacket(1, 500, {1, 2, 3}),
            quarn_test::metadataPacket(3, 0, 1, {0})};
}

std::size_t bytesRead(const VectorStream& stream) {
    return std::accumulate(stream.readRequests.begin(), stream.readRequests.end(), std::size_t(0));
}

// A device that delivers the bytes before offset failAt and stops short at it, end-of-file clear,
// naming its own error; with failAt at the end, a file that ends there.
struct FailsAt : VectorStream {
    FailsAt(Bytes bytes, std::int64_t at) : VectorStream(std::move(bytes)), failAt(at) {
        if (failAt < std::int64_t(data.size())) lastError = 0x77;
    }
    std::uint32_t read(std::uint8_t* buffer, std::uint32_t count) override {
        readBudget = position < failAt ? std::uint64_t(failAt - position) : 0;
        return VectorStream::read(buffer, count);
    }
    std::int64_t failAt;
};

// Packet headers of every form (keys of 0, 1, 2 and 4 bytes, lengths of 1, 2, 4 and 8, with and
// without keyC, image number and flags), an image's header and planeset, bodies longer than a
// small body, a contents table, and a packet after the table.
Bytes everyHeaderForm() {
    const std::uint32_t keyFor[5] = {0, 0x9A, 0x1234, 0, 0x89ABCDEF};
    std::vector<RasterPacket> packets = {quarn_test::headerPacket(1, smallImage())};
    std::uint8_t form = 0;
    for (int width : {0, 1, 2, 4})
        for (unsigned lengthWidth : {1u, 2u, 4u, 8u}) {
            RasterPacket p = quarn_test::metadataPacket(keyFor[width], keyFor[4 - width], form % 3,
                                                        Bytes(form * 3u, form));
            p.header.lengthWidth = lengthWidth;
            p.header.keyC = form & 1 ? 0x0BADF00D : 0;
            p.header.forceImageNumber = (form & 2) != 0;
            p.header.forceFlags = (form & 4) != 0;
            packets.push_back(p);
            ++form;
        }
    packets.push_back(quarn_test::planesetPacket(1, 4, {1, 2}));
    packets.push_back(unknownPacket(Bytes(700, 0x5A), 2));
    packets.push_back(quarn_test::contentsPacket(11));
    packets.push_back(quarn_test::metadataPacket(3, 0, 1, Bytes(600, 0xC3)));
    Bytes file = quarn_test::rasterFile(quarn_test::kGen4Version, packets);
    const Bytes after = quarn_test::rasterFile(quarn_test::kGen4Version,
                                               {quarn_test::metadataPacket(1, 0, 1, {8})});
    file.insert(file.end(), after.begin() + 8, after.end());
    return file;
}

class CountingDelegates : public DBProgressDelegate, public DBInterruptDelegate {
public:
    void reportProgress(float fraction) override { fractions.push_back(fraction); }
    KVStatus checkInterrupt() override { return ++asked >= stopAt ? 0x1234 : KV_OK; }
    std::vector<float> fractions;
    int asked = 0;
    int stopAt = 1 << 30;
};

} // namespace

TEST(QG3PacketDB, EmptyAndHeaderOnlyStreams) {
    ReadDB headerOnly(quarn_test::fileHeader(quarn_test::kGen3Version));
    EXPECT_EQ(headerOnly.status, KV_OK);
    EXPECT_TRUE(headerOnly.db.getObjects().empty());
    EXPECT_EQ(headerOnly.db.getFileVersion(), (QG3FileVersion{3, 0, 0x1A, 'q'}));
    EXPECT_EQ(ReadDB(Bytes{}).status, KV_QG3_READ_FAILED);

    VectorStream atEnd(quarn_test::rampBytes(10));
    atEnd.position = 10;
    QG3PacketDB db;
    EXPECT_EQ(db.DB::read(&atEnd, -1), KV_OK);
    atEnd.position = 0;
    EXPECT_EQ(db.DB::read(&atEnd, 0), KV_OK);
    EXPECT_TRUE(db.getObjects().empty());
    EXPECT_EQ(QG3PacketDB().getFileVersion(), QG3_VERSION_GEN4_RASTER);
}

TEST(QG3PacketDB, WalksHeadersWithoutReadingBodies) {
    quarn_test::HeaderBody bad = smallImage();
    bad.flags = 0x1; // an invalid body, which listing never looks at
    std::vector<RasterPacket> packets = {quarn_test::headerPacket(1, bad),
                                         quarn_test::planesetPacket(1, 99, {7, 7}),
                                         quarn_test::metadataPacket(1, 0, 1, {4, 5, 6})};
    ReadDB r(quarn_test::rasterFile(quarn_test::kGen3Version, packets));
    ASSERT_EQ(r.status, KV_OK);
    ASSERT_EQ(r.proxies().size(), 3u);
    std::size_t headers = 8;
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(r.type(i).packetType, packets[i].header.type);
        EXPECT_EQ(r.proxies()[i]->getLoadedObject(), nullptr);
        headers += std::size_t(r.type(i).headerSize);
    }
    EXPECT_EQ(bytesRead(r.stream), headers);

    DBObject* object = nullptr;
    EXPECT_EQ(r.proxies()[0]->getObject(object), KV_QG3_BAD_FORMAT);
    EXPECT_EQ(r.proxies()[0]->getLoadedObject(), nullptr);
    auto* metadata = dynamic_cast<QG3MetadataPacket*>(r.load(2));
    ASSERT_NE(metadata, nullptr);
    EXPECT_EQ(metadata->getCount(), 3u);
    EXPECT_EQ(r.proxies()[2]->getLoadedObject(), metadata);
    EXPECT_EQ(r.load(2), metadata); // loaded once, kept
}

TEST(QG3PacketDB, ListsFromTheContentsTableAndWalksOnAfterIt) {
    Bytes bytes = quarn_test::rasterFile(quarn_test::kGen4Version, tabledPackets());
    ReadDB plain(bytes);
    ASSERT_EQ(plain.status, KV_OK);
    ASSERT_EQ(plain.proxies().size(), 4u);
    EXPECT_EQ(plain.type(3).keyA, 3u);

    // The headers after the table are never read: damaging them changes nothing.
    bytes.at(plain.headerOffset(2)) |= 0x80;
    ReadDB damaged(bytes);
    ASSERT_EQ(damaged.status, KV_OK);
    ASSERT_EQ(damaged.proxies().size(), 4u);
    EXPECT_EQ(damaged.type(2).packetType, QG3_PACKET_PLANESET);
    EXPECT_EQ(damaged.type(2).imageNumber, 1u);
    auto* contents = dynamic_cast<QG3ContentsPacket*>(damaged.load(1));
    ASSERT_NE(contents, nullptr);
    EXPECT_EQ(contents->identifier, 11u);

    // A packet appended after the table was written is found by walking on.
    const Bytes extra = quarn_test::rasterFile(quarn_test::kGen4Version,
                                               {quarn_test::metadataPacket(1, 0, 1, {8})});
    bytes.insert(bytes.end(), extra.begin() + 8, extra.end());
    ReadDB appended(bytes);
    ASSERT_EQ(appended.status, KV_OK);
    ASSERT_EQ(appended.proxies().size(), 5u);
    EXPECT_EQ(appended.type(4).keyA, 1u);
}

TEST(QG3PacketDB, AllOnesLengthRunsToTheEnd) {
    ByteBuilder file;
    file.bytes(quarn_test::fileHeader(quarn_test::kGen3Version));
    file.bytes(quarn_test::packetHeader({}, ~std::uint64_t(0)));
    file.bytes(quarn_test::packetHeader({}, 3)).bytes({1, 2, 3}); // inside the body
    ReadDB r(file.take());
    ASSERT_EQ(r.status, KV_OK);
    ASSERT_EQ(r.proxies().size(), 1u);
    auto* unknown = dynamic_cast<QG3UnknownPacket*>(r.load(0));
    ASSERT_NE(unknown, nullptr);
    EXPECT_EQ(unknown->getCount(), 10u + 3);
}

TEST(QG3PacketDB, FindsOneOrAllByKey) {
    RasterPacket anyImage = quarn_test::metadataPacket(5, 0, 0, {1});
    anyImage.header.imageNumber = QG3_ANY;
    ReadDB r(quarn_test::rasterFile(quarn_test::kGen3Version,
                                    {quarn_test::metadataPacket(3, 0, 1, {1}),
                                     quarn_test::headerPacket(1, smallImage()),
                                     quarn_test::metadataPacket(1, 0, 1, {2}),
                                     quarn_test::metadataPacket(3, 0, 2, {3}), anyImage}));
    ASSERT_EQ(r.status, KV_OK);

    QG3List<DBObjectProxy*> found;
    found.append(nullptr);
    ASSERT_EQ(r.db.findAll(QG3PacketType(2, QG3_ANY, QG3_ANY, QG3_ANY, 0, 0), found), KV_OK);
    const std::vector<DBObjectProxy*> all(found.items().begin(), found.items().end());
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all[0], nullptr);
    EXPECT_EQ(all[1], r.proxies()[0]);
    EXPECT_EQ(all[2], r.proxies()[2]);
    EXPECT_EQ(all[4], r.proxies()[4]);

    DBObjectProxy* one = r.proxies()[0];
    EXPECT_EQ(r.db.findOne(QG3PacketType(2, 3, 0, QG3_ANY, 0, 0), one), KV_OK);
    EXPECT_EQ(one, nullptr); // two match
    EXPECT_EQ(r.db.findOne(QG3PacketType(2, 3, 0, 2, 0, 0), one), KV_OK);
    EXPECT_EQ(one, r.proxies()[3]);
    // A stored image number 0xFFFFFFFF answers every image.
    EXPECT_EQ(r.db.findOne(QG3PacketType(2, 5, 0, 77, 0, 0), one), KV_OK);
    EXPECT_EQ(one, r.proxies()[4]);

    QG3Packet* packet = nullptr;
    ASSERT_EQ(r.db.findPacket(QG3PacketType(1, QG3_ANY, QG3_ANY, 1, 0, 0), packet), KV_OK);
    ASSERT_NE(dynamic_cast<QG3HeaderPacket*>(packet), nullptr);
    EXPECT_EQ(r.db.findPacket(QG3PacketType(4, QG3_ANY, QG3_ANY, 1, 0, 0), packet), KV_OK);
    EXPECT_EQ(packet, nullptr);
}

TEST(QG3PacketDB, ReadsAPacketOnItsOwnWithoutKeepingIt) {
    ReadDB r(quarn_test::rasterFile(quarn_test::kGen3Version, tabledPackets()));
    ASSERT_EQ(r.status, KV_OK);
    const QG3PacketType header(1, QG3_ANY, QG3_ANY, 1, 0, 0);
    std::unique_ptr<QG3Packet> own;
    ASSERT_EQ(r.db.readPacket(header, own), KV_OK);
    ASSERT_NE(dynamic_cast<QG3HeaderPacket*>(own.get()), nullptr);
    // Read afresh, the packet leaves nothing loaded behind.
    EXPECT_EQ(r.proxies()[0]->getLoadedObject(), nullptr);
    QG3Packet* kept = nullptr;
    ASSERT_EQ(r.db.findPacket(header, kept), KV_OK);
    ASSERT_NE(kept, nullptr);
    EXPECT_TRUE(kept->isEqual(*own));
    // Once loaded, a read gives a copy of the loaded packet.
    std::unique_ptr<QG3Packet> copy;
    ASSERT_EQ(r.db.readPacket(header, copy), KV_OK);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy.get(), kept);
    EXPECT_TRUE(copy->isEqual(*kept));
    // The metadata packet listed by the table, found by type alone (no index) and by image.
    ASSERT_EQ(r.db.readPacket(QG3PacketType(2, 3, QG3_ANY, QG3_ANY, 0, 0), own), KV_OK);
    ASSERT_NE(dynamic_cast<QG3MetadataPacket*>(own.get()), nullptr);
    EXPECT_EQ(static_cast<QG3MetadataPacket&>(*own).getCount(), 1u);
    EXPECT_EQ(r.db.readPacket(QG3PacketType(2, 4, 0, 1, 0, 0), own), KV_OK);
    EXPECT_EQ(own, nullptr);
    EXPECT_TRUE(r.db.hasPacket(2, 3, 0, 1));
    EXPECT_FALSE(r.db.hasPacket(2, 3, 0, 2));
    EXPECT_FALSE(r.db.hasPacket(2, 3, 1, 1));
    EXPECT_FALSE(r.db.hasPacket(4, 3, 0, 1));
    // A record unpacks to the header it was read from, placed in front of its body: the first
    // packet's header follows the 8-byte file header.
    EXPECT_EQ(r.db.getPacketType(0).start, 8);
    EXPECT_EQ(r.db.getPacketType(3).keyA, 3u);
}

TEST(QG3PacketDB, FindPacketOfAnImageAgreesWithTheWalk) {
    // Many images, one metadata packet whose stored image number answers every image, and a
    // second metadata packet of image 7 that makes image 7's search ambiguous.
    std::vector<RasterPacket> packets;
    for (std::uint32_t image = 1; image <= 40; ++image) {
        packets.push_back(quarn_test::headerPacket(image, smallImage()));
        packets.push_back(quarn_test::planesetPacket(image, 10));
    }
    RasterPacket anyImage = quarn_test::metadataPacket(5, 0, 0, {1});
    anyImage.header.imageNumber = QG3_ANY;
    packets.push_back(anyImage);
    packets.push_back(quarn_test::metadataPacket(5, 0, 7, {2}));
    ReadDB r(quarn_test::rasterFile(quarn_test::kGen3Version, packets));
    ASSERT_EQ(r.status, KV_OK);

    const std::vector<QG3PacketType> patterns = {QG3PacketType(1, QG3_ANY, QG3_ANY, 1, 0, 0),
                                                 QG3PacketType(1, QG3_ANY, QG3_ANY, 40, 0, 0),
                                                 QG3PacketType(4, QG3_ANY, QG3_ANY, 23, 0, 0),
                                                 QG3PacketType(4, QG3_ANY, QG3_ANY, 41, 0, 0),
                                                 QG3PacketType(2, 5, 0, 3, 0, 0),
                                                 QG3PacketType(2, 5, 0, 7, 0, 0),
                                                 QG3PacketType(2, 6, 0, 3, 0, 0),
                                                 QG3PacketType(2, QG3_ANY, QG3_ANY, 9, 0, 0)};
    for (const QG3PacketType& pattern : patterns) {
        DBObjectProxy* walked = nullptr;
        ASSERT_EQ(r.db.findOne(pattern, walked, &QG3PacketType::compare), KV_OK);
        QG3Packet* packet = nullptr;
        ASSERT_EQ(r.db.findPacket(pattern, packet), KV_OK);
        EXPECT_EQ(packet, walked ? walked->getLoadedObject() : nullptr)
            << pattern.packetType << " " << pattern.keyA << " " << pattern.imageNumber;
    }
    QG3Packet* packet = nullptr;
    ASSERT_EQ(r.db.findPacket(QG3PacketType(2, 5, 0, 3, 0, 0), packet), KV_OK);
    EXPECT_EQ(packet, r.proxies()[80]->getLoadedObject());
    EXPECT_NE(packet, nullptr);
    ASSERT_EQ(r.db.findPacket(QG3PacketType(2, 5, 0, 7, 0, 0), packet), KV_OK);
    EXPECT_EQ(packet, nullptr);
}

// Packets in any order, some headers twice, over more than one block of records: the search of
// an image's packet agrees with a walk of the list, and a packet read on its own is the one the
// walk finds, read from its own place.
TEST(QG3PacketDB, SearchesAgreeWithTheWalkInAnyFileOrder) {
    std::vector<RasterPacket> packets;
    for (std::uint32_t image = 1; image <= 300; ++image) {
        packets.push_back(quarn_test::headerPacket(image, smallImage()));
        packets.push_back(quarn_test::planesetPacket(image, 10));
        if (image % 7 == 0) packets.push_back(quarn_test::headerPacket(image, smallImage()));
        if (image % 5 == 0) packets.push_back(quarn_test::metadataPacket(5, 0, image, {1}));
    }
    std::mt19937 random(7);
    std::shuffle(packets.begin(), packets.end(), random);
    ReadDB r(quarn_test::rasterFile(quarn_test::kGen3Version, packets));
    ASSERT_EQ(r.status, KV_OK);

    for (std::uint32_t image = 0; image <= 301; ++image)
        for (const std::uint32_t packetType : {1u, 2u, 4u}) {
            const QG3PacketType pattern(packetType, QG3_ANY, QG3_ANY, image, 0, 0);
            DBObjectProxy* walked = nullptr;
            ASSERT_EQ(r.db.findOne(pattern, walked, &QG3PacketType::compare), KV_OK);
            std::unique_ptr<QG3Packet> read;
            ASSERT_EQ(r.db.readPacket(pattern, read), KV_OK);
            ASSERT_EQ(read != nullptr, walked != nullptr) << packetType << " " << image;
            if (read) {
                EXPECT_EQ(read->getType()->start,
                          static_cast<const QG3PacketType*>(walked->getType())->start);
            }
            QG3Packet* found = nullptr;
            ASSERT_EQ(r.db.findPacket(pattern, found), KV_OK);
            EXPECT_EQ(found, walked ? walked->getLoadedObject() : nullptr);
            EXPECT_EQ(r.db.hasPacket(packetType, 5, 0, image),
                      packetType == 2 && image > 0 && image <= 300 && image % 5 == 0);
        }
}

TEST(QG3PacketDB, WrittenBackAndReadAgainIsEqual) {
    quarn_test::HeaderBody body = smallImage();
    body.flags |= 0x8000 | 0x40000;
    body.crop = {2, 3, 17, 12};
    body.cropLevel = 1;
    body.bandScales = {{2.0f, -3.0f}};
    RasterPacket unknown = unknownPacket({9, 8, 7});
    unknown.header.keyC = 9;
    const std::vector<RasterPacket> packets = {
        quarn_test::headerPacket(1, body), unknown, quarn_test::metadataPacket(3, 0, 1, {0}),
        quarn_test::contentsPacket(21), quarn_test::planesetPacket(1, 77, {5, 4, 3, 2, 1})};
    ReadDB first(quarn_test::rasterFile(quarn_test::kGen3Version, packets));
    ASSERT_EQ(first.status, KV_OK);
    for (std::size_t i = 0; i < 4; ++i)
        first.load(i); // the planeset stays in the stream and is copied

    CountingDelegates delegates;
    first.db.setProgressDelegate(&delegates);
    VectorStream out;
    ASSERT_EQ(first.db.write(&out), KV_OK);
    ASSERT_FALSE(delegates.fractions.empty());
    EXPECT_EQ(delegates.fractions.back(), 1.0f);

    ReadDB second(out.data);
    ASSERT_EQ(second.status, KV_OK);
    ASSERT_EQ(second.proxies().size(), 5u);
    const std::size_t planesetAt = second.headerOffset(4);
    EXPECT_EQ(second.db.getFileVersion(), first.db.getFileVersion());
    EXPECT_FALSE(first.db.isEqual(second.db)); // not loaded yet
    for (std::size_t i = 0; i < 5; ++i) {
        QG3Packet* a = first.load(i);
        QG3Packet* b = second.load(i);
        ASSERT_TRUE(a && b);
        EXPECT_TRUE(a->isEqual(*b)) << i;
    }
    EXPECT_TRUE(first.db.isEqual(second.db));
    // keyC is not written, and the packets after the rebuilt table come from it.
    EXPECT_EQ(out.data.at(std::size_t(second.type(1).start) + 1) & 0x08, 0);
    Bytes damaged = out.data;
    damaged.at(planesetAt) |= 0x80;
    EXPECT_EQ(ReadDB(damaged).status, KV_OK);
}

// Databases written at once, one per thread, share nothing: without a contents packet each copies
// its headers into a null stream of its own. Every write of every thread gives the bytes of a
// write made alone. The streams are the library's own memory streams, which share no state.
TEST(QG3PacketDB, DatabasesWrittenFromManyThreadsAtOnceAgree) {
    const Bytes file = quarn_test::rasterFile(
        quarn_test::kGen3Version,
        {quarn_test::headerPacket(1, smallImage()), unknownPacket({9, 8, 7}),
         quarn_test::metadataPacket(3, 0, 1, {0, 1}), quarn_test::planesetPacket(1, 77, {5, 4})});
    const auto writeOnce = [&file](std::size_t loaded) {
        std::unique_ptr<KVIOStreamInf> in(createMemStream());
        std::unique_ptr<KVIOStreamInf> out(createMemStream());
        QG3PacketDB db;
        if (!in || !out || in->write(file.data(), std::uint32_t(file.size())) != file.size() ||
            in->seek(0, KVIO_SEEK_SET) != KV_OK || db.read(in.get()) != KV_OK)
            return Bytes{};
        // The loaded packets write themselves, the others are copied from the file.
        for (std::size_t i = 0; i < loaded; ++i) {
            DBObject* object = nullptr;
            if (db.getProxy(i)->getObject(object) != KV_OK) return Bytes{};
        }
        if (db.write(out.get()) != KV_OK) return Bytes{};
        Bytes written(std::size_t(getStreamSize(out.get())));
        out->seek(0, KVIO_SEEK_SET);
        out->read(written.data(), std::uint32_t(written.size()));
        return written;
    };
    std::vector<Bytes> alone;
    for (std::size_t loaded = 0; loaded < 4; ++loaded) {
        alone.push_back(writeOnce(loaded));
        ASSERT_GT(alone.back().size(), file.size()) << loaded; // every length in eight bytes
    }

    std::atomic<int> differing{0};
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            for (int k = 0; k < 100; ++k)
                if (const std::size_t loaded = (t + std::size_t(k)) % 4;
                    writeOnce(loaded) != alone[loaded])
                    ++differing;
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(differing.load(), 0);
}

TEST(QG3PacketDB, InterruptStopsTheWrite) {
    const std::vector<RasterPacket> packets = {unknownPacket({1, 2}), unknownPacket({3}),
                                               unknownPacket({4})};
    ReadDB r(quarn_test::rasterFile(quarn_test::kGen3Version, packets));
    CountingDelegates delegates;
    delegates.stopAt = 1;
    r.db.setInterruptDelegate(&delegates);
    VectorStream out;
    EXPECT_EQ(r.db.write(&out), 0x1234u);
    EXPECT_EQ(out.data.size(), 8u + 10 + 2);

    // A planeset that was loaded cannot be written again.
    ReadDB p(quarn_test::rasterFile(quarn_test::kGen3Version, {quarn_test::planesetPacket(1, 5)}));
    p.load(0);
    VectorStream out2;
    EXPECT_EQ(p.db.write(&out2), KV_QG3_NOT_SUPPORTED);
}

TEST(QG3PacketDB, RefusesLengthsBeyondTheFile) {
    for (std::uint64_t length :
         {std::uint64_t(11), std::uint64_t(1000), std::uint64_t(1) << 63, ~std::uint64_t(0) - 1}) {
        ByteBuilder file;
        file.bytes(quarn_test::fileHeader(quarn_test::kGen3Version));
        file.bytes(quarn_test::packetHeader({}, length)).bytes(quarn_test::rampBytes(10));
        EXPECT_EQ(ReadDB(file.take()).status, KV_QG3_READ_FAILED) << length;
    }
    // A table entry whose packet would run past the end.
    ByteBuilder file;
    file.bytes(quarn_test::fileHeader(quarn_test::kGen3Version));
    const Bytes contents{0x46, 0x00, 0x01, 0x00, 12};
    file.bytes(contents).u32(5).bytes(contents).bytes({0x00, 0x00, 100});
    file.bytes({0x00, 0x00, 0x02, 0xAA, 0xBB});
    EXPECT_EQ(ReadDB(file.take()).status, KV_QG3_READ_FAILED);
}

TEST(QG3PacketDB, RefusesTablesThatLeadBackOrIntoThemselves) {
    const Bytes p1{0x00, 0x00, 0x02, 0xAA, 0xBB}; // type 0, two bytes of body
    // The table lists only the packet before it: walking on would read the table again.
    ByteBuilder loop;
    loop.bytes(quarn_test::fileHeader(quarn_test::kGen3Version)).bytes(p1);
    loop.bytes({0x46, 0x00, 0x01, 0x00, 7}).u32(1).bytes({0x00, 0x00, 0x02});
    EXPECT_EQ(ReadDB(loop.take()).status, KV_QG3_BAD_FORMAT);

    // The table's entry for itself claims a longer body, so the next entry lands inside it.
    ByteBuilder inside;
    inside.bytes(quarn_test::fileHeader(quarn_test::kGen3Version)).bytes(p1);
    inside.bytes({0x46, 0x00, 0x01, 0x00, 18}).u32(1);
    inside.bytes({0x00, 0x00, 0x02}).bytes({0x46, 0x00, 0x01, 0x00, 14});
    inside.bytes({0x00, 0x00, 0x00}).bytes({0x00, 0x00, 0x00});
    EXPECT_EQ(ReadDB(inside.take()).status, KV_QG3_BAD_FORMAT);

    // The last entry is cut off by the table's end.
    ByteBuilder straddle;
    straddle.bytes(quarn_test::fileHeader(quarn_test::kGen3Version));
    straddle.bytes({0x46, 0x00, 0x01, 0x00, 11}).u32(1).bytes({0x46, 0x00, 0x01, 0x00, 11});
    straddle.bytes({0x00, 0x03}).bytes(Bytes(8, 0));
    EXPECT_EQ(ReadDB(straddle.take()).status, KV_QG3_BAD_FORMAT);

    // A table packet too short for its identifier.
    ByteBuilder tiny;
    tiny.bytes(quarn_test::fileHeader(quarn_test::kGen3Version)).bytes({0x46, 0x00, 0x01, 0x00, 3});
    tiny.bytes({0, 0, 0});
    EXPECT_EQ(ReadDB(tiny.take()).status, KV_QG3_READ_FAILED);
}

// Walked and read through a window of any size, a file cut anywhere or on a device failing
// anywhere gives what a plain read gives: the walk's status and packets, each packet's status and
// body, the place and end-of-file after each step, also after proxies have moved the stream, and
// the stream left where a plain read leaves it; and the walk and reads take a handful of reads.
TEST(QG3PacketDB, AWindowChangesNothingButTheReads) {
    const Bytes file = everyHeaderForm();
    const std::uint32_t capacities[3] = {16, 100, KVIOBufferedStream::kCapacity};
    for (std::size_t at = 0; at <= file.size(); ++at)
        for (const bool cut : {true, false}) {
            const std::uint32_t capacity =
                at == file.size() ? capacities[2] : capacities[(at + cut) % 3];
            const Bytes bytes = cut ? Bytes(file.begin(), file.begin() + std::ptrdiff_t(at)) : file;
            FailsAt plain(bytes, std::int64_t(at));
            FailsAt inner(bytes, std::int64_t(at));
            KVIOBufferedStream windowed(&inner, capacity);
            QG3PacketDB plainDB;
            QG3PacketDB db;
            db.setReadAhead(&windowed);
            SCOPED_TRACE(::testing::Message() << "capacity " << capacity << " at " << at);
            const auto same = [&] {
                EXPECT_EQ(windowed.tell(), plain.position);
                EXPECT_EQ(windowed.isEOF(), plain.isEOF());
            };
            ASSERT_EQ(db.read(&inner), plainDB.read(&plain));
            ASSERT_EQ(db.getCount(), plainDB.getCount());
            same();
            std::size_t proxyReads = 0;
            for (std::size_t i = 0; i < db.getCount(); ++i) {
                SCOPED_TRACE(::testing::Message() << "packet " << i);
                EXPECT_EQ(std::memcmp(&db.getKey(i), &plainDB.getKey(i), sizeof(DBObjectKey)), 0);
                EXPECT_EQ(db.getPacketType(i).start, plainDB.getPacketType(i).start);
                std::unique_ptr<DBObject> object;
                std::unique_ptr<DBObject> plainObject;
                ASSERT_EQ(db.readObject(i, object), plainDB.readObject(i, plainObject));
                same();
                if (object && plainObject) {
                    EXPECT_TRUE(static_cast<QG3Packet&>(*object).isEqual(
                        static_cast<QG3Packet&>(*plainObject)));
                }
                // A proxy loads from the stream itself, moving it under the window.
                const std::size_t before = plain.readRequests.size();
                DBObject* loaded = nullptr;
                EXPECT_EQ(db.getProxy(i)->getObject(loaded),
                          plainDB.getProxy(i)->getObject(loaded));
                proxyReads += plain.readRequests.size() - before;
                same();
            }
            ASSERT_EQ(windowed.settle(), KV_OK);
            EXPECT_EQ(inner.position, plain.position);
            if (at == file.size()) {
                // Windows from 512 bytes, each twice the last: a handful of reads for the file,
                // where a plain walk and read make one or two for each packet.
                EXPECT_EQ(db.getCount(), 22u);
                EXPECT_LE(inner.readRequests.size() - proxyReads, 6u);
                EXPECT_GE(plain.readRequests.size() - proxyReads, 60u);
            }
        }
}

namespace {

TEST(QG3PacketDB, ListsPacketsInProportionToTheBytesTheySpan) {
    // Empty packets of three bytes each: every one is listed up to the free count; beyond it
    // each needs 32 bytes of the file, so a long run stops soon after.
    const Bytes head = quarn_test::fileHeader(quarn_test::kGen3Version);
    const ReadDB sound(quarn_test::withTinyPackets(head, DB_FREE_OBJECTS));
    EXPECT_EQ(sound.status, KV_OK);
    const ReadDB empty(quarn_test::withTinyPackets(head, 2 * DB_FREE_OBJECTS));
    EXPECT_EQ(empty.status, KV_QG3_BAD_FORMAT);
    EXPECT_LT(empty.db.getObjects().size(), DB_FREE_OBJECTS * 9 / 8);

    // Packets of 32 bytes (a 29-byte body) are listed however many there are.
    ByteBuilder file;
    file.bytes(head);
    for (std::size_t i = 0; i < DB_FREE_OBJECTS + 30000; ++i)
        file.bytes({0x02, 0x00, 29}).bytes(Bytes(29, 0));
    const ReadDB sized(file.take());
    EXPECT_EQ(sized.status, KV_OK);
    EXPECT_EQ(sized.db.getObjects().size(), DB_FREE_OBJECTS + 30000);
}

} // namespace
