#pragma once
// A stream that stores nothing: reads and writes only move the position, as though every byte
// were there. It stands in for the stream of an object that has none.

#include "streams/KVIOStreamInf.h"

#include <cstdint>

namespace Korvel {

class KVIONullStream : public KVIOStreamInf {
public:
    KVIONullStream() = default;
    ~KVIONullStream() override = default;

    bool isEOF() override;
    bool isOpen() override;
    KVStatus open() override;
    KVStatus close() override;
    // Neither fills nor reads the buffer.
    std::uint32_t read(std::uint8_t* buffer, std::uint32_t count) override;
    std::uint32_t write(const std::uint8_t* buffer, std::uint32_t count) override;
    // Only from the start or the current position: a null stream has no end.
    KVStatus seek(std::int64_t offset, std::uint32_t direction) override;
    std::int64_t tell() override;
    KVIOStreamInf* duplicate() override;
    KVStatus getLastError() override;
    const char* getID() override;

private:
    bool advance(std::uint32_t count);

    std::int64_t position_ = 0;
    bool open_ = false;
};

} // namespace Korvel
