#pragma once
// A window [start, end) of another stream, seen as a stream of its own whose positions count
// from start. The inner stream's position is shared: sub-range streams over one inner stream
// re-seek it only in open and seek, so their reads must not be interleaved.

#include "streams/KVIOStreamInf.h"

#include <cstdint>

namespace Korvel {

class KVIOSubStream : public KVIOStreamInf {
public:
    KVIOSubStream() = default;
    KVIOSubStream(const KVIOSubStream&) = delete;
    KVIOSubStream& operator=(const KVIOSubStream&) = delete;
    // Closes the inner stream, and deletes it when owned.
    ~KVIOSubStream() override;

    bool isEOF() override;
    bool isOpen() override;
    KVStatus open() override;
    KVStatus close() override;
    std::uint32_t read(std::uint8_t* buffer, std::uint32_t count) override;
    std::uint32_t write(const std::uint8_t* buffer, std::uint32_t count) override;
    KVStatus seek(std::int64_t offset, std::uint32_t direction) override;
    std::int64_t tell() override;
    // A window over the same inner stream, not owning it.
    KVIOStreamInf* duplicate() override;
    KVStatus getLastError() override;
    const char* getID() override;

    // Replaces the inner stream (closing the previous one, deleting it when owned). Fails with 1,
    // holding no inner stream and leaving the caller's one with the caller, when inner is null or
    // the window is not 0 <= start <= end.
    virtual KVStatus initialize(KVIOStreamInf* inner, std::int64_t start, std::int64_t end,
                                bool ownsInner);

private:
    void releaseInner(const KVIOStreamInf* keep);

    KVIOStreamInf* inner_ = nullptr;
    bool ownsInner_ = false;
    std::int64_t start_ = 0;
    std::int64_t end_ = 0;
    bool eof_ = false;
};

} // namespace Korvel
