#pragma once
// A growable in-memory byte stream. Data stay when the stream is closed; re-opening starts at
// position 0. The buffer is taken from a set of memory functions (the C runtime's by default).

#include "streams/KVIOStreamInf.h"

#include <cstddef>
#include <cstdint>

namespace Korvel {

using KVIOAllocateFn = void* (*)(std::size_t size);
using KVIOFreeFn = void (*)(void* block);
using KVIOReallocateFn = void* (*)(void* block, std::size_t size);

class KVIODynamicMemStream : public KVIOStreamInf {
public:
    KVIODynamicMemStream();
    KVIODynamicMemStream(const KVIODynamicMemStream&) = delete;
    KVIODynamicMemStream& operator=(const KVIODynamicMemStream&) = delete;
    ~KVIODynamicMemStream() override;

    bool isEOF() override;
    bool isOpen() override;
    KVStatus open() override;
    KVStatus close() override;
    std::uint32_t read(std::uint8_t* buffer, std::uint32_t count) override;
    std::uint32_t write(const std::uint8_t* buffer, std::uint32_t count) override;
    KVStatus seek(std::int64_t offset, std::uint32_t direction) override;
    std::int64_t tell() override;
    KVIOStreamInf* duplicate() override;
    KVStatus getLastError() override;
    const char* getID() override;

    // Allocates initialSize bytes and empties the stream; refused while open. growth, in
    // (1.0, 2.0], is the factor by which the capacity grows. reallocate may be null.
    virtual KVStatus initialize(std::uint32_t initialSize, KVIOAllocateFn allocate, KVIOFreeFn free,
                                KVIOReallocateFn reallocate, float growth);
    virtual KVStatus initialize(std::uint32_t initialSize, float growth);

private:
    KVStatus setUp(std::uint32_t initialSize, KVIOAllocateFn allocate, KVIOFreeFn free,
                   KVIOReallocateFn reallocate, float growth);
    bool reserve(std::uint64_t needed);

    std::uint8_t* buffer_ = nullptr;
    std::uint32_t initialSize_ = 0;
    std::uint32_t capacity_ = 0;
    std::uint32_t size_ = 0;
    std::uint32_t position_;
    bool open_ = false;
    KVIOAllocateFn allocate_;
    KVIOFreeFn free_;
    KVIOReallocateFn reallocate_;
    KVStatus lastError_ = KV_FAILURE;
    bool eof_ = false;
    float growth_ = 0.0f;
};

} // namespace Korvel
