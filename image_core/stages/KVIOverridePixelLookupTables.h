#pragma once
// Mix-in: the stage holds its own pixel lookup table.

#include "support/KVStatus.h"

#include <memory>

namespace Korvel {

class KVIPixelLookupTable;

class KVIOverridePixelLookupTablesData {
protected:
    KVIOverridePixelLookupTablesData();
    ~KVIOverridePixelLookupTablesData();

    const KVIPixelLookupTable* heldLookupTable() const { return table_.get(); }
    // A copy of the table, or none for null.
    KVStatus storeLookupTable(const KVIPixelLookupTable* table);

private:
    std::unique_ptr<KVIPixelLookupTable> table_;
};

template <class Base>
class KVIOverridePixelLookupTables : public Base, protected KVIOverridePixelLookupTablesData {
public:
    using Base::Base;

    const KVIPixelLookupTable* getPixelLookupTable() const override { return heldLookupTable(); }
    KVStatus setPixelLookupTable(const KVIPixelLookupTable* table) override {
        return storeLookupTable(table);
    }

protected:
    ~KVIOverridePixelLookupTables() override = default;
};

} // namespace Korvel
