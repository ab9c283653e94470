#include "stages/KVIOverridePixelLookupTables.h"

#include "model/KVIPixelLookupTable.h"
#include "support/KVUtilException.h"

#include <new>

namespace Korvel {

KVIOverridePixelLookupTablesData::KVIOverridePixelLookupTablesData() = default;
KVIOverridePixelLookupTablesData::~KVIOverridePixelLookupTablesData() = default;

KVStatus KVIOverridePixelLookupTablesData::storeLookupTable(const KVIPixelLookupTable* table) {
    if (table == table_.get()) return KV_OK;
    table_.reset();
    if (table == nullptr) return KV_OK;
    try {
        table_ = std::make_unique<KVIPixelLookupTable>(*table);
        return KV_OK;
    } catch (const KVUtilException& e) {
        return e.getStatus();
    } catch (const std::bad_alloc&) {
        return KV_OUT_OF_MEMORY;
    }
}

} // namespace Korvel
