#pragma once
// Reusable sample memory for one pixel type: a growable byte buffer per band, sized for a number
// of pixels. A scene buffer is built over getBandData(), so consecutive strips reuse the same
// memory and allocate only when a strip is larger than any before. Memory only grows, and grows to
// the exact size asked.

#include "model/KVIPixel.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace Korvel {

class PixelHolder {
public:
    // One band's memory.
    class BandBuffer {
    public:
        // Makes the buffer hold bytes bytes. A size within the capacity keeps the memory (grown
        // false); a larger one reallocates to exactly that size, keeping the old contents (grown
        // true). When that fails, or the size does not fit the 32-bit capacity, the memory is
        // freed and the buffer is left empty. True when the buffer has memory.
        bool resize(std::uint64_t bytes);

        std::uint32_t getCapacity() const { return capacity_; }
        std::uint32_t getSize() const { return size_; }
        std::uint8_t* getData() const { return data_.get(); }
        bool isGrown() const { return grown_; }

    private:
        struct FreeDeleter {
            void operator()(std::uint8_t* p) const { std::free(p); }
        };

        std::uint32_t capacity_ = 0;
        std::uint32_t size_ = 0;
        std::unique_ptr<std::uint8_t, FreeDeleter> data_;
        bool grown_ = false;
    };

    // Throws KVUtilException with KV_OUT_OF_MEMORY when memory runs out.
    explicit PixelHolder(const KVIPixel& pixel);
    PixelHolder(const PixelHolder&) = delete;
    PixelHolder& operator=(const PixelHolder&) = delete;
    ~PixelHolder();

    // Sizes every band for numPixels samples (sizes formed in 64 bits). True when every band has
    // its memory; a band that failed has a null data pointer while the others are resized as
    // asked. A pixel of no bands always succeeds.
    bool resize(std::uint32_t numPixels);
    // Sets the bytes in use of every band that has memory to value.
    void fill(std::uint8_t value);

    // The current data pointer of each band, refreshed by every resize.
    std::uint8_t** getBandData() { return bandData_.data(); }
    const KVIPixel& getPixel() const { return pixel_; }
    std::uint16_t getNumBands() const { return numBands_; }
    const BandBuffer& getBand(std::uint16_t band) const { return bands_.at(band); }
    // Whether the last resize reallocated any band.
    bool isGrown() const { return grown_; }

private:
    std::vector<BandBuffer> bands_;
    KVIPixel pixel_;
    std::uint16_t numBands_ = 0;
    std::vector<std::uint8_t*> bandData_;
    bool grown_ = false;
};

} // namespace Korvel
