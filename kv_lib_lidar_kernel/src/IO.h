#pragma once
// The kernel's random-access byte input. A derived IO supplies pread and size, and may use the
// open and close hooks, which run when the count of opens goes from 0 to 1 and back.

#include "Mutex.h"
#include "Object.h"

#include <cstdint>

namespace Korvel {

class IO : public Object {
public:
    // A byte range of an IO; holds one reference to the IO while it names one.
    class Location {
    public:
        Location() = default;
        Location(IO* io, std::int64_t offset, std::int64_t length);
        Location(const Location& other);
        Location& operator=(const Location& other);
        ~Location();

        // The IO is retained and the old one released only when the IO changes.
        void set(IO* io, std::int64_t offset, std::int64_t length);
        void clear() { set(nullptr, 0, 0); }

        IO* getIO() const { return io_; }
        std::int64_t getOffset() const { return offset_; }
        std::int64_t getLength() const { return length_; }

    private:
        IO* io_ = nullptr;
        std::int64_t offset_ = 0;
        std::int64_t length_ = 0;
    };

    IO() = default;

    // Reads up to count bytes at the absolute offset; returns how many (0 at or past the end).
    virtual std::int64_t pread(std::int64_t offset, void* buffer, std::int64_t count);
    // Inputs of this system write nothing.
    virtual std::int64_t pwrite(std::int64_t offset, const void* buffer, std::int64_t count);
    virtual std::int64_t size();

    // The first open runs the open hook, the last close the close hook. A hook that throws
    // leaves the count as it was.
    void open();
    void close();
    std::int64_t getOpenCount();

protected:
    ~IO() override;

    virtual void openHook();
    virtual void closeHook();

private:
    std::int64_t openCount_ = 0;
    Mutex mutex_;
};

} // namespace Korvel
