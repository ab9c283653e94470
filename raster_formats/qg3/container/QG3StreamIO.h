#pragma once
// Stream helpers shared by the container's readers and writers: the stream's own error, the bytes
// to its end, and a packet body's length checked against them. The fields of a body are read
// through KVIOBodyReader.

#include "qg3/container/QG3Status.h"
#include "streams/KVIOBodyReader.h"
#include "streams/KVIOStreamInf.h"
#include "support/KVBigEndian.h"

#include <cstdint>
#include <limits>

namespace Korvel::qg3io {

// The stream's own last error, or fallback when the stream reports none.
inline KVStatus lastErrorOr(KVIOStreamInf* stream, KVStatus fallback) {
    const KVStatus error = stream->getLastError();
    return error != KV_OK ? error : fallback;
}

// Bytes from the stream's position to its end; -1 when they cannot be told.
inline std::int64_t bytesToEnd(KVIOStreamInf* stream) {
    const std::int64_t here = stream->tell();
    if (here < 0 || stream->seek(0, KVIO_SEEK_END) != KV_OK) return -1;
    const std::int64_t end = stream->tell();
    if (stream->seek(here, KVIO_SEEK_SET) != KV_OK || end < 0) return -1;
    return end > here ? end - here : 0;
}

// A body length checked against the bytes the stream still holds: -1 (to the end) becomes those
// bytes; a longer body, or a stream that cannot tell, is a short read. Bodies whose fields size
// an allocation resolve their length this way first.
inline KVStatus resolveBodyLength(KVIOStreamInf* stream, std::int64_t length,
                                  std::int64_t& resolved) {
    const std::int64_t left = bytesToEnd(stream);
    if (left < 0 || length > left) return KV_QG3_READ_FAILED;
    resolved = length < 0 ? left : length;
    return KV_OK;
}

} // namespace Korvel::qg3io
