#include "stages/KVIOverrideMetadata.h"

#include "support/KVStatusGuard.h"

namespace Korvel {

const KVIMetadataDatabase& KVIOverrideMetadataData::emptyMetadata() {
    static const KVIMetadataDatabase empty;
    return empty;
}

KVIOverrideMetadataData::KVIOverrideMetadataData() = default;
KVIOverrideMetadataData::~KVIOverrideMetadataData() = default;

const KVIMetadataDatabase& KVIOverrideMetadataData::heldMetadata() const {
    return metadata_ ? *metadata_ : emptyMetadata();
}

KVStatus KVIOverrideMetadataData::storeMetadata(const KVIMetadataDatabase* metadata) {
    // Replacing the held database by itself keeps it.
    if (metadata != nullptr && metadata_ && metadata == &*metadata_) return KV_OK;
    // Emptying and merging report by status and throw nothing.
    if (metadata_) {
        metadata_->removeAll();
        return metadata != nullptr ? metadata_->merge(*metadata) : KV_OK;
    }
    const KVStatus status = kvGuard([&] {
        if (metadata != nullptr)
            metadata_.emplace(*metadata);
        else
            metadata_.emplace();
    });
    if (status != KV_OK) metadata_.reset();
    return status;
}

} // namespace Korvel
