#pragma once
// Stream helpers shared by the container's readers and writers: the stream's own error, and a
// packet body's length checked against the bytes to the stream's end. The fields of a body are
// read through KVIOBodyReader.

#include "qg3/container/QG3Status.h"
#include "streams/KVIOBodyReader.h"
#include "streams/KVIOStreamInf.h"
#include "streams/KVIOStreamUtils.h"
#include "support/KVBigEndian.h"

#include <algorithm>
#include <cstdint>

namespace Korvel::qg3io {

// The stream's own last error, or fallback when the stream reports none.
inline KVStatus lastErrorOr(KVIOStreamInf* stream, KVStatus fallback) {
    const KVStatus error = stream->getLastError();
    return error != KV_OK ? error : fallback;
}

// A body length checked against the bytes the stream still holds: -1 (to the end) becomes those
// bytes; a longer body, or a stream that cannot tell, is a short read. Bodies whose fields size
// an allocation resolve their length this way first.
inline KVStatus resolveBodyLength(KVIOStreamInf* stream, std::int64_t length,
                                  std::int64_t& resolved) {
    std::int64_t size = -1;
    std::int64_t here = -1;
    if (getStreamSize(stream, size, &here) != KV_OK) return KV_QG3_READ_FAILED;
    const std::int64_t left = std::max<std::int64_t>(size - here, 0);
    if (length > left) return KV_QG3_READ_FAILED;
    resolved = length < 0 ? left : length;
    return KV_OK;
}

} // namespace Korvel::qg3io
