#pragma once
// A test-side byte stream over a std::vector, independent of the library's own streams, with
// switches that make it misbehave: reads or writes that stop short after a budget of bytes, a
// settable last error, tell and seek failures, an open that fails, a duplicate that cannot be made.
//
// Defaults: open, position 0, every operation succeeds. Reads and writes work whether or not the
// stream is open, as the shell's stream adapter does. Seeks may go past the end (reads there give
// 0 bytes and set end-of-file; writes zero-fill the gap); a target before 0 fails with status 1.

#include "streams/KVIOStreamInf.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

namespace quarn_test {

class VectorStream : public Korvel::KVIOStreamInf {
public:
    explicit VectorStream(std::vector<std::uint8_t> bytes = {}, bool startOpen = true)
        : data(std::move(bytes)), openFlag(startOpen) {
        ++live;
    }
    VectorStream(const VectorStream&) = delete;
    VectorStream& operator=(const VectorStream&) = delete;
    ~VectorStream() override { --live; }

    // Streams of this kind alive now: shows what an owner deletes and what it leaks.
    static inline int live = 0;

    // --- failure injection ---------------------------------------------------------------------
    // Reads deliver at most this many bytes in total; afterwards they stop short (0 bytes) with
    // end-of-file clear, as a failing device would.
    std::uint64_t readBudget = std::numeric_limits<std::uint64_t>::max();
    // Writes accept at most this many bytes in total.
    std::uint64_t writeBudget = std::numeric_limits<std::uint64_t>::max();
    // What getLastError reports.
    Korvel::KVStatus lastError = Korvel::KV_OK;
    // tell succeeds this many more times, then returns tellFailValue (negative) from then on.
    std::uint64_t tellSuccessesLeft = std::numeric_limits<std::uint64_t>::max();
    std::int64_t tellFailValue = -1;
    // seek succeeds this many more times, then returns seekFailStatus without moving.
    std::uint64_t seekSuccessesLeft = std::numeric_limits<std::uint64_t>::max();
    Korvel::KVStatus seekFailStatus = Korvel::KV_FAILURE;
    // Nonzero: open fails with this status and leaves the stream closed.
    Korvel::KVStatus openFailStatus = Korvel::KV_OK;
    bool duplicateFails = false;

    // --- observation ---------------------------------------------------------------------------
    std::vector<std::uint8_t> data;
    std::int64_t position = 0;
    std::vector<std::uint32_t> readRequests;  // count asked of each read
    std::vector<std::uint32_t> writeRequests; // count asked of each write
    int openCalls = 0;
    int closeCalls = 0;
    int seekCalls = 0;

    // Shorthand for the common faults.
    void failReadsAfter(std::uint64_t bytes) { readBudget = bytes; }
    void failTellAfter(std::uint64_t successes, std::int64_t value = -1) {
        tellSuccessesLeft = successes;
        tellFailValue = value;
    }
    void failSeeksAfter(std::uint64_t successes, Korvel::KVStatus status = Korvel::KV_FAILURE) {
        seekSuccessesLeft = successes;
        seekFailStatus = status;
    }

    // --- KVIOStreamInf -------------------------------------------------------------------------
    bool isEOF() override { return eofFlag; }
    bool isOpen() override { return openFlag; }
    Korvel::KVStatus open() override {
        ++openCalls;
        if (openFailStatus != Korvel::KV_OK) return openFailStatus;
        openFlag = true;
        position = 0;
        eofFlag = false;
        return Korvel::KV_OK;
    }
    Korvel::KVStatus close() override {
        ++closeCalls;
        openFlag = false;
        return Korvel::KV_OK;
    }
    std::uint32_t read(std::uint8_t* buffer, std::uint32_t count) override {
        readRequests.push_back(count);
        const std::uint64_t size = data.size();
        const std::uint64_t pos = static_cast<std::uint64_t>(position);
        const std::uint64_t available = pos < size ? size - pos : 0;
        std::uint64_t n = std::min<std::uint64_t>(count, available);
        const bool hitEnd = n < count;
        n = std::min(n, readBudget);
        readBudget -= n;
        if (n > 0) std::memcpy(buffer, data.data() + pos, n);
        position += static_cast<std::int64_t>(n);
        eofFlag = hitEnd && n == available;
        return static_cast<std::uint32_t>(n);
    }
    std::uint32_t write(const std::uint8_t* buffer, std::uint32_t count) override {
        writeRequests.push_back(count);
        const std::uint64_t n = std::min<std::uint64_t>(count, writeBudget);
        writeBudget -= n;
        eofFlag = false;
        if (n == 0) return 0;
        const std::uint64_t pos = static_cast<std::uint64_t>(position);
        if (data.size() < pos + n) data.resize(pos + n, 0);
        std::memcpy(data.data() + pos, buffer, n);
        position += static_cast<std::int64_t>(n);
        return static_cast<std::uint32_t>(n);
    }
    Korvel::KVStatus seek(std::int64_t offset, std::uint32_t direction) override {
        ++seekCalls;
        if (seekSuccessesLeft == 0) return seekFailStatus;
        --seekSuccessesLeft;
        std::int64_t base = 0;
        if (direction == Korvel::KVIO_SEEK_CUR)
            base = position;
        else if (direction == Korvel::KVIO_SEEK_END)
            base = static_cast<std::int64_t>(data.size());
        else if (direction != Korvel::KVIO_SEEK_SET)
            return Korvel::KV_FAILURE;
        if (offset < -base || offset > std::numeric_limits<std::int64_t>::max() - base)
            return Korvel::KV_FAILURE;
        position = base + offset;
        eofFlag = false;
        return Korvel::KV_OK;
    }
    std::int64_t tell() override {
        if (tellSuccessesLeft == 0) return tellFailValue;
        --tellSuccessesLeft;
        return position;
    }
    // A closed copy of the bytes (not of the failure switches).
    Korvel::KVIOStreamInf* duplicate() override {
        return duplicateFails ? nullptr : new VectorStream(data, false);
    }
    Korvel::KVStatus getLastError() override { return lastError; }
    const char* getID() override { return "test:vector"; }

private:
    bool openFlag;
    bool eofFlag = false;
};

// Bytes 0, 1, 2, ... wrapping at 256: easy to check at any offset.
inline std::vector<std::uint8_t> rampBytes(std::size_t count, std::uint8_t first = 0) {
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<std::uint8_t>(first + i);
    return bytes;
}

} // namespace quarn_test
