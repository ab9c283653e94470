#include "KVIMetadataDatabase.h"

#include "KVUtilException.h"

#include <cstring>
#include <new>

namespace Korvel {

KVIMetadataDatabase::KVIMetadataDatabase(const KVIMetadataDatabase& other) {
    const KVStatus status = merge(other);
    if (status != KV_OK) throw KVUtilException(status);
}

KVIMetadataDatabase::~KVIMetadataDatabase() {
    removeAll();
}

std::vector<std::unique_ptr<KVIMetadataRecord>>::const_iterator
KVIMetadataDatabase::find(const char* name) const {
    if (name == nullptr) return records_.end();
    for (auto it = records_.begin(); it != records_.end(); ++it)
        if (*it != nullptr && std::strcmp((*it)->getName(), name) == 0) return it;
    return records_.end();
}

KVStatus KVIMetadataDatabase::getByIndex(std::uint32_t index,
                                         const KVIMetadataRecord*& record) const {
    if (index >= records_.size()) return KV_METADATA_NOT_FOUND;
    record = records_[index].get();
    return KV_OK;
}

KVStatus KVIMetadataDatabase::get(const char* name, const KVIMetadataRecord*& record) const {
    const auto it = find(name);
    if (it == records_.end()) return KV_METADATA_NOT_FOUND;
    record = it->get();
    return KV_OK;
}

KVStatus KVIMetadataDatabase::get(std::uint32_t tag, const KVIMetadataRecord*& record) const {
    return get(getTagName(tag), record);
}

bool KVIMetadataDatabase::has(const char* name) const {
    return find(name) != records_.end();
}

bool KVIMetadataDatabase::has(std::uint32_t tag) const {
    return has(getTagName(tag));
}

KVStatus KVIMetadataDatabase::add(const KVIMetadataRecord& record) {
    if (has(record.getName())) return KV_METADATA_EXISTS;
    try {
        records_.push_back(std::make_unique<KVIMetadataRecord>(record));
    } catch (const std::bad_alloc&) {
        return KV_OUT_OF_MEMORY;
    } catch (const KVUtilException& e) {
        return e.getStatus();
    }
    return KV_OK;
}

KVStatus KVIMetadataDatabase::remove(const char* name) {
    const auto it = find(name);
    if (it == records_.end()) return KV_METADATA_NOT_FOUND;
    records_.erase(it);
    return KV_OK;
}

KVStatus KVIMetadataDatabase::remove(std::uint32_t tag) {
    return remove(getTagName(tag));
}

KVStatus KVIMetadataDatabase::removeAll() {
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
    // Copy everything before touching this list, so a failure adds nothing.
    std::vector<std::unique_ptr<KVIMetadataRecord>> copies;
    try {
        copies.reserve(other.records_.size());
        for (const auto& record : other.records_)
            copies.push_back(std::make_unique<KVIMetadataRecord>(*record));
        records_.reserve(records_.size() + copies.size());
    } catch (const std::bad_alloc&) {
        return KV_OUT_OF_MEMORY;
    } catch (const KVUtilException& e) {
        return e.getStatus();
    }
    for (auto& copy : copies)
        records_.push_back(std::move(copy));
    return KV_OK;
}

} // namespace Korvel
