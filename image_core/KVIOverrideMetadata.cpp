#include "KVIOverrideMetadata.h"

#include "KVIMetadataDatabase.h"
#include "KVUtilException.h"

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
    if (metadata != nullptr && metadata == metadata_.get()) return KV_OK;
    try {
        if (metadata_) {
            metadata_->removeAll();
            return metadata != nullptr ? metadata_->merge(*metadata) : KV_OK;
        }
        metadata_ = metadata != nullptr ? std::make_unique<KVIMetadataDatabase>(*metadata)
                                        : std::make_unique<KVIMetadataDatabase>();
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
