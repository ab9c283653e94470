#include "buffers/PixelHolder.h"

#include "support/KVUtilException.h"

#include <cstring>
#include <limits>
#include <new>

namespace Korvel {

bool PixelHolder::BandBuffer::resize(std::uint64_t bytes) {
    if (bytes <= capacity_) {
        size_ = static_cast<std::uint32_t>(bytes);
        grown_ = false;
        return data_ != nullptr;
    }
    grown_ = true;
    // A size beyond the 32-bit capacity is a failed resize, never a shorter buffer.
    void* grown = bytes <= std::numeric_limits<std::uint32_t>::max()
                      ? std::realloc(data_.get(), static_cast<std::size_t>(bytes))
                      : nullptr;
    if (grown == nullptr) {
        data_.reset();
        capacity_ = 0;
        size_ = 0;
        return false;
    }
    (void)data_.release(); // realloc has taken over (or freed) the old block
    data_.reset(static_cast<std::uint8_t*>(grown));
    capacity_ = static_cast<std::uint32_t>(bytes);
    size_ = capacity_;
    return true;
}

PixelHolder::PixelHolder(const KVIPixel& pixel) try
    : pixel_(pixel), numBands_(pixel.getNumBands()) {
    bands_.resize(numBands_);
    bandData_.assign(numBands_, nullptr);
} catch (const std::bad_alloc&) {
    throw KVUtilException(KV_OUT_OF_MEMORY);
}

PixelHolder::~PixelHolder() = default;

bool PixelHolder::resize(std::uint32_t numPixels) {
    grown_ = false;
    bool ok = true;
    for (std::uint16_t band = 0; band < numBands_; ++band) {
        BandBuffer& buffer = bands_[band];
        // Every band is resized, whatever happened to the ones before.
        ok &= buffer.resize(std::uint64_t{pixel_.getSample(band).getNumBytes()} * numPixels);
        grown_ |= buffer.isGrown();
        bandData_[band] = buffer.getData();
    }
    return ok;
}

void PixelHolder::fill(std::uint8_t value) {
    for (const BandBuffer& buffer : bands_)
        if (buffer.getData() != nullptr) std::memset(buffer.getData(), value, buffer.getSize());
}

} // namespace Korvel
