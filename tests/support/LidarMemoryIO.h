#pragma once
// A Korvel::IO over bytes in memory for the LiDAR kernel's tests. It counts its reads and its
// open and close hooks, and its open hook can be made to fail. Create it with new and release
// it (or hold it in an ObjectRef); it is never deleted.

#include "Error.h"
#include "IO.h"
#include "Object.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace quarn_test {

// Releases a kernel object instead of deleting it.
struct ReleaseObject {
    void operator()(Korvel::Object* object) const {
        if (object != nullptr) object->release();
    }
};
template <class T> using ObjectRef = std::unique_ptr<T, ReleaseObject>;

class LidarMemoryIO : public Korvel::IO {
public:
    explicit LidarMemoryIO(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}

    static ObjectRef<LidarMemoryIO> make(std::vector<std::uint8_t> bytes) {
        return ObjectRef<LidarMemoryIO>(new LidarMemoryIO(std::move(bytes)));
    }

    std::int64_t pread(std::int64_t offset, void* buffer, std::int64_t count) override {
        ++preadCount;
        const auto length = static_cast<std::int64_t>(bytes_.size());
        if (offset < 0 || offset >= length || count <= 0) return 0;
        const std::int64_t n = std::min(count, length - offset);
        std::memcpy(buffer, bytes_.data() + offset, static_cast<std::size_t>(n));
        return n;
    }
    std::int64_t size() override { return static_cast<std::int64_t>(bytes_.size()); }

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

    int preadCount = 0;
    int openHooks = 0;
    int closeHooks = 0;
    bool failOpen = false;

protected:
    ~LidarMemoryIO() override = default;

    void openHook() override {
        ++openHooks;
        if (failOpen)
            throw Korvel::Error::make("LidarMemoryIO", "openHook", __LINE__, 1, "open refused");
    }
    void closeHook() override { ++closeHooks; }

private:
    std::vector<std::uint8_t> bytes_;
};

} // namespace quarn_test
