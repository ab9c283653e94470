#pragma once
// A read-ahead window over the stream of a planeset: prefixes and small fields are taken from
// the window, which is refilled by one block read when it runs dry, so that the many small reads
// of a scan become few large ones. A cursor of capacity 0 has no window and reads straight from
// the stream; both behave alike.
//
// Every read is bounded by the end of the plane data: nothing past it is ever read, and a field
// or item that would run past it fails.

#include "qg3/planes/QG3PlanePrefix.h"
#include "streams/KVIOStreamInf.h"

#include <cstdint>
#include <memory>

namespace Korvel {

class QG3PlaneCursor {
public:
    // The stream that all cursors of one plane reader share, the end of the plane data, and
    // where the stream stands (so that a cursor seeks only when the stream is elsewhere).
    struct Stream {
        KVIOStreamInf* stream = nullptr;
        std::int64_t end = 0;
        std::int64_t position = -1; // unknown

        // Reads up to count bytes at offset; got tells how many came. KV_QG3_READ_FAILED when the
        // seek fails.
        KVStatus readAt(std::int64_t offset, std::uint8_t* out, std::uint32_t count,
                        std::uint32_t& got);
        // The stream was moved by someone else (opened, closed, read elsewhere).
        void forget() { position = -1; }
    };

    static constexpr std::uint32_t kCapacity = 4096;
    // Scans read the plane data, or the prefix section of a data-first run, through a window of
    // this size.
    static constexpr std::uint32_t kScanCapacity = 262144;

    QG3PlaneCursor(Stream& stream, std::uint32_t capacity)
        : stream_(&stream), capacity_(capacity) {}

    std::int64_t offset() const { return offset_; }
    // Bytes from the read position to the end of the plane data.
    std::uint64_t remaining() const {
        return offset_ < stream_->end ? std::uint64_t(stream_->end - offset_) : 0;
    }
    // Inside the window this only moves the read position. KV_QG3_READ_FAILED outside the plane
    // data.
    KVStatus seek(std::int64_t offset);
    // KV_QG3_READ_FAILED when the skip passes the end of the plane data.
    KVStatus skip(std::uint64_t count);
    // KV_QG3_READ_FAILED when fewer bytes remain, or the stream's own error when it stops short;
    // KV_QG3_OUT_OF_MEMORY when the window cannot be allocated.
    KVStatus read(std::uint8_t* out, std::uint64_t count);
    // A big-endian unsigned field of width bytes (at most 8).
    KVStatus readField(unsigned width, std::uint64_t& value);
    // One prefix: KV_QG3_READ_FAILED when the plane data ends before it, KV_QG3_PREFIX_CUT when it
    // ends inside it, and the prefix's own statuses (KV_QG3_READ_FAILED absent run of 0,
    // KV_QG3_PREFIX_TOO_LONG too long).
    KVStatus readPrefix(bool wide, QG3PlanePrefix& prefix);

private:
    std::uint64_t buffered() const;
    bool covers() const;
    KVStatus fill();
    KVStatus readUnbuffered(std::uint8_t* out, std::uint64_t count);

    Stream* stream_;
    std::uint32_t capacity_;
    std::unique_ptr<std::uint8_t[]> buffer_; // made at the first fill
    std::int64_t offset_ = 0;                // read position
    std::int64_t windowStart_ = -1;          // stream offset of buffer_[0]; -1 no window
    std::uint32_t windowLength_ = 0;         // valid bytes in the window
    bool windowAtEnd_ = false;               // no bytes follow the window
};

} // namespace Korvel
