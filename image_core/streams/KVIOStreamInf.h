#pragma once
// The byte stream through which the decoding library reads files: 64-bit positions, 32-bit
// transfer counts. Every operation has an empty body here; each stream overrides all of them.
// Streams are owned by whoever made them and deleted through the virtual destructor.

#include "support/KVStatus.h"

#include <cstdint>

namespace Korvel {

// Seek directions; no other value is valid.
inline constexpr std::uint32_t KVIO_SEEK_SET = 2; // from the start
inline constexpr std::uint32_t KVIO_SEEK_CUR = 3; // from the current position
inline constexpr std::uint32_t KVIO_SEEK_END = 4; // from the end

class KVIOStreamInf {
public:
    virtual ~KVIOStreamInf() {}
    // The last read stopped short at the end of the data.
    virtual bool isEOF() { return false; }
    virtual bool isOpen() { return false; }
    virtual KVStatus open() { return KV_OK; }
    virtual KVStatus close() { return KV_OK; }
    // Both return the number of bytes transferred.
    virtual std::uint32_t read(std::uint8_t* /*buffer*/, std::uint32_t /*count*/) { return 0; }
    virtual std::uint32_t write(const std::uint8_t* /*buffer*/, std::uint32_t /*count*/) {
        return 0;
    }
    virtual KVStatus seek(std::int64_t /*offset*/, std::uint32_t /*direction*/) { return KV_OK; }
    // The position; negative on failure.
    virtual std::int64_t tell() { return 0; }
    // A new, closed stream over the same bytes, owned by the caller; null when it cannot be made.
    virtual KVIOStreamInf* duplicate() { return nullptr; }
    virtual KVStatus getLastError() { return KV_OK; }
    // Constant text naming the kind of stream.
    virtual const char* getID() { return ""; }
};

} // namespace Korvel
