#pragma once
// A Korvel::IO over bytes the caller keeps alive, for the LiDAR fuzz targets. Made with new and
// released (held in an ObjectRef), never deleted.

#include "IO.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace quarn_fuzz {

class FuzzMemoryIO final : public Korvel::IO {
public:
    FuzzMemoryIO(const std::uint8_t* data, std::size_t size)
        : data_(data), size_(static_cast<std::int64_t>(size)) {}

    std::int64_t pread(std::int64_t offset, void* buffer, std::int64_t count) override {
        if (offset < 0 || count <= 0 || offset >= size_) return 0;
        const std::int64_t n = std::min(count, size_ - offset);
        std::memcpy(buffer, data_ + offset, static_cast<std::size_t>(n));
        return n;
    }
    std::int64_t size() override { return size_; }

private:
    ~FuzzMemoryIO() override = default;

    const std::uint8_t* data_;
    std::int64_t size_;
};

} // namespace quarn_fuzz
