#include "QuarnImageReader.h"

#include "QuarnImageStageManager.h"
#include "buffers/KVIMergeMask.h"
#include "filters/KVIMosaicFilter.h"
#include "metadata/KVIMetadataAccessor.h"
#include "support/KVStatusGuard.h"

#include <mutex>
#include <new>

namespace Korvel {

namespace {

constexpr std::uint32_t kStripHeight = 64;

} // namespace

QuarnImageReader* QuarnImageReader::create() {
    return new (std::nothrow) QuarnImageReader();
}

QuarnImageReader::~QuarnImageReader() {
    releaseAll();
}

void QuarnImageReader::releaseAll() {
    // The images' readers read through the manager's container: they go first (the mosaic holds
    // a reference of its own on the manager).
    releasePreviousStage();
    single_.reset();
    mosaic_.reset();
    manager_.reset();
    numLevels_ = 0;
}

KVStatus QuarnImageReader::initialize(KVIOStreamInf* stream, KVIOStreamInf* worldFile,
                                      std::uint32_t memoryUsage, std::uint32_t streamUsage) {
    releaseAll();
    manager_.reset(QuarnImageStageManager::create());
    if (!manager_) return KV_OUT_OF_MEMORY;
    KVStatus status = manager_->open(stream, memoryUsage, streamUsage);
    KVIImageStage* wrapped = nullptr;
    if (status == KV_OK) {
        memoryUsage_ = manager_->getMemoryUsage();
        streamUsage_ = streamUsage;
        if (manager_->getNumImages() > 1) {
            status = openMosaic();
            wrapped = mosaic_.get();
        } else {
            KVIImageStage* stage = nullptr;
            status = manager_->getImageStage(0, stage);
            single_.reset(stage);
            wrapped = single_.get();
        }
    }
    if (status == KV_OK) status = setPreviousStage(wrapped);
    if (status == KV_OK) status = wrapped->setStripHeight(kStripHeight);
    if (status != KV_OK) {
        releaseAll();
        return status;
    }
    numLevels_ = manager_->getMaxNumLevels();

    if (worldFile != nullptr) {
        KVIGeoCoord geo = getGeoCoord();
        if (geo.readWorldFile(worldFile) == KV_OK) setGeoCoord(geo);
    }
    return KV_OK;
}

KVStatus QuarnImageReader::openMosaic() {
    mosaic_.reset(KVIMosaicFilter::create());
    if (!mosaic_) return KV_OUT_OF_MEMORY;
    mosaic_->setReleaseUnusedImages(true);
    KV_RETURN_IF_FAILED(mosaic_->initialize(manager_.get(), nullptr, true));
    mosaic_->setMergeMode(KVI_MERGE_TOLERANT);
    return KV_OK;
}

std::uint8_t QuarnImageReader::getNumLevels() const {
    return numLevels_;
}

void QuarnImageReader::getVersion(std::uint8_t& b0, std::uint8_t& b1, std::uint8_t& b2,
                                  std::uint8_t& b3) const {
    if (manager_ != nullptr) manager_->getVersion(b0, b1, b2, b3);
}

std::int64_t QuarnImageReader::getSceneCost(const KVIScene& scene) {
    const std::lock_guard<std::mutex> lock(readMutex());
    if (single_ != nullptr) return single_->getSceneCost(scene);
    return mosaic_ != nullptr ? mosaic_->getSceneCost(scene) : 0;
}

std::uint32_t QuarnImageReader::getModifications(const KVIScene& scene) {
    const std::lock_guard<std::mutex> lock(readMutex());
    if (single_ != nullptr) return single_->getModifications(scene);
    return mosaic_ != nullptr ? mosaic_->getModifications(scene) : KVI_MOD_UNKNOWN;
}

} // namespace Korvel
