#pragma once
// A generation-3/4 raster file seen as its packet database: the images it holds, its contents
// identifier, and access to its packets and metadata. Every search of the database holds the
// container's lock, so that the image sources of one container may search from several threads.

#include "qg3/container/QG3FileHeader.h"
#include "qg3/container/QG3ImageDesc.h"
#include "qg3/container/QG3List.h"
#include "support/CriticalSectionLock.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace Korvel {

class DBObjectProxy;
class QG3MetadataSupport;
class QG3Packet;
class QG3PacketDB;
class QG3PacketType;

inline constexpr std::uint32_t QG3_NO_CONTENTS = 0xFFFFFFFF;

// The most images one file may hold. Reading a file keeps a few hundred bytes per image (its
// packets' records, its place in a mosaic's index) and makes each image's reader to describe it,
// a few microseconds an image: this many stay within what a host may spend on opening a file
// (64 MB, a second), a file of more is refused as out of memory (KV_QG3_OUT_OF_MEMORY). Real files
// hold a few images, mosaics up to tens of thousands.
inline constexpr std::size_t QG3_MAX_IMAGES = std::size_t(1) << 18;

class QG3Container {
public:
    QG3Container();
    QG3Container(const QG3Container&) = delete;
    QG3Container& operator=(const QG3Container&) = delete;
    virtual ~QG3Container();

    // Reads the database and lists its images, once: a second call gives KV_QG3_NO_OBJECT;
    // KV_QG3_OUT_OF_MEMORY for a file of more than QG3_MAX_IMAGES images.
    virtual KVStatus open();

    // The database's search, under the lock; KV_QG3_NO_OBJECT before the container is open.
    KVStatus findPacket(const QG3PacketType& pattern, QG3Packet*& packet);
    KVStatus findAll(const QG3PacketType& pattern, QG3List<DBObjectProxy*>& found);
    // The one packet matching the pattern read afresh, owned by the caller (QG3PacketDB::
    // readPacket), under the lock; KV_QG3_NO_OBJECT before the container is open.
    KVStatus readPacket(const QG3PacketType& pattern, std::unique_ptr<QG3Packet>& packet);
    // Whether a packet with exactly these type, keys and image number is listed; false before
    // the container is open. The list does not change once open: no lock is taken.
    bool hasPacket(std::uint32_t packetType, std::uint32_t keyA, std::uint32_t keyB,
                   std::uint32_t imageNumber) const;

    // Null before the container is open.
    const std::vector<QG3ImageDesc>* getImageDescriptors() const { return images_.get(); }
    // KV_QG3_NOT_FOUND when the file has no such image.
    KVStatus findImageDescriptor(std::uint32_t imageNumber, QG3ImageDesc& desc) const;
    QG3FileVersion getFileVersion() const;
    // QG3_NO_CONTENTS when the file has no contents packet.
    std::uint32_t getContentsId() const { return contentsId_; }
    // Null before the container is open.
    QG3MetadataSupport* getMetadataSupport() const { return metadata_.get(); }

protected:
    // Reads the database from wherever the container's bytes are.
    virtual KVStatus readDatabase();
    QG3PacketDB* getDatabase() const { return db_.get(); }

private:
    // Throws when out of memory.
    KVStatus listImages();

    std::unique_ptr<QG3PacketDB> db_;
    bool opened_ = false;
    std::unique_ptr<std::vector<QG3ImageDesc>> images_;
    // The same descriptors sorted by image number, so that finding one does not walk the list;
    // empty when the list itself is sorted (as a file written in image order has it).
    std::vector<QG3ImageDesc> imagesByNumber_;
    std::unique_ptr<CriticalSectionLock> lock_;
    std::unique_ptr<QG3MetadataSupport> metadata_;
    std::uint32_t contentsId_ = QG3_NO_CONTENTS;
};

} // namespace Korvel
