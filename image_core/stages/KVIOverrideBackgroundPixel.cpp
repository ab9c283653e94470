#include "stages/KVIOverrideBackgroundPixel.h"

#include "model/KVIPixel.h"
#include "support/KVStatusGuard.h"

namespace Korvel {

namespace {

KVStatus replaceWithCopy(std::unique_ptr<KVIPixel>& slot, const KVIPixel* pixel) {
    if (pixel == slot.get()) return KV_OK;
    slot.reset();
    if (pixel == nullptr) return KV_OK;
    return kvGuard([&] { slot = std::make_unique<KVIPixel>(*pixel); });
}

} // namespace

KVIOverrideBackgroundPixelData::KVIOverrideBackgroundPixelData() = default;
KVIOverrideBackgroundPixelData::~KVIOverrideBackgroundPixelData() = default;

KVStatus KVIOverrideBackgroundPixelData::storeBackgroundPixel(const KVIPixel* pixel) {
    return replaceWithCopy(background_, pixel);
}

KVStatus KVIOverrideBackgroundPixelData::storeNoDataPixel(const KVIPixel* pixel) {
    return replaceWithCopy(noData_, pixel);
}

} // namespace Korvel
