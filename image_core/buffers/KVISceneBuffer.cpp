#include "buffers/KVISceneBuffer.h"

#include "buffers/KVIRunMask.h"
#include "model/KVIDataTypeDispatch.h"
#include "support/KVUtilException.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

namespace Korvel {

namespace {

// Bytes of a band of width x height samples of sampleBytes each; throws KV_OUT_OF_MEMORY when the
// product does not fit in a pointer difference.
std::size_t bandBytes(std::uint32_t sampleBytes, std::uint32_t width, std::uint32_t height) {
    std::uint64_t bytes = 0;
    if (__builtin_mul_overflow(std::uint64_t{width} * height, std::uint64_t{sampleBytes}, &bytes) ||
        bytes > static_cast<std::uint64_t>(PTRDIFF_MAX))
        throw KVUtilException(KV_OUT_OF_MEMORY);
    return static_cast<std::size_t>(bytes);
}

// Spreads pixel-interleaved samples of sizeof(T) bytes over the band rows.
template <typename T>
const std::uint8_t* importRows(const std::uint8_t* source, const std::vector<std::uint8_t*>& bands,
                               std::size_t strideBytes, std::uint32_t width, std::uint32_t height) {
    const std::size_t numBands = bands.size();
    for (std::uint32_t r = 0; r < height; ++r) {
        const std::size_t rowOffset = r * strideBytes;
        for (std::uint32_t c = 0; c < width; ++c) {
            const std::size_t offset = rowOffset + std::size_t{c} * sizeof(T);
            for (std::size_t b = 0; b < numBands; ++b) {
                std::memcpy(bands[b] + offset, source, sizeof(T));
                source += sizeof(T);
            }
        }
    }
    return source;
}

} // namespace

KVISceneBuffer::KVISceneBuffer(const KVIPixel& pixelProps, std::uint32_t totalWidth,
                               std::uint32_t totalHeight, std::uint32_t windowX,
                               std::uint32_t windowY, std::uint32_t windowWidth,
                               std::uint32_t windowHeight, std::uint8_t** bandBuffers) try
    : pixelProps_(pixelProps), numBands_(pixelProps.getNumBands()), totalWidth_(totalWidth),
      totalHeight_(totalHeight), windowX_(windowX), windowY_(windowY), windowWidth_(windowWidth),
      windowHeight_(windowHeight), bandBuffers_(bandBuffers) {
    bytesPerSample_.resize(numBands_);
    for (std::uint16_t band = 0; band < numBands_; ++band)
        bytesPerSample_[band] = pixelProps_.getSample(band).getNumBytes();
    if (bandBuffers_ == nullptr) allocateBands();
    placeWindow();
} catch (const std::bad_alloc&) {
    throw KVUtilException(KV_OUT_OF_MEMORY);
}

KVISceneBuffer::KVISceneBuffer(const KVIPixel& pixelProps, std::uint32_t width,
                               std::uint32_t height, std::uint8_t** bandBuffers)
    : KVISceneBuffer(pixelProps, width, height, 0, 0, width, height, bandBuffers) {}

KVISceneBuffer::KVISceneBuffer(const KVISceneBuffer& parent, std::uint32_t x, std::uint32_t y,
                               std::uint32_t width, std::uint32_t height) try
    : pixelProps_(parent.pixelProps_), numBands_(parent.numBands_), totalWidth_(parent.totalWidth_),
      totalHeight_(parent.totalHeight_), windowWidth_(width), windowHeight_(height),
      bandBuffers_(parent.bandBuffers_), bytesPerSample_(parent.bytesPerSample_) {
    const std::uint64_t left = std::uint64_t{parent.windowX_} + x;
    const std::uint64_t top = std::uint64_t{parent.windowY_} + y;
    if (left > totalWidth_ || top > totalHeight_) throw KVUtilException(KV_SCENE_BUFFER_MISMATCH);
    windowX_ = static_cast<std::uint32_t>(left);
    windowY_ = static_cast<std::uint32_t>(top);
    placeWindow();
} catch (const std::bad_alloc&) {
    throw KVUtilException(KV_OUT_OF_MEMORY);
}

KVISceneBuffer::~KVISceneBuffer() = default;

void KVISceneBuffer::allocateBands() {
    ownedBands_.reserve(numBands_);
    ownedBandPointers_.assign(numBands_, nullptr);
    for (std::uint16_t band = 0; band < numBands_; ++band) {
        const std::size_t bytes = bandBytes(bytesPerSample_[band], totalWidth_, totalHeight_);
        std::uint8_t* memory = nullptr;
        if (bytes > 0) {
            memory = static_cast<std::uint8_t*>(std::calloc(bytes, 1));
            if (memory == nullptr) throw KVUtilException(KV_OUT_OF_MEMORY);
        }
        ownedBands_.emplace_back(memory);
        ownedBandPointers_[band] = memory;
    }
    bandBuffers_ = ownedBandPointers_.data();
}

void KVISceneBuffer::placeWindow() {
    // The window must lie inside the area: a window beyond it would address memory that is not
    // the buffer's.
    if (std::uint64_t{windowX_} + windowWidth_ > totalWidth_ ||
        std::uint64_t{windowY_} + windowHeight_ > totalHeight_)
        throw KVUtilException(KV_SCENE_BUFFER_MISMATCH);
    windowBands_.assign(numBands_, nullptr);
    for (std::uint16_t band = 0; band < numBands_; ++band) {
        std::uint8_t* base = bandBuffers_[band];
        if (base == nullptr) continue;
        const std::size_t area = bandBytes(bytesPerSample_[band], totalWidth_, totalHeight_);
        const std::uint64_t offset =
            (std::uint64_t{windowY_} * totalWidth_ + windowX_) * bytesPerSample_[band];
        // An empty window on the far edge stays at the end of the band.
        windowBands_[band] = base + std::min<std::uint64_t>(offset, area);
    }
}

std::uint32_t KVISceneBuffer::getBytesPerSample(std::uint16_t band) const {
    return band < numBands_ ? bytesPerSample_[band] : 0;
}

std::uint8_t* KVISceneBuffer::getWindowBandData(std::uint16_t band) const {
    return band < numBands_ ? windowBands_[band] : nullptr;
}

KVStatus KVISceneBuffer::copyBandWindow(std::uint16_t dstBand, const KVISceneBuffer& source,
                                        std::uint16_t srcBand, const KVIRunMask* mask) {
    if (dstBand >= numBands_ || srcBand >= source.numBands_) return KV_BAD_ARGUMENT;
    const std::size_t bytes = bytesPerSample_[dstBand];
    if (source.bytesPerSample_[srcBand] != bytes) return KV_PIXEL_DATA_TYPE_MISMATCH;
    const std::uint32_t width = std::min(windowWidth_, source.windowWidth_);
    const std::uint32_t height = std::min(windowHeight_, source.windowHeight_);
    if (width == 0 || height == 0 || bytes == 0) return KV_OK;

    const std::size_t dstStride = std::size_t{totalWidth_} * bytes;
    const std::size_t srcStride = std::size_t{source.totalWidth_} * bytes;
    std::uint8_t* const dst = windowBands_[dstBand];
    const std::uint8_t* const src = source.windowBands_[srcBand];
    // Windows over the same band buffers may overlap, hence memmove.
    if (mask == nullptr) {
        for (std::uint32_t r = 0; r < height; ++r)
            std::memmove(dst + r * dstStride, src + r * srcStride, width * bytes);
        return KV_OK;
    }
    const std::uint32_t maskRows = std::min(height, mask->getRowCount());
    for (std::uint32_t r = 0; r < maskRows; ++r) {
        const KVIRunList* list = mask->getRow(r);
        if (list == nullptr) continue;
        std::uint8_t* const dstRow = dst + r * dstStride;
        const std::uint8_t* const srcRow = src + r * srcStride;
        for (const KVIRun* run = KVIRunList::lowerBound(list, 0); run != list->end(); ++run) {
            if (run->start >= static_cast<std::int64_t>(width)) break;
            const std::int64_t first = std::max<std::int64_t>(run->start, 0);
            const std::int64_t stop =
                std::min<std::int64_t>(std::int64_t{run->end} + 1, std::int64_t{width});
            if (stop > first)
                std::memmove(dstRow + first * bytes, srcRow + first * bytes,
                             (stop - first) * bytes);
        }
    }
    return KV_OK;
}

KVStatus KVISceneBuffer::importInterleaved(const void* data) {
    const auto* source = static_cast<const std::uint8_t*>(data);
    if (numBands_ == 0 || windowWidth_ == 0 || windowHeight_ == 0) return KV_OK;
    const std::uint32_t common = bytesPerSample_[0];
    const bool uniform = std::all_of(bytesPerSample_.begin(), bytesPerSample_.end(),
                                     [common](std::uint32_t bytes) { return bytes == common; });
    if (uniform && common == 0) return KV_OK;
    const std::size_t stride = std::size_t{totalWidth_} * common;
    // One kernel for the whole window when every band has the same sample type.
    const std::uint32_t dataType = pixelProps_.getSample(0).getDataType();
    bool sameType = true;
    for (std::uint16_t band = 1; band < numBands_; ++band)
        sameType = sameType && pixelProps_.getSample(band).getDataType() == dataType;
    if (uniform && sameType && withSampleType(dataType, [&](auto zero) {
            importRows<decltype(zero)>(source, windowBands_, stride, windowWidth_, windowHeight_);
        }))
        return KV_OK;
    for (std::uint32_t r = 0; r < windowHeight_; ++r)
        for (std::uint32_t c = 0; c < windowWidth_; ++c)
            for (std::uint16_t b = 0; b < numBands_; ++b) {
                const std::size_t bytes = bytesPerSample_[b];
                if (bytes == 0) continue;
                std::memcpy(windowBands_[b] + (std::size_t{r} * totalWidth_ + c) * bytes, source,
                            bytes);
                source += bytes;
            }
    return KV_OK;
}

} // namespace Korvel
