#pragma once
// A buffered sequential reader over a Korvel::IO, through which every chunk of a file is read.
// A short read count is not an error here: callers compare it with what they asked for.

#include "IO.h"
#include "XAlloc.h"

#include <cstdint>

namespace Korvel {

class BufferedIOReader {
public:
    KORVEL_XALLOC_OPERATORS

    enum Origin { FromStart = 0, FromCurrent = 1, FromEnd = 2 };

    BufferedIOReader() = default;
    BufferedIOReader(const BufferedIOReader&) = delete;
    BufferedIOReader& operator=(const BufferedIOReader&) = delete;
    ~BufferedIOReader();

    // Takes a reference to the IO; opens with bufferSize when open is set.
    void attach(IO* io, bool open, std::int64_t bufferSize);
    // Attaches to the location's IO with a buffer of the location's length when that is at least
    // 1 and below maxBufferSize, else maxBufferSize, and seeks to the location's offset. The
    // location's end bounds remaining().
    void attach(const IO::Location& location, std::int64_t maxBufferSize);

    // Allocates the buffer and opens the IO; does nothing when already open.
    void open(std::int64_t bufferSize);
    // Closes the IO and frees the buffer; does nothing when not open.
    void close();

    // Origin FromStart, FromCurrent or FromEnd (the IO's size). A target before the start of the
    // IO, or one that does not fit in 64 bits, throws.
    void seek(std::int64_t offset, int origin);
    std::int64_t tell() const;
    // Copies up to n bytes to destination; returns the count copied.
    std::int64_t read(void* destination, std::int64_t n);

    // Bytes from the current position to the end of the window: the attached location's end, or
    // the IO's size when attached to a whole IO; 0 past it.
    std::int64_t remaining() const;

    IO* getIO() const { return io_; }
    std::int64_t getBufferSize() const { return bufferSize_; }
    bool isOpen() const { return buffer_ != nullptr; }

private:
    void detach();

    IO* io_ = nullptr;
    std::int64_t bufferSize_ = 0;
    std::int64_t filePos_ = 0;
    unsigned char* buffer_ = nullptr;
    unsigned char* cur_ = nullptr;
    unsigned char* end_ = nullptr;
    std::int64_t windowEnd_ = -1; // -1: the whole IO
};

} // namespace Korvel
