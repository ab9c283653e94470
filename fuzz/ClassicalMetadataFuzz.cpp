// Fuzz target: the classical metadata reader on arbitrary bytes, read from a memory stream into
// a database, and every record it stored.

#include "FuzzRasterSupport.h"
#include "metadata/KVIMetadataClassicalReader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto stream = quarn_fuzz::memoryStream(data, size);
    if (!stream) return 0;
    Korvel::KVIMetadataDatabase database;
    Korvel::KVIMetadataClassicalReader reader(database, stream.get());
    reader.read();
    quarn_fuzz::inspectMetadata(database);
    // A copy of what was read must hold the same records.
    const Korvel::KVIMetadataDatabase copy(database);
    quarn_fuzz::inspectMetadata(copy);
    return 0;
}
