#pragma once
// What every Quarn raster reader reports beside the image model: the file's four version bytes,
// its number of resolution levels, and the memory and stream usage that it was opened with.

#include <cstdint>

namespace Korvel {

// Memory usage: how much of an image's subblock table is held while decoding.
inline constexpr std::uint32_t QRN_MEMORY_AUTOMATIC = 1;
inline constexpr std::uint32_t QRN_MEMORY_PARTIAL = 2;
inline constexpr std::uint32_t QRN_MEMORY_FULL = 3;
inline constexpr std::uint32_t QRN_MEMORY_FULL_SHARED = 4;
// Stream usage: 2 keeps the file stream open for the reader's life; any other value opens and
// closes it around each access.
inline constexpr std::uint32_t QRN_STREAM_KEEP_OPEN = 2;
inline constexpr std::uint32_t QRN_STREAM_OPEN_PER_ACCESS = 3;

class QuarnImageReaderInterface {
public:
    QuarnImageReaderInterface(const QuarnImageReaderInterface&) = delete;
    QuarnImageReaderInterface& operator=(const QuarnImageReaderInterface&) = delete;

    virtual std::uint8_t getNumLevels() const = 0;
    // Bytes 4 to 7 of the file, or what the generation keeps of them.
    virtual void getVersion(std::uint8_t& b0, std::uint8_t& b1, std::uint8_t& b2,
                            std::uint8_t& b3) const = 0;

    std::uint32_t getMemoryUsage() const { return memoryUsage_; }
    std::uint32_t getStreamUsage() const { return streamUsage_; }

protected:
    QuarnImageReaderInterface() = default;
    // Readers are reference-counted stages: never deleted through this interface.
    virtual ~QuarnImageReaderInterface() = default;

    std::uint32_t memoryUsage_ = 0;
    std::uint32_t streamUsage_ = 0;
};

} // namespace Korvel
