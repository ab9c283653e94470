#pragma once
// The LiDAR kernel's random-access input over the shell's IStream. The stream is borrowed: no
// reference is added or released. Each seek-and-read pair runs under the named mutex
// "theMutex", which every adapter of every process of the user shares.

#include "ComStream.h"
#include "IO.h"

class IStreamIO final : public Korvel::IO {
public:
    // Takes the stream's length once, by seeking to its end, and opens the named mutex.
    explicit IStreamIO(IStream* stream);

    std::int64_t pread(std::int64_t offset, void* buffer, std::int64_t count) override;
    std::int64_t pwrite(std::int64_t, const void*, std::int64_t) override { return 0; }
    std::int64_t size() override { return length_; }

protected:
    ~IStreamIO() override;

private:
    IStream* stream_;
    std::int64_t length_ = 0;
    HANDLE mutex_ = nullptr;
};
