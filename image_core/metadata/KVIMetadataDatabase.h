#pragma once
// An ordered list of metadata records with unique names, kept in the order they were added.
// Records are addressed by name or by tag number (through the tag's name); an index by name
// keeps lookups and additions from walking the list, whatever number of records a file holds.

#include "metadata/KVIMetadataRecord.h"
#include "metadata/KVIMetadataTag.h"
#include "support/KVStatus.h"

#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace Korvel {

class KVIMetadataDatabase {
public:
    KVIMetadataDatabase() = default;
    // Holds copies of all the other's records; throws KVUtilException with KV_OUT_OF_MEMORY.
    KVIMetadataDatabase(const KVIMetadataDatabase& other);
    KVIMetadataDatabase& operator=(const KVIMetadataDatabase&) = delete;
    virtual ~KVIMetadataDatabase();

    std::uint32_t getCount() const { return static_cast<std::uint32_t>(records_.size()); }
    // KV_METADATA_NOT_FOUND past the end.
    KVStatus getByIndex(std::uint32_t index, const KVIMetadataRecord*& record) const;
    // Exact, case-sensitive name match; KV_METADATA_NOT_FOUND when absent.
    KVStatus get(const char* name, const KVIMetadataRecord*& record) const;
    KVStatus get(std::uint32_t tag, const KVIMetadataRecord*& record) const;
    bool has(const char* name) const;
    bool has(std::uint32_t tag) const;

    // Appends a copy; KV_METADATA_EXISTS when the name is taken.
    KVStatus add(const KVIMetadataRecord& record);
    // KV_METADATA_NOT_FOUND when absent; the others keep their order.
    KVStatus remove(const char* name);
    KVStatus remove(std::uint32_t tag);
    KVStatus removeAll();
    // Adds copies of all the other's records, or none of them when any name is taken here.
    KVStatus merge(const KVIMetadataDatabase& other);

private:
    // The record of the name, or null.
    const KVIMetadataRecord* find(const char* name) const;

    std::vector<std::unique_ptr<KVIMetadataRecord>> records_;
    // Every record by its name (a view of the record's own name).
    std::unordered_map<std::string_view, const KVIMetadataRecord*> byName_;
};

} // namespace Korvel
