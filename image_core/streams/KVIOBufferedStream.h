#pragma once
// Another stream seen through a read window of its own, so that a reader of many small fields
// (a walk from header to header, the bodies of small packets) reads the other stream a window at
// a time rather than a field at a time. A small read that the window holds is copied from it and
// costs the other stream one tell; any other small read refills the window with one read of the
// other stream where the read stands, of twice what was read of the last window (up to the
// capacity). Large reads, seeks and everything else go to the other
// stream, which is first put where this one's reads left it (a seek to a place from the start
// goes there at once).
//
// A read delivers what a read of the other stream alone would: the bytes before a short fill's
// end, and end-of-file when the fill met the end. Reads served from the window leave the other
// stream where the last fill left it; this stream goes on from where its reads left it, unless
// another has moved the other stream since, and then from there, as a read of the other stream
// alone would. The bytes under the window are taken not to change while the stream is kept, as
// every reader of a file takes what it has read to stay read: the stream cannot be written. The
// window grows with the fills up to the capacity, and a window that cannot be made leaves the
// read going straight through.

#include "streams/KVIOStreamInf.h"

#include <cstdint>
#include <memory>

namespace Korvel {

class KVIOBufferedStream final : public KVIOStreamInf {
public:
    static constexpr std::uint32_t kCapacity = 65536;

    // The other stream stays the caller's and must outlive this one's reads; capacity is at
    // least 16. Reads of capacity bytes or more are never buffered.
    explicit KVIOBufferedStream(KVIOStreamInf* inner, std::uint32_t capacity = kCapacity);
    KVIOBufferedStream(const KVIOBufferedStream&) = delete;
    KVIOBufferedStream& operator=(const KVIOBufferedStream&) = delete;

    KVIOStreamInf* inner() const { return inner_; }
    // Puts the other stream where this one's reads left it, unless another has moved it since:
    // the status of the seek that does it.
    KVStatus settle();

    bool isEOF() override { return ownEOF_ ? eof_ : inner_->isEOF(); }
    bool isOpen() override { return inner_->isOpen(); }
    KVStatus open() override;
    KVStatus close() override;
    std::uint32_t read(std::uint8_t* buffer, std::uint32_t count) override;
    KVStatus seek(std::int64_t offset, std::uint32_t direction) override;
    std::int64_t tell() override { return here(); }
    // The other stream's duplicate, without a window.
    KVIOStreamInf* duplicate() override { return inner_->duplicate(); }
    KVStatus getLastError() override { return inner_->getLastError(); }
    const char* getID() override { return inner_->getID(); }

private:
    // Where this stream stands; negative when the other stream cannot tell.
    std::int64_t here() {
        const std::int64_t at = inner_->tell();
        if (owed_ && at == innerAt_) return position_;
        // Moved by another since (or never left behind): it stands where the other does.
        owed_ = false;
        return at;
    }
    std::uint32_t readThrough(std::uint8_t* buffer, std::uint32_t count);
    // A read that the stream cannot serve: nothing, end-of-file clear.
    std::uint32_t failed();
    std::uint32_t nextFill(std::uint32_t count) const;
    // Room for size bytes in the window; false when it cannot be made.
    bool reserve(std::uint32_t size);
    void fill(std::int64_t at, std::uint32_t ask);

    KVIOStreamInf* inner_;
    std::uint32_t capacity_;
    std::unique_ptr<std::uint8_t[]> window_;
    std::uint32_t windowSize_ = 0;
    std::int64_t windowStart_ = -1; // where window_[0] lies in the stream; -1: no window
    std::uint32_t windowLength_ = 0;
    bool windowAtEnd_ = false; // the fill met the end of the stream
    // How far into the window reads have gone, which sizes the next fill.
    std::uint32_t windowUsed_ = 0;
    // Whether reads left this stream at position_ while the other stands at innerAt_.
    bool owed_ = false;
    std::int64_t position_ = 0;
    std::int64_t innerAt_ = 0;
    // Whether the last read was answered here, and its end-of-file.
    bool ownEOF_ = false;
    bool eof_ = false;
};

} // namespace Korvel
