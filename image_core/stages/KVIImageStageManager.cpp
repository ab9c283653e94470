#include "stages/KVIImageStageManager.h"

#include "stages/KVIImageStage.h"
#include "support/KVIRef.h"

namespace Korvel {

namespace {

class ResolvingGuard {
public:
    explicit ResolvingGuard(bool& flag) : flag_(flag) { flag_ = true; }
    ~ResolvingGuard() { flag_ = false; }
    ResolvingGuard(const ResolvingGuard&) = delete;
    ResolvingGuard& operator=(const ResolvingGuard&) = delete;

private:
    bool& flag_;
};

} // namespace

KVIImageStageManager::~KVIImageStageManager() = default;

KVIImageStage* KVIImageStageManager::getImageStage(std::uint32_t index) {
    if (resolving_) return nullptr;
    const ResolvingGuard guard(resolving_);
    KVIImageStage* stage = nullptr;
    const KVStatus status = getImageStage(index, stage);
    KVIRef<KVIImageStage> held(stage);
    return status == KV_OK ? held.release() : nullptr;
}

KVStatus KVIImageStageManager::getImageStage(std::uint32_t index, KVIImageStage*& stage) {
    stage = nullptr;
    if (resolving_) return KV_FAILURE;
    const ResolvingGuard guard(resolving_);
    stage = getImageStage(index);
    return stage != nullptr ? KV_OK : KV_FAILURE;
}

KVStatus KVIImageStageManager::getOverviewImageStage(KVIImageStage*& stage) {
    stage = nullptr;
    return KV_OK;
}

void KVIImageStageManager::setNumImages(std::uint32_t numImages) {
    numImages_ = numImages;
}

} // namespace Korvel
