#pragma once
// An owned block of packet bytes: what the metadata and unknown packets keep of their bodies.

#include "streams/KVIOStreamInf.h"
#include "support/KVStatusGuard.h"

#include <cstdint>
#include <cstring>
#include <memory>

namespace Korvel {

class QG3PacketBytes {
public:
    std::uint32_t count() const { return count_; }
    const std::uint8_t* data() const { return bytes_.get(); }

    // Room for count bytes, filled by fill(buffer), which returns a status; outOfMemory when the
    // room cannot be had. On any failure the block keeps what it held.
    template <typename Fill> KVStatus assign(std::uint32_t count, KVStatus outOfMemory, Fill fill) {
        std::unique_ptr<std::uint8_t[]> bytes;
        if (count > 0) {
            KV_RETURN_IF_FAILED(
                kvGuard([&] { bytes.reset(new std::uint8_t[count]); }, outOfMemory));
            KV_RETURN_IF_FAILED(fill(bytes.get()));
        }
        bytes_ = std::move(bytes);
        count_ = count;
        return KV_OK;
    }
    // A copy of other; false when memory runs out.
    bool copyFrom(const QG3PacketBytes& other) {
        return assign(other.count_, KV_OUT_OF_MEMORY, [&](std::uint8_t* out) {
                   std::memcpy(out, other.bytes_.get(), other.count_);
                   return KV_OK;
               }) == KV_OK;
    }
    bool operator==(const QG3PacketBytes& other) const {
        return count_ == other.count_ &&
               (count_ == 0 || std::memcmp(bytes_.get(), other.bytes_.get(), count_) == 0);
    }
    // Writes the bytes; false when the stream takes fewer.
    bool write(KVIOStreamInf* stream) const {
        return count_ == 0 || stream->write(bytes_.get(), count_) == count_;
    }

private:
    std::unique_ptr<std::uint8_t[]> bytes_;
    std::uint32_t count_ = 0;
};

} // namespace Korvel
