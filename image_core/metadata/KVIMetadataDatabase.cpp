#include "metadata/KVIMetadataDatabase.h"

#include "support/KVStatusGuard.h"
#include "support/KVUtilException.h"

#include <algorithm>

namespace Korvel {

KVIMetadataDatabase::KVIMetadataDatabase(const KVIMetadataDatabase& other) {
    const KVStatus status = merge(other);
    if (status != KV_OK) throw KVUtilException(status);
}

KVIMetadataDatabase::~KVIMetadataDatabase() {
    removeAll();
}

const KVIMetadataRecord* KVIMetadataDatabase::find(const char* name) const {
    if (name == nullptr) return nullptr;
    const auto it = byName_.find(name);
    return it != byName_.end() ? it->second : nullptr;
}

KVStatus KVIMetadataDatabase::getByIndex(std::uint32_t index,
                                         const KVIMetadataRecord*& record) const {
    if (index >= records_.size()) return KV_METADATA_NOT_FOUND;
    record = records_[index].get();
    return KV_OK;
}

KVStatus KVIMetadataDatabase::get(const char* name, const KVIMetadataRecord*& record) const {
    const KVIMetadataRecord* found = find(name);
    if (found == nullptr) return KV_METADATA_NOT_FOUND;
    record = found;
    return KV_OK;
}

KVStatus KVIMetadataDatabase::get(std::uint32_t tag, const KVIMetadataRecord*& record) const {
    return get(getTagName(tag), record);
}

bool KVIMetadataDatabase::has(const char* name) const {
    return find(name) != nullptr;
}

bool KVIMetadataDatabase::has(std::uint32_t tag) const {
    return has(getTagName(tag));
}

KVStatus KVIMetadataDatabase::add(const KVIMetadataRecord& record) {
    if (has(record.getName())) return KV_METADATA_EXISTS;
    KV_RETURN_IF_FAILED(
        kvGuard([&] { records_.push_back(std::make_unique<KVIMetadataRecord>(record)); }));
    const KVIMetadataRecord* added = records_.back().get();
    const KVStatus status = kvGuard([&] { byName_.emplace(added->getName(), added); });
    if (status != KV_OK) records_.pop_back();
    return status;
}

KVStatus KVIMetadataDatabase::remove(const char* name) {
    const KVIMetadataRecord* found = find(name);
    if (found == nullptr) return KV_METADATA_NOT_FOUND;
    byName_.erase(found->getName());
    records_.erase(std::find_if(records_.begin(), records_.end(),
                                [found](const auto& record) { return record.get() == found; }));
    return KV_OK;
}

KVStatus KVIMetadataDatabase::remove(std::uint32_t tag) {
    return remove(getTagName(tag));
}

KVStatus KVIMetadataDatabase::removeAll() {
    byName_.clear();
    // Last to first.
    while (!records_.empty())
        records_.pop_back();
    return KV_OK;
}

KVStatus KVIMetadataDatabase::merge(const KVIMetadataDatabase& other) {
    for (const auto& record : other.records_) {
        if (record == nullptr) return KV_METADATA_EMPTY_SLOT;
        if (has(record->getName())) return KV_METADATA_EXISTS;
    }
    // Copy and index everything before touching this list, so a failure adds nothing.
    std::vector<std::unique_ptr<KVIMetadataRecord>> copies;
    std::size_t indexed = 0;
    const KVStatus status = kvGuard([&] {
        copies.reserve(other.records_.size());
        for (const auto& record : other.records_)
            copies.push_back(std::make_unique<KVIMetadataRecord>(*record));
        records_.reserve(records_.size() + copies.size());
        for (const auto& copy : copies) {
            byName_.emplace(copy->getName(), copy.get());
            ++indexed;
        }
    });
    if (status != KV_OK) {
        // A failed copy has indexed nothing yet; a failed indexing takes back what it indexed.
        for (std::size_t i = 0; i < indexed; ++i)
            byName_.erase(copies[i]->getName());
        return status;
    }
    for (auto& copy : copies)
        records_.push_back(std::move(copy));
    return KV_OK;
}

} // namespace Korvel
