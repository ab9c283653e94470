#pragma once
// Free helpers over byte streams: copy, close-and-delete, a fresh memory stream, size, and a
// duplicate placed at the source's position.

#include "KVIOStreamInf.h"

#include <cstdint>

namespace Korvel {

class KVIONullStream;

KVStatus copyStream(KVIOStreamInf* destination, KVIOStreamInf* source, std::int64_t count);
KVStatus closeAndDelete(KVIOStreamInf*& stream);
KVIOStreamInf* createMemStream();
std::int64_t getStreamSize(KVIOStreamInf* stream);
KVIOStreamInf* duplicateAtPosition(KVIOStreamInf* stream);
// The process-wide null stream, opened on each request.
KVIONullStream* sharedNullStream();

} // namespace Korvel
