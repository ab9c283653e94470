#include "qg3/planes/QG3FileSimplePlaneSource.h"

#include "qg3/container/QG3FileSimpleContainer.h"
#include "qg3/container/QG3FileSimpleImageSource.h"
#include "qg3/container/QG3ImageInfo.h"
#include "qg3/container/QG3PlanesetPacket.h"
#include "qg3/container/QG3Status.h"
#include "qg3/planes/QG3EstimateMemory.h"
#include "qg3/planes/QG3FilePlaneStoreClient.h"
#include "qg3/planes/QG3PlaneDescIter.h"
#include "qg3/planes/QG3PlaneReaderFactory.h"
#include "support/KVStatusGuard.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace Korvel {

namespace {

constexpr std::uint64_t kFixedBytes = 11814;

// The model a "KV_QG3_MEMORY_MODEL" value names, or `given` when it names none. Each name is
// compared over its first few letters, case-sensitively, so "partia..." is partial.
std::uint32_t modelFromEnvironment(const char* value, std::uint32_t given) {
    if (value == nullptr) return given;
    if (std::strncmp(value, "partial", 6) == 0) return QG3_MEMORY_MODEL_PARTIAL;
    if (std::strncmp(value, "full", 4) == 0) return QG3_MEMORY_MODEL_FULL;
    if (std::strncmp(value, "default", 7) == 0) return QG3_MEMORY_MODEL_AUTOMATIC;
    return given;
}

// The estimate truncated to 64 bits and the fixed part added, both held at the largest value.
std::uint64_t estimateBytes(double estimate) {
    constexpr double kLimit = 18446744073709551616.0; // 2^64
    const std::uint64_t whole = !(estimate > 0.0)    ? 0
                                : estimate >= kLimit ? std::numeric_limits<std::uint64_t>::max()
                                                     : static_cast<std::uint64_t>(estimate);
    return whole > std::numeric_limits<std::uint64_t>::max() - kFixedBytes
               ? std::numeric_limits<std::uint64_t>::max()
               : whole + kFixedBytes;
}

} // namespace

QG3FileSimplePlaneSource::QG3FileSimplePlaneSource(QG3FileSimpleImageSource& imageSource,
                                                   std::uint32_t memoryModel)
    : QG3PlaneSource(imageSource), memoryModel_(memoryModel) {}

QG3FileSimplePlaneSource::~QG3FileSimplePlaneSource() = default;

QG3FileSimpleImageSource& QG3FileSimplePlaneSource::fileSource() const {
    return static_cast<QG3FileSimpleImageSource&>(imageSource_);
}

QG3FileSimpleContainer& QG3FileSimplePlaneSource::getFileContainer() const {
    return *fileSource().getFileContainer();
}

KVStatus QG3FileSimplePlaneSource::initialize() {
    QG3FileSimpleContainer& container = getFileContainer();
    KV_RETURN_IF_FAILED(container.openStream());
    const KVStatus status = QG3PlaneSource::initialize();
    const KVStatus closed = container.closeStream();
    KV_RETURN_IF_FAILED(status);
    KV_RETURN_IF_FAILED(closed);

    std::unique_ptr<KVIOStreamInf> stream(container.duplicateStream());
    if (!stream) return KV_QG3_SEEK_FAILED;
    KV_RETURN_IF_FAILED(chooseMemoryModel());

    store_.reset();
    KV_RETURN_IF_FAILED(
        kvGuard([&] { store_ = std::make_unique<QG3FilePlaneStore>(*info_, memoryModel_); },
                KV_QG3_OUT_OF_MEMORY));
    QG3FilePlaneStore* store = getFilePlaneStore();
    // The scan reads without windows; the reader owns the duplicate and deletes it with itself.
    const QG3PlaneReaderOptions options =
        planeReaderOptions(*info_, *planeset_, container.isKeepOpen(), false, true);
    std::unique_ptr<QG3FilePlaneReader> reader =
        createPlaneReader(*info_, *planeset_, stream.get(), options);
    if (!reader)
        return planeset_->planesetLayout == QG3_LAYOUT_INTERLEAVED ||
                       planeset_->planesetLayout == QG3_LAYOUT_DATA_FIRST ||
                       planeset_->planesetLayout == QG3_LAYOUT_RASTER_BLOCKS
                   ? KV_QG3_OUT_OF_MEMORY
                   : KV_QG3_BAD_FORMAT;
    stream.release();
    return store->initialize(*reader);
}

KVStatus QG3FileSimplePlaneSource::chooseMemoryModel() {
    memoryModel_ = modelFromEnvironment(std::getenv("KV_QG3_MEMORY_MODEL"), memoryModel_);
    if (planeset_ == nullptr) return KV_QG3_NO_OBJECT;
    if (memoryModel_ == QG3_MEMORY_MODEL_AUTOMATIC) {
        const QG3ImageInfo* info = fileSource().getImageInfo();
        if (info == nullptr) return KV_QG3_NO_OBJECT;
        memoryModel_ =
            estimateBytes(estimateImageMemory(*info, *planeset_)) < QG3_PARTIAL_MODEL_THRESHOLD
                ? QG3_MEMORY_MODEL_FULL
                : QG3_MEMORY_MODEL_PARTIAL;
    }
    // The partial table finds subblocks by scanning forward through a data-first planeset in
    // pipe order; anything else is held in full.
    if (memoryModel_ == QG3_MEMORY_MODEL_PARTIAL &&
        !(planeset_->planesetKind == QG3_PLANESET_PIPE &&
          planeset_->planesetLayout == QG3_LAYOUT_DATA_FIRST && planeset_->getFlag1() == 0))
        memoryModel_ = QG3_MEMORY_MODEL_FULL;
    return KV_OK;
}

std::unique_ptr<QG3PlaneStoreClient> QG3FileSimplePlaneSource::createPlaneStoreClient() {
    return createFilePlaneStoreClient();
}

std::unique_ptr<QG3FilePlaneStoreClient> QG3FileSimplePlaneSource::createFilePlaneStoreClient() {
    QG3FilePlaneStore* store = getFilePlaneStore();
    if (store == nullptr || !info_ || planeset_ == nullptr) return nullptr;
    std::unique_ptr<KVIOStreamInf> stream(getFileContainer().duplicateStream());
    if (!stream) return nullptr;
    const bool buffered = std::getenv("QG3_USE_STREAM_BUFFERS") != nullptr;
    const QG3PlaneReaderOptions options =
        planeReaderOptions(*info_, *planeset_, getFileContainer().isKeepOpen(), buffered, true);
    std::unique_ptr<QG3FilePlaneReader> reader =
        createPlaneReader(*info_, *planeset_, stream.get(), options);
    if (!reader) return nullptr;
    stream.release();
    return std::unique_ptr<QG3FilePlaneStoreClient>(
        new (std::nothrow) QG3FilePlaneStoreClient(*store, std::move(reader)));
}

} // namespace Korvel
