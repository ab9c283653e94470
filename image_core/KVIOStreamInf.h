#pragma once
// The byte stream through which the decoding library reads files: 64-bit positions, 32-bit
// transfer counts. Every operation has an empty body here; each stream overrides all of them.

#include "KVStatus.h"

#include <cstdint>

namespace Korvel {

// Seek directions.
inline constexpr std::uint32_t KVIO_SEEK_SET = 2;
inline constexpr std::uint32_t KVIO_SEEK_CUR = 3;
inline constexpr std::uint32_t KVIO_SEEK_END = 4;

class KVIOStreamInf {
public:
    virtual ~KVIOStreamInf() {}
    virtual bool isEOF() { return false; }
    virtual bool isOpen() { return false; }
    virtual KVStatus open() { return KV_OK; }
    virtual KVStatus close() { return KV_OK; }
    virtual std::uint32_t read(std::uint8_t* /*buffer*/, std::uint32_t /*count*/) { return 0; }
    virtual std::uint32_t write(const std::uint8_t* /*buffer*/, std::uint32_t /*count*/) {
        return 0;
    }
    virtual KVStatus seek(std::int64_t /*offset*/, std::uint32_t /*direction*/) { return KV_OK; }
    virtual std::int64_t tell() { return 0; }
    virtual KVIOStreamInf* duplicate() { return nullptr; }
    virtual KVStatus getLastError() { return KV_OK; }
    virtual const char* getID() { return ""; }
};

} // namespace Korvel
