#pragma once
// Mix-in: the stage holds its own metadata database.

#include "metadata/KVIMetadataDatabase.h"
#include "support/KVStatus.h"

#include <optional>

namespace Korvel {

class KVIOverrideMetadataData {
public:
    // The database of an image that has none.
    static const KVIMetadataDatabase& emptyMetadata();

protected:
    KVIOverrideMetadataData();
    ~KVIOverrideMetadataData();

    const KVIMetadataDatabase& heldMetadata() const;
    // The held database, for the owner to fill; null while none is held.
    KVIMetadataDatabase* getMutableMetadata() { return metadata_ ? &*metadata_ : nullptr; }
    // With a database held: its records are replaced by the argument's (none for null). Else the
    // held database becomes a copy of the argument, or an empty one.
    KVStatus storeMetadata(const KVIMetadataDatabase* metadata);

private:
    // Held by value: an empty database allocates nothing.
    std::optional<KVIMetadataDatabase> metadata_;
};

template <class Base> class KVIOverrideMetadata : public Base, protected KVIOverrideMetadataData {
public:
    using Base::Base;

    const KVIMetadataDatabase& getMetadata() const override { return heldMetadata(); }
    KVStatus setMetadata(const KVIMetadataDatabase* metadata) override {
        return storeMetadata(metadata);
    }

protected:
    ~KVIOverrideMetadata() override = default;
};

} // namespace Korvel
