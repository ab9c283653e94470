#pragma once
// The samples of a rectangular window of pixels, one buffer per band. Each band buffer holds
// totalWidth x totalHeight samples, row-major; the window lies inside that area, so one set of
// band buffers can be handed out as many windows without copying. Windows are views: a window
// made over a parent shares the parent's band buffers, which must outlive it.

#include "model/KVIPixel.h"
#include "support/KVStatus.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

namespace Korvel {

class KVIRunMask;

class KVISceneBuffer {
public:
    // A window of a totalWidth x totalHeight area. With bandBuffers the buffer works over that
    // very array of band pointers (each band totalWidth x totalHeight samples, kept alive by the
    // caller); without, it allocates zeroed band buffers of its own. Throws KVUtilException with
    // KV_OUT_OF_MEMORY when memory runs out or the area's size does not fit in memory, and with
    // KV_SCENE_BUFFER_MISMATCH when the window does not lie inside the area.
    KVISceneBuffer(const KVIPixel& pixelProps, std::uint32_t totalWidth, std::uint32_t totalHeight,
                   std::uint32_t windowX, std::uint32_t windowY, std::uint32_t windowWidth,
                   std::uint32_t windowHeight, std::uint8_t** bandBuffers = nullptr);
    // The whole width x height area as the window.
    KVISceneBuffer(const KVIPixel& pixelProps, std::uint32_t width, std::uint32_t height,
                   std::uint8_t** bandBuffers = nullptr);
    // A width x height window at (x, y) of the parent's window, over the parent's band buffers.
    // Throws as above; the window must lie inside the parent's total area.
    KVISceneBuffer(const KVISceneBuffer& parent, std::uint32_t x, std::uint32_t y,
                   std::uint32_t width, std::uint32_t height);
    KVISceneBuffer(const KVISceneBuffer&) = delete;
    KVISceneBuffer& operator=(const KVISceneBuffer&) = delete;
    ~KVISceneBuffer();

    const KVIPixel& getPixelProps() const { return pixelProps_; }
    std::uint16_t getNumBands() const { return numBands_; }
    std::uint32_t getTotalWidth() const { return totalWidth_; }
    std::uint32_t getTotalHeight() const { return totalHeight_; }
    std::uint32_t getWindowX() const { return windowX_; }
    std::uint32_t getWindowY() const { return windowY_; }
    std::uint32_t getWindowWidth() const { return windowWidth_; }
    std::uint32_t getWindowHeight() const { return windowHeight_; }
    // Samples per band of the window.
    std::uint64_t getWindowSize() const { return std::uint64_t{windowWidth_} * windowHeight_; }
    // Bytes of one sample of a band; 0 for a band beyond the last.
    std::uint32_t getBytesPerSample(std::uint16_t band) const;
    // The window's top-left sample of a band; row r starts getTotalWidth() samples per row
    // further. Null for a band beyond the last.
    std::uint8_t* getWindowBandData(std::uint16_t band) const;

    // Copies the common top-left part of the source's window, band srcBand, into band dstBand of
    // this window; with a mask only the columns of each mask row's runs (rows without runs, and
    // rows beyond the mask, are left alone). KV_BAD_ARGUMENT for a band beyond the last,
    // KV_PIXEL_DATA_TYPE_MISMATCH when the two bands' samples differ in size.
    KVStatus copyBandWindow(std::uint16_t dstBand, const KVISceneBuffer& source,
                            std::uint16_t srcBand, const KVIRunMask* mask = nullptr);
    // Fills the window from pixel-interleaved samples: rows of windowWidth pixels, each pixel
    // its bands in order, no row padding.
    KVStatus importInterleaved(const void* data);

private:
    struct FreeDeleter {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };

    void allocateBands();
    void placeWindow();

    KVIPixel pixelProps_;
    std::uint16_t numBands_ = 0;
    std::uint32_t totalWidth_ = 0;
    std::uint32_t totalHeight_ = 0;
    std::uint32_t windowX_ = 0;
    std::uint32_t windowY_ = 0;
    std::uint32_t windowWidth_ = 0;
    std::uint32_t windowHeight_ = 0;
    std::uint8_t** bandBuffers_ = nullptr;
    std::vector<std::uint8_t*> windowBands_;
    std::vector<std::uint32_t> bytesPerSample_;
    // Only when the buffer allocated its bands: the memory and the pointer array over it.
    std::vector<std::unique_ptr<std::uint8_t, FreeDeleter>> ownedBands_;
    std::vector<std::uint8_t*> ownedBandPointers_;
};

} // namespace Korvel
