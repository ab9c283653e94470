#pragma once
// Base of the readers that parse a foreign metadata block into a metadata database.

#include "support/KVStatus.h"

namespace Korvel {

class KVIMetadataDatabase;

class KVIMetadataReader {
public:
    // The database is not owned and must outlive the reader.
    explicit KVIMetadataReader(KVIMetadataDatabase& database) : database_(database) {}
    KVIMetadataReader(const KVIMetadataReader&) = delete;
    KVIMetadataReader& operator=(const KVIMetadataReader&) = delete;
    virtual ~KVIMetadataReader();

    // Parses the block into the database.
    virtual KVStatus read() = 0;

protected:
    KVIMetadataDatabase& database_;
};

} // namespace Korvel
