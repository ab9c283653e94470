#include "streams/KVIOStreamUtils.h"

#include "streams/KVIODynamicMemStream.h"
#include "support/KVStatusGuard.h"

#include <algorithm>
#include <memory>
#include <new>

namespace Korvel {

namespace {

constexpr std::uint32_t kCopyChunk = 65536;
// Writes in a row that move nothing before a copy gives up on a destination that keeps
// asking for a retry.
constexpr int kMaxStalledWrites = 16;

} // namespace

KVStatus copyStream(KVIOStreamInf* destination, KVIOStreamInf* source, std::int64_t count,
                    const KVIOCopyStatuses& statuses) {
    if (destination == nullptr || source == nullptr || count < 0) return KV_BAD_ARGUMENT;
    std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[kCopyChunk]);
    if (!buffer) return statuses.outOfMemory;

    KVStatus status = KV_OK;
    std::int64_t copied = 0;
    for (;;) {
        const auto ask =
            static_cast<std::uint32_t>(std::min<std::int64_t>(count - copied, kCopyChunk));
        const std::uint32_t got = std::min(source->read(buffer.get(), ask), ask);
        // Short of the end: a read failure, reported as a failure even when the source's last
        // error says otherwise.
        if (got != ask && !source->isEOF()) {
            const KVStatus error = statuses.streamErrors ? source->getLastError() : KV_OK;
            return error != KV_OK ? error : statuses.readFailed;
        }
        if (got != ask && statuses.endedEarly != KV_OK) return statuses.endedEarly;
        if (got == 0) return statuses.keepRetryStatus ? status : KV_OK;

        std::uint32_t written = 0;
        int stalled = 0;
        while (written < got) {
            const std::uint32_t n =
                std::min(destination->write(buffer.get() + written, got - written), got - written);
            written += n;
            if (written == got) break;
            if (!statuses.streamErrors) return statuses.writeFailed;
            status = destination->getLastError();
            if (status != KV_STREAM_TOLERATED && status != KV_WRONG_STREAM_STATE)
                return status != KV_OK ? status : statuses.writeFailed;
            stalled = n == 0 ? stalled + 1 : 0;
            if (stalled == kMaxStalledWrites) return statuses.writeFailed;
        }
        copied += got;
        if (copied == count) return statuses.keepRetryStatus ? status : KV_OK;
    }
}

KVStatus closeAndDelete(KVIOStreamInf*& stream) {
    if (stream == nullptr) return KV_OK;
    const KVStatus status = stream->close();
    delete stream;
    stream = nullptr;
    return status;
}

KVIOStreamInf* createMemStream() {
    std::unique_ptr<KVIODynamicMemStream> stream(new (std::nothrow) KVIODynamicMemStream());
    if (!stream || stream->initialize(4096, 1.6f) != KV_OK || stream->open() != KV_OK)
        return nullptr;
    return stream.release();
}

bool readExact(KVIOStreamInf* stream, void* buffer, std::uint32_t count) {
    auto* at = static_cast<std::uint8_t*>(buffer);
    while (count > 0) {
        const std::uint32_t got = stream->read(at, count);
        if (got == 0 || got > count) return false;
        at += got;
        count -= got;
    }
    return true;
}

KVStatus getStreamSize(KVIOStreamInf* stream, std::int64_t& size, std::int64_t* position) {
    size = -1;
    if (stream == nullptr) return KV_FAILURE;
    auto toldError = [stream] {
        const KVStatus last = stream->getLastError();
        return last != KV_OK ? last : KV_FAILURE;
    };
    const std::int64_t here = stream->tell();
    if (here < 0) return toldError();
    KV_RETURN_IF_FAILED(stream->seek(0, KVIO_SEEK_END));
    const std::int64_t end = stream->tell();
    // Back to where it was even when the end could not be told.
    KV_RETURN_IF_FAILED(stream->seek(here, KVIO_SEEK_SET));
    if (end < 0) return toldError();
    size = end;
    if (position != nullptr) *position = here;
    return KV_OK;
}

std::int64_t getStreamSize(KVIOStreamInf* stream) {
    std::int64_t size = -1;
    return getStreamSize(stream, size) == KV_OK ? size : -1;
}

KVIOStreamInf* duplicateAtPosition(KVIOStreamInf* stream) {
    if (stream == nullptr) return nullptr;
    if (!stream->isOpen()) return stream->duplicate();
    const std::int64_t here = stream->tell();
    if (here < 0) return nullptr;
    std::unique_ptr<KVIOStreamInf> copy(stream->duplicate());
    if (!copy || copy->open() != KV_OK || copy->seek(here, KVIO_SEEK_SET) != KV_OK) return nullptr;
    return copy.release();
}

} // namespace Korvel
