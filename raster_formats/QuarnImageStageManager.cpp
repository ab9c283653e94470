#include "QuarnImageStageManager.h"

#include "QG2ImageReader.h"
#include "QG3SingleImageReader.h"
#include "QG4SingleImageReader.h"
#include "QuarnRasterStatus.h"
#include "qg3/container/QG3FileHeader.h"
#include "qg3/container/QG3FileSimpleContainer.h"
#include "qg3/planes/QG3EstimateMemory.h"
#include "streams/KVIOStreamUtils.h"
#include "support/KVIRef.h"
#include "support/KVStatusGuard.h"
#include "support/KVUtilException.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace Korvel {

namespace {

constexpr std::uint32_t kHeaderSize = 8;
// Automatic memory usage turns partial when the images together need this many bytes or more.
constexpr std::uint64_t kPartialMemoryThreshold = 0x10000001;

// The one way a single-image reader is made: created, initialised by the caller's step, and
// handed over only when that succeeds (released otherwise).
template <class Reader, class Initialize>
KVStatus makeReader(QuarnSingleImageReaderBase*& reader, Initialize&& initialize) {
    reader = nullptr;
    KVIRef<Reader> made(Reader::create());
    if (!made) return KV_OUT_OF_MEMORY;
    KV_RETURN_IF_FAILED(initialize(*made));
    reader = made.release();
    return KV_OK;
}

} // namespace

QuarnImageStageManager* QuarnImageStageManager::create() {
    return new (std::nothrow) QuarnImageStageManager();
}

QuarnImageStageManager::QuarnImageStageManager() = default;

QuarnImageStageManager::~QuarnImageStageManager() = default;

KVStatus QuarnImageStageManager::open(KVIOStreamInf* stream, std::uint32_t memoryUsage,
                                      std::uint32_t streamUsage) {
    if (stream == nullptr) return KV_BAD_ARGUMENT;
    container_.reset();
    entries_.clear();
    extra_.reset();
    setNumImages(0);
    return kvGuard([&] {
        KV_RETURN_IF_FAILED(stream->seek(0, KVIO_SEEK_SET));
        std::uint8_t header[kHeaderSize];
        if (stream->read(header, kHeaderSize) != kHeaderSize) {
            // A stream that stopped short before its end names its own fault; one that
            // reported none still gives no file.
            if (!stream->isEOF()) KV_RETURN_IF_FAILED(stream->getLastError());
            return KV_QRN_NOT_QUARN_FILE;
        }
        KV_RETURN_IF_FAILED(stream->seek(0, KVIO_SEEK_SET));
        if (std::memcmp(header, "qrnd", 4) != 0) return KV_QRN_NOT_QUARN_FILE;
        std::memcpy(version_.data(), header + 4, 4);
        std::uint32_t generation = 0;
        bool raster = false;
        KV_RETURN_IF_FAILED(classifyFileHeader(header, generation, raster));
        if (!raster) return KV_QRN_POINT_CLOUD_FILE;

        stream_ = stream;
        memoryUsage_ = memoryUsage;
        streamUsage_ = streamUsage;
        if (generation != 2) KV_RETURN_IF_FAILED(openContainer());
        KV_RETURN_IF_FAILED(buildEntries());
        return finishOpen();
    });
}

KVStatus QuarnImageStageManager::openContainer() {
    std::unique_ptr<QG3FileSimpleContainer> container(
        new (std::nothrow) QG3FileSimpleContainer(stream_, streamUsage_ == QRN_STREAM_KEEP_OPEN));
    if (!container) return KV_OUT_OF_MEMORY;
    if (const KVStatus status = container->open(); status != KV_OK) return status;
    container_ = std::move(container);
    return KV_OK;
}

KVStatus QuarnImageStageManager::buildEntries() {
    if (!container_) {
        entries_.push_back({0, KIND_QG2, 0});
        setNumImages(1);
        return KV_OK;
    }
    const std::vector<QG3ImageDesc>* images = container_->getImageDescriptors();
    if (images == nullptr) return KV_QRN_UNKNOWN_READER_KIND;
    entries_.reserve(images->size());
    const std::uint32_t contentsId = container_->getContentsId();
    for (const QG3ImageDesc& desc : *images) {
        Entry entry{desc.imageNumber, 0, 0};
        switch (desc.readerKind) {
        case QG3_READER_GEN3:
            entry.kind = KIND_QG3;
            break;
        case QG3_READER_QG2:
            entry.kind = KIND_QG2;
            break;
        case QG3_READER_GEN4:
            entry.kind = KIND_QG4;
            break;
        default:
            return KV_QRN_UNKNOWN_READER_KIND;
        }
        // Without a contents packet no image is the extra one.
        if (contentsId != QG3_NO_CONTENTS && desc.imageNumber == contentsId && !extra_)
            extra_ = entry;
        else
            entries_.push_back(entry);
    }
    setNumImages(static_cast<std::uint32_t>(entries_.size()));
    return KV_OK;
}

KVStatus QuarnImageStageManager::finishOpen() {
    if (!container_) return KV_OK;
    KVStatus status = container_->openStream();
    if (status != KV_OK) return status;
    if (memoryUsage_ != QRN_MEMORY_AUTOMATIC) return container_->closeStream();

    std::uint64_t total = 0;
    for (const QG3ImageDesc& desc : *container_->getImageDescriptors()) {
        if (desc.readerKind == QG3_READER_QG2) continue;
        if (desc.readerKind != QG3_READER_GEN3 && desc.readerKind != QG3_READER_GEN4) {
            status = KV_QRN_UNKNOWN_READER_KIND;
            break;
        }
        std::uint64_t bytes = 0;
        if ((status = estimateMemory(container_.get(), desc.imageNumber, bytes)) != KV_OK) break;
        total = bytes > std::numeric_limits<std::uint64_t>::max() - total
                    ? std::numeric_limits<std::uint64_t>::max()
                    : total + bytes;
    }
    const KVStatus closed = container_->closeStream();
    if (status != KV_OK) return status;
    if (closed != KV_OK) return closed;
    if (total >= kPartialMemoryThreshold) memoryUsage_ = QRN_MEMORY_PARTIAL;
    return KV_OK;
}

KVStatus QuarnImageStageManager::getImageStage(std::uint32_t index, KVIImageStage*& stage) {
    stage = nullptr;
    if (index >= entries_.size()) return KV_BAD_ARGUMENT;
    return createReader(entries_[index], false, stage);
}

KVStatus QuarnImageStageManager::getOverviewImageStage(KVIImageStage*& stage) {
    stage = nullptr;
    if (!extra_) return KV_OK;
    return createReader(*extra_, true, stage);
}

KVStatus QuarnImageStageManager::createReader(Entry& entry, bool asQG4, KVIImageStage*& stage) {
    stage = nullptr;
    QuarnSingleImageReaderBase* reader = nullptr;
    KVStatus status = KV_QRN_UNKNOWN_READER_KIND;
    switch (asQG4 ? KIND_QG4 : entry.kind) {
    case KIND_QG2:
        status = createQG2Reader(entry.imageNumber, reader);
        break;
    case KIND_QG3:
        status = createQG3Reader(entry.imageNumber, reader);
        break;
    case KIND_QG4:
        status = createQG4Reader(entry.imageNumber, nullptr, 0, reader);
        break;
    default:
        break;
    }
    if (status != KV_OK) return status;
    entry.numLevels = reader->getNumLevels();
    stage = reader;
    return KV_OK;
}

KVStatus QuarnImageStageManager::createQG2Reader(std::uint32_t imageNumber,
                                                 QuarnSingleImageReaderBase*& reader) {
    return makeReader<QG2ImageReader>(reader, [&](QG2ImageReader& made) {
        if (!container_) return made.initialize(stream_, nullptr, memoryUsage_, streamUsage_);
        // The image's bytes inside the container, as a stream of their own that the reader
        // comes to own.
        KVIOStreamInf* range = nullptr;
        KV_RETURN_IF_FAILED(container_->getQG2ImageStream(imageNumber, range));
        const KVStatus status = made.initialize(range, nullptr, memoryUsage_, streamUsage_);
        if (status != KV_OK) {
            closeAndDelete(range);
            return status;
        }
        made.takeStreamOwnership();
        return KV_OK;
    });
}

KVStatus QuarnImageStageManager::createQG3Reader(std::uint32_t imageNumber,
                                                 QuarnSingleImageReaderBase*& reader) {
    return makeReader<QG3SingleImageReader>(reader, [&](QG3SingleImageReader& made) {
        return made.initialize(container_.get(), imageNumber, nullptr, memoryUsage_, streamUsage_);
    });
}

KVStatus QuarnImageStageManager::createQG4Reader(std::uint32_t imageNumber,
                                                 const std::uint16_t* bands,
                                                 std::uint32_t bandCount,
                                                 QuarnSingleImageReaderBase*& reader) {
    return makeReader<QG4SingleImageReader>(reader, [&](QG4SingleImageReader& made) {
        return made.initialize(container_.get(), imageNumber, bands, bandCount, nullptr,
                               memoryUsage_, streamUsage_);
    });
}

void QuarnImageStageManager::getVersion(std::uint8_t& b0, std::uint8_t& b1, std::uint8_t& b2,
                                        std::uint8_t& b3) const {
    b0 = version_[0];
    b1 = version_[1];
    b2 = version_[2];
    b3 = version_[3];
}

std::uint8_t QuarnImageStageManager::getMaxNumLevels() const {
    std::uint8_t levels = 0;
    for (const Entry& entry : entries_)
        levels = std::max(levels, entry.numLevels);
    return levels;
}

} // namespace Korvel
