#pragma once
// Resamples rows of a source scene buffer into rows of a destination scene buffer at another
// pixel spacing, band by band through a row resampler of the buffers' data type. One
// implementation exists per method (KVIResamplerImp); its taps are the rows and columns around
// the integer source position that the method reads (nearest 0 ... 0, linear 0 ... 1, cubic
// -1 ... 2).
//
// Rectangles of samples of a buffer's window are KVIRects (all four bounds inclusive). Positions
// and steps are single precision. Destination row r (from the rectangle's top) reads
// source rows around originY + r x stepY, accumulated one addition per row; sample c of it reads
// columns around originX + c x stepX, accumulated per sample. Source rows and columns are held
// within the source rectangle, so a destination reaching past it repeats its edge rows and
// columns.

#include "model/KVIRect.h"
#include "model/KVIScene.h"
#include "support/KVStatus.h"

#include <cstdint>
#include <memory>

namespace Korvel {

class KVIImage;
class KVIRowResampler;
class KVISceneBuffer;

inline constexpr std::uint32_t KVI_RESAMPLE_NEAREST = 1;
inline constexpr std::uint32_t KVI_RESAMPLE_LINEAR = 2;
inline constexpr std::uint32_t KVI_RESAMPLE_CUBIC = 3;

class KVIResampler {
public:
    // The resampler of a method (KVI_RESAMPLE_...) for samples of a data type; null for another
    // method, a data type without a row resampler, or when memory runs out.
    static std::unique_ptr<KVIResampler> create(std::uint32_t dataType, std::uint32_t method);

    KVIResampler(const KVIResampler&) = delete;
    KVIResampler& operator=(const KVIResampler&) = delete;
    virtual ~KVIResampler();

    std::int32_t getFirstTap() const { return firstTap_; }
    std::int32_t getLastTap() const { return lastTap_; }

    // Resamples the rows of the stack of two buffers, upper then lower (row k of the stack is row
    // k of the upper window when k is below its height, else row k - height of the lower one),
    // into the destination rectangle. The two buffers must have the same total width; both are
    // read from column x0 of the source rectangle.
    // KV_BAD_ARGUMENT when a rectangle is not inside its windows (an empty destination rectangle
    // does nothing), KV_PIXEL_BAND_COUNT_MISMATCH or KV_PIXEL_DATA_TYPE_MISMATCH when a buffer's
    // bands differ from the destination's or from the resampler's data type.
    virtual KVStatus resampleStrips(KVISceneBuffer& destination, const KVIRect& dstRect,
                                    const KVISceneBuffer& upper, const KVISceneBuffer& lower,
                                    const KVIRect& srcRect, float originX, float originY,
                                    float stepX, float stepY) const = 0;
    // The same from one source buffer.
    virtual KVStatus resampleBuffer(KVISceneBuffer& destination, const KVIRect& dstRect,
                                    const KVISceneBuffer& source, const KVIRect& srcRect,
                                    float originX, float originY, float stepX,
                                    float stepY) const = 0;

    // The whole-pixel scene of the image that resampling the scene reads: the scene widened by
    // the taps (floor of the upper-left corner plus the first tap, ceil of the lower-right corner
    // plus the last tap) and held within the image at the scene's magnification.
    KVIScene getInputScene(const KVIImage& image, const KVIScene& scene) const;

protected:
    KVIResampler(std::int32_t firstTap, std::int32_t lastTap, std::uint32_t sampleBytes,
                 std::unique_ptr<KVIRowResampler> rowResampler);

    const KVIRowResampler& getRowResampler() const { return *rowResampler_; }
    std::uint32_t getSampleBytes() const { return sampleBytes_; }

private:
    std::int32_t firstTap_;
    std::int32_t lastTap_;
    std::uint32_t sampleBytes_;
    std::unique_ptr<KVIRowResampler> rowResampler_;
};

} // namespace Korvel
