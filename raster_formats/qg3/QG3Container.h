#pragma once
// A generation-3/4 raster file seen as its packet database: the images it holds, its contents
// identifier, and access to its packets and metadata. Every search of the database holds the
// container's lock, so that the image sources of one container may search from several threads.

#include "CriticalSectionLock.h"
#include "QG3FileHeader.h"
#include "QG3ImageDesc.h"
#include "QG3List.h"

#include <cstdint>
#include <memory>
#include <unordered_map>

namespace Korvel {

class DBObjectProxy;
class QG3MetadataSupport;
class QG3Packet;
class QG3PacketDB;
class QG3PacketType;

inline constexpr std::uint32_t QG3_NO_CONTENTS = 0xFFFFFFFF;

class QG3Container {
public:
    QG3Container();
    QG3Container(const QG3Container&) = delete;
    QG3Container& operator=(const QG3Container&) = delete;
    virtual ~QG3Container();

    // Reads the database and lists its images, once: a second call gives 2010.
    virtual KVStatus open();

    // The database's search, under the lock; 2010 before the container is open.
    KVStatus findPacket(const QG3PacketType& pattern, QG3Packet*& packet);
    KVStatus findAll(const QG3PacketType& pattern, QG3List<DBObjectProxy*>& found);

    // Null before the container is open.
    const QG3List<QG3ImageDesc>* getImageDescriptors() const { return images_.get(); }
    // 2009 when the file has no such image.
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
    KVStatus listImages();

    std::unique_ptr<QG3PacketDB> db_;
    bool opened_ = false;
    std::unique_ptr<QG3List<QG3ImageDesc>> images_;
    // The descriptors by image number, so that finding one does not walk a long list.
    std::unordered_map<std::uint32_t, QG3ImageDesc> imagesByNumber_;
    std::unique_ptr<CriticalSectionLock> lock_;
    std::unique_ptr<QG3MetadataSupport> metadata_;
    std::uint32_t contentsId_ = QG3_NO_CONTENTS;
};

} // namespace Korvel
