#include "stages/KVIOverrideMetadata.h"

#include "support/KVUtilException.h"

#include <new>

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
    try {
        if (metadata_) {
            metadata_->removeAll();
            return metadata != nullptr ? metadata_->merge(*metadata) : KV_OK;
        }
        if (metadata != nullptr)
            metadata_.emplace(*metadata);
        else
            metadata_.emplace();
        return KV_OK;
    } catch (const KVUtilException& e) {
        metadata_.reset();
        return e.getStatus();
    } catch (const std::bad_alloc&) {
        metadata_.reset();
        return KV_OUT_OF_MEMORY;
    }
}

} // namespace Korvel
