#include "QuarnImageReader.h"

#include "KVIMetadataAccessor.h"
#include "QuarnImageStageManager.h"
#include "QuarnRasterStatus.h"

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
    // The image's reader reads through the manager's container: it goes first.
    releasePreviousStage();
    single_.reset();
    manager_.reset();
    numLevels_ = 0;
}

KVStatus QuarnImageReader::initialize(KVIOStreamInf* stream, KVIOStreamInf* worldFile,
                                      std::uint32_t memoryUsage, std::uint32_t streamUsage) {
    releaseAll();
    manager_.reset(QuarnImageStageManager::create());
    if (!manager_) return KV_OUT_OF_MEMORY;
    KVStatus status = manager_->open(stream, memoryUsage, streamUsage);
    if (status == KV_OK) {
        memoryUsage_ = manager_->getMemoryUsage();
        streamUsage_ = streamUsage;
        KVIImageStage* stage = nullptr;
        if (manager_->getNumImages() > 1)
            status = KV_QRN_MULTI_IMAGE_UNSUPPORTED;
        else
            status = manager_->getImageStage(0, stage);
        single_.reset(stage);
    }
    if (status == KV_OK) status = setPreviousStage(single_.get());
    if (status == KV_OK) status = single_->setStripHeight(kStripHeight);
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

std::uint8_t QuarnImageReader::getNumLevels() const {
    return numLevels_;
}

void QuarnImageReader::getVersion(std::uint8_t& b0, std::uint8_t& b1, std::uint8_t& b2,
                                  std::uint8_t& b3) const {
    if (manager_ != nullptr) manager_->getVersion(b0, b1, b2, b3);
}

std::int64_t QuarnImageReader::getSceneCost(const KVIScene& scene) {
    return single_ != nullptr ? single_->getSceneCost(scene) : 0;
}

std::uint32_t QuarnImageReader::getModifications(const KVIScene& scene) {
    return single_ != nullptr ? single_->getModifications(scene) : KVI_MOD_UNKNOWN;
}

} // namespace Korvel
