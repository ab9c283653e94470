#pragma once
// The named metadata records of a LiDAR file: key, description, datatype code and value. A value
// of datatype 3 is an array of doubles; any other datatype keeps its bytes as stored.

#include "XAlloc.h"

#include <cstdint>

namespace Korvel {

class BufferedIOReader;

class Metadata {
public:
    KORVEL_XALLOC_OPERATORS

    // The datatype of records whose value is an array of 64-bit floats.
    static constexpr std::uint16_t Float64Array = 3;

    Metadata();
    Metadata(const Metadata&) = delete;
    Metadata& operator=(const Metadata&) = delete;
    ~Metadata();

    // Appends the records of one metadata chunk body. Every length and count is checked against
    // the bytes left in the reader's window before anything is allocated.
    void read(BufferedIOReader& reader);

    bool has(const char* key) const;
    // The first record with the key: its own description, datatype, value and count (doubles for
    // datatype 3, else bytes). Null outputs are skipped; false leaves the outputs untouched.
    bool get(const char* key, const char** description, std::uint16_t* datatype, const void** value,
             std::uint64_t* count) const;

private:
    class Imp;
    Imp* imp_;
};

} // namespace Korvel
