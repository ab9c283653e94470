#pragma once
// Free helpers over byte streams: copy, close-and-delete, a fresh memory stream, size, and a
// duplicate placed at the source's position.

#include "streams/KVIOStreamInf.h"

#include <cstdint>

namespace Korvel {

// What a copy returns for each way it can stop. The defaults are the image core's.
struct KVIOCopyStatuses {
    KVStatus readFailed = KV_FAILURE;  // a read that stops short before the source's end
    KVStatus writeFailed = KV_FAILURE; // a write that stops short
    KVStatus outOfMemory = KV_OUT_OF_MEMORY;
    KVStatus endedEarly = KV_OK; // the source ends before count bytes (KV_OK: the copy ends there)
    // The streams' own last errors come before readFailed and writeFailed, and short writes are
    // retried while the destination's last error is KV_STREAM_TOLERATED or KV_WRONG_STREAM_STATE;
    // without, a short write fails at once.
    bool streamErrors = true;
    // With retries, that status is returned even when every byte arrived.
    bool keepRetryStatus = true;
};

// The one chunked copy between streams: count bytes (INT64_MAX: to the source's end) from the
// source's position to the destination's. By default a source that ends early ends the copy
// without failure, and short writes are retried while the destination's last error is
// KV_STREAM_TOLERATED or KV_WRONG_STREAM_STATE, that status then being returned even when every
// byte arrived.
KVStatus copyStream(KVIOStreamInf* destination, KVIOStreamInf* source, std::int64_t count,
                    const KVIOCopyStatuses& statuses = {});
// Closes and deletes the stream and nulls the pointer; returns the close status (0 for null).
KVStatus closeAndDelete(KVIOStreamInf*& stream);
// An open, empty memory stream (4096 bytes, growth 1.6); null when it cannot be made.
KVIOStreamInf* createMemStream();
// Reads exactly count bytes, taking partial transfers as they come; false when the stream stops
// short.
bool readExact(KVIOStreamInf* stream, void* buffer, std::uint32_t count);
// The stream's length into size, its position left unchanged (and told in position, when given):
// the status of the first seek that fails, else, when a position cannot be told, the stream's
// last error (KV_FAILURE when it has none).
KVStatus getStreamSize(KVIOStreamInf* stream, std::int64_t& size, std::int64_t* position = nullptr);
// The same, -1 on any failure.
std::int64_t getStreamSize(KVIOStreamInf* stream);
// A duplicate of the stream, opened and placed at its position when the stream is open (closed
// otherwise); null on failure. Owned by the caller.
KVIOStreamInf* duplicateAtPosition(KVIOStreamInf* stream);

} // namespace Korvel
