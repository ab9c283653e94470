#include "stages/KVIOverridePixelLookupTables.h"

#include "model/KVIPixelLookupTable.h"
#include "support/KVStatusGuard.h"

namespace Korvel {

KVIOverridePixelLookupTablesData::KVIOverridePixelLookupTablesData() = default;
KVIOverridePixelLookupTablesData::~KVIOverridePixelLookupTablesData() = default;

KVStatus KVIOverridePixelLookupTablesData::storeLookupTable(const KVIPixelLookupTable* table) {
    if (table == table_.get()) return KV_OK;
    table_.reset();
    if (table == nullptr) return KV_OK;
    return kvGuard([&] { table_ = std::make_unique<KVIPixelLookupTable>(*table); });
}

} // namespace Korvel
