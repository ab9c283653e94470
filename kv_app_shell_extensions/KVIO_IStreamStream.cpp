#include "KVIO_IStreamStream.h"

using namespace Korvel;

KVStatus KVIO_IStreamStream::open() {
    if (isOpenFlag_) return KV_WRONG_STREAM_STATE;
    LARGE_INTEGER start{};
    ULARGE_INTEGER position{};
    position.QuadPart = static_cast<ULONGLONG>(position_);
    stream_->Seek(start, STREAM_SEEK_SET, &position);
    position_ = static_cast<std::int64_t>(position.QuadPart);
    isOpenFlag_ = true;
    return KV_OK;
}

KVStatus KVIO_IStreamStream::close() {
    if (!isOpenFlag_) return KV_WRONG_STREAM_STATE;
    position_ = 0;
    isOpenFlag_ = false;
    return KV_OK;
}

std::uint32_t KVIO_IStreamStream::read(std::uint8_t* buffer, std::uint32_t count) {
    ULONG delivered = 0;
    stream_->Read(buffer, count, &delivered);
    // A stream that claims more than was asked is held to the count.
    if (delivered > count) delivered = count;
    position_ += delivered;
    isEOFFlag_ = count > delivered;
    return delivered;
}

KVStatus KVIO_IStreamStream::seek(std::int64_t offset, std::uint32_t direction) {
    DWORD origin;
    switch (direction) {
    case KVIO_SEEK_SET:
        origin = STREAM_SEEK_SET;
        break;
    case KVIO_SEEK_CUR:
        origin = STREAM_SEEK_CUR;
        break;
    case KVIO_SEEK_END:
        origin = STREAM_SEEK_END;
        break;
    default:
        return KV_BAD_ARGUMENT;
    }
    LARGE_INTEGER move{};
    move.QuadPart = offset;
    // A failed seek leaves the position as the adapter last learned it.
    ULARGE_INTEGER position{};
    position.QuadPart = static_cast<ULONGLONG>(position_);
    stream_->Seek(move, origin, &position);
    position_ = static_cast<std::int64_t>(position.QuadPart);
    return KV_OK;
}
