#pragma once
// The header of a stored object: what it is, how it is matched against a search pattern, and how
// it is read from and written to a stream in front of the object's body.

#include "streams/KVIOStreamInf.h"

#include <cstdint>

namespace Korvel {

// A body length that stands for "to the end of the stream".
inline constexpr std::uint64_t DB_LENGTH_TO_END = ~std::uint64_t(0);

// A header packed into a small fixed record, so that a database of many objects keeps one such
// record per object rather than a header object of its own. Plain data, so that a block of
// records is not written before it is filled; pack sets every field.
struct DBObjectKey {
    std::uint32_t words[3];
    std::uint8_t bytes[4];
};

class DBObjectType {
public:
    DBObjectType() = default;
    DBObjectType(const DBObjectType&) = default;
    DBObjectType& operator=(const DBObjectType&) = default;
    virtual ~DBObjectType() = default;

    // Null when out of memory.
    virtual DBObjectType* clone() const = 0;
    virtual bool matches(const DBObjectType& other) const = 0;
    // Reads one header at the stream's position and gives the length of the body after it.
    virtual KVStatus read(KVIOStreamInf* stream, std::uint64_t& bodyLength) = 0;
    // Writes length into the length field at lengthPos, leaving the position where it was.
    virtual KVStatus patchLength(KVIOStreamInf* stream, std::int64_t lengthPos,
                                 std::uint64_t length) const = 0;
    // Writes the header with a placeholder length and tells where the length field lies.
    virtual KVStatus write(KVIOStreamInf* stream, std::int64_t& lengthPos) const = 0;
    // The header as a packed record, and back; bodyStart tells where the object's body lies.
    virtual void pack(DBObjectKey& key) const = 0;
    virtual void unpack(const DBObjectKey& key, std::int64_t bodyStart) = 0;
};

} // namespace Korvel
