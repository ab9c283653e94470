#pragma once
// Free helpers over byte streams: copy, close-and-delete, a fresh memory stream, size, and a
// duplicate placed at the source's position.

#include "KVIOStreamInf.h"

#include <cstdint>

namespace Korvel {

class KVIONullStream;

// Copies count bytes from the source's position to the destination's. A source that ends early
// ends the copy without failure. Short writes are retried while the destination's last error is
// 11 or 4, and that status is then returned even when every byte arrived.
KVStatus copyStream(KVIOStreamInf* destination, KVIOStreamInf* source, std::int64_t count);
// Closes and deletes the stream and nulls the pointer; returns the close status (0 for null).
KVStatus closeAndDelete(KVIOStreamInf*& stream);
// An open, empty memory stream (4096 bytes, growth 1.6); null when it cannot be made.
KVIOStreamInf* createMemStream();
// The stream's length, its position left unchanged; -1 on failure.
std::int64_t getStreamSize(KVIOStreamInf* stream);
// A duplicate of the stream, opened and placed at its position when the stream is open (closed
// otherwise); null on failure. Owned by the caller.
KVIOStreamInf* duplicateAtPosition(KVIOStreamInf* stream);
// The process-wide null stream, opened on each request. Never deleted by its users.
KVIONullStream* sharedNullStream();

} // namespace Korvel
