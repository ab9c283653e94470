#pragma once
// Reads a classical metadata block, the self-describing big-endian block in which Quarn files
// carry their named metadata values, from a stream's current position into a database.
//
// Block: u16 first header word (at most 1 as a signed value), u16 second word (unused), then
// records until "IMAGE::EOM" or an empty name. Record: u32 tag (unused), zero-terminated name,
// u32 type code, u32 count, u32 number of dimensions (0..10), u32 per dimension, count elements
// (texts as count zero-terminated strings). "IMAGE::SOM" and "IMAGE::EOM" are not stored; a
// record of a name already in the database replaces it.

#include "metadata/KVIMetadataReader.h"
#include "streams/KVIOStreamInf.h"

#include <cstdint>

namespace Korvel {

class KVIMetadataClassicalReader : public KVIMetadataReader {
public:
    // Owns neither the database nor the stream.
    KVIMetadataClassicalReader(KVIMetadataDatabase& database, KVIOStreamInf* stream)
        : KVIMetadataReader(database), stream_(stream) {}
    ~KVIMetadataClassicalReader() override;

    // 0 when the block ends at "IMAGE::EOM" or an empty name; KV_CLASSICAL_METADATA_SHORT for a
    // short read or an invalid field; otherwise the first failing status of the database (or
    // KV_OUT_OF_MEMORY). Records read before a failure stay in the database.
    KVStatus read() override;

    // The record data type of a block type code; 0 for a code outside the table.
    static std::uint32_t recordTypeOf(std::uint32_t blockCode);
    // Dimensions above this are invalid.
    static constexpr std::uint32_t kMaxDimensions = 10;

private:
    KVIOStreamInf* stream_;
};

} // namespace Korvel
