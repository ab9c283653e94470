#pragma once
// A Korvel::IO over bytes in memory for the LiDAR kernel's tests. It counts its reads, the bytes
// they return and its open and close hooks, and its open hook can be made to fail. A sparse IO
// presents a large size of which only some segments are held in memory; the rest reads as zeros.
// Create it with new and release it (or hold it in an ObjectRef); it is never deleted.

#include "Error.h"
#include "IO.h"
#include "LidarFileWriter.h"
#include "ObjectRef.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace quarn_test {

using Korvel::ObjectRef;

class LidarMemoryIO : public Korvel::IO {
public:
    // Bytes held in memory at an offset of a sparse IO.
    using Segment = LidarSparseBytes::Segment;

    explicit LidarMemoryIO(std::vector<std::uint8_t> bytes)
        : size_(static_cast<std::int64_t>(bytes.size())) {
        segments_.push_back(Segment{0, std::move(bytes)});
    }
    // Segments must not overlap; the bytes between and after them read as zeros up to size.
    LidarMemoryIO(std::vector<Segment> segments, std::int64_t size)
        : segments_(std::move(segments)), size_(size) {}

    static ObjectRef<LidarMemoryIO> make(std::vector<std::uint8_t> bytes) {
        return ObjectRef<LidarMemoryIO>(new LidarMemoryIO(std::move(bytes)));
    }
    // An IO over an image of the file writer, holding only its stored segments.
    static ObjectRef<LidarMemoryIO> makeSparse(const LidarSparseBytes& image) {
        return ObjectRef<LidarMemoryIO>(
            new LidarMemoryIO(image.segments(), static_cast<std::int64_t>(image.size())));
    }

    std::int64_t pread(std::int64_t offset, void* buffer, std::int64_t count) override {
        ++preadCount;
        if (offset < 0 || offset >= size_ || count <= 0) return 0;
        const std::int64_t n = std::min(count, size_ - offset);
        auto* out = static_cast<std::uint8_t*>(buffer);
        std::memset(out, 0, static_cast<std::size_t>(n));
        for (const Segment& segment : segments_) {
            const std::int64_t from = std::max(offset, segment.offset);
            const std::int64_t to = std::min(
                offset + n, segment.offset + static_cast<std::int64_t>(segment.bytes.size()));
            if (from < to)
                std::memcpy(out + (from - offset), segment.bytes.data() + (from - segment.offset),
                            static_cast<std::size_t>(to - from));
        }
        bytesRead += n;
        return n;
    }
    std::int64_t size() override { return size_; }

    // The bytes of the first segment: all of them for an IO made from bytes.
    const std::vector<std::uint8_t>& bytes() const { return segments_.front().bytes; }

    int preadCount = 0;
    std::int64_t bytesRead = 0;
    int openHooks = 0;
    int closeHooks = 0;
    bool failOpen = false;

protected:
    ~LidarMemoryIO() override = default;

    void openHook() override {
        ++openHooks;
        if (failOpen) KORVEL_FAIL("LidarMemoryIO", "openHook", 1, "open refused");
    }
    void closeHook() override { ++closeHooks; }

private:
    std::vector<Segment> segments_;
    std::int64_t size_;
};

} // namespace quarn_test
