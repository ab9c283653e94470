#pragma once
// Real coded generation-3/4 raster images for tests, written from pixel planes through the test
// side alone: the forward wavelet (RasterForwardWavelet), the colour transform the image's code
// names (written here from its lifting steps), the bit-plane coder (RasterSubblockEncoder) and the
// plane-item writer (PlaneItemWriter).
//
// A lossy image drops the low planes of its high subbands. Subblocks code only the part of them
// that the crop window reaches (the window mapped to each subband with the synthesis margins), so
// that the coefficients a decoder sees are zero elsewhere. expected() gives what a decoder must
// rebuild from what was coded: the kept planes with the midpoint offsets, the colour transform
// undone (only when every band is decoded), then the plain whole-image inverse.
//
// Several images make one file: packets(n) gives the header and planeset packets of image n.

#include "PlaneItemWriter.h"
#include "RasterFileWriter.h"
#include "RasterForwardWavelet.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace quarn_test {

struct RasterImage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    // One plane per band, width x height samples row by row: the integers the decoder rebuilds
    // (float images keep integers that the band's scale and offset map).
    std::vector<std::vector<std::int32_t>> planes;
    std::uint8_t dataType = 5; // the data-type code
    std::int32_t sampleMin = 0;
    std::int32_t sampleMax = 255;
    std::uint8_t colorSpace = 1; // 1 grey, 10 RGB, 5 multiband, ...
    std::uint8_t levels = 3;
    std::uint16_t subblockSize = 32;
    std::uint8_t colorTransform = 1; // the stored code: 1 none, 4 or 7, 10 or 13
    unsigned refinementBits = 0;     // low bits kept in each level's refinement subband
    unsigned droppedPlanes = 0;      // lossy: low planes dropped in every high subband
    std::uint32_t rawPlanes = 0;     // bit p: plane p written raw
    PlaneFormat format;              // order, layout, prefix form, words and values
    // An inclusive window (x0, y0, x1, y1) of the stored image at cropLevel.
    std::optional<std::array<std::int32_t, 4>> crop;
    std::uint8_t cropLevel = 0;
    std::vector<std::pair<float, float>> bandScales; // scale, offset per band
    std::uint32_t auxCodeD = 0;
};

// Appends `bands` planes of the image's size whose sample at column x is sample(x), taken band
// by band in row order (so that a sample drawing random numbers draws them in that order).
template <class Sample> void appendPlanes(RasterImage& image, unsigned bands, Sample sample) {
    for (unsigned b = 0; b < bands; ++b) {
        std::vector<std::int32_t> plane(std::size_t(image.width) * image.height);
        for (std::size_t i = 0; i < plane.size(); ++i)
            plane[i] = sample(static_cast<std::uint32_t>(i % image.width));
        image.planes.push_back(std::move(plane));
    }
}

class RasterImageCoder {
public:
    explicit RasterImageCoder(RasterImage image);

    const RasterImage& image() const { return image_; }
    HeaderBody headerBody() const;
    // The header and planeset packets of the image as image number imageNumber.
    std::vector<RasterPacket> packets(std::uint32_t imageNumber) const;
    // A file of the image as image 1, then the further packets.
    Bytes file(const Version& version, const std::vector<RasterPacket>& more = {}) const;

    // Band `band` of the stored image at level `skipped` (0 the full size) as the decoder
    // rebuilds it before the output conversion; the colour transform is undone only when
    // allBands (every band decoded).
    const RasterSubband& expected(unsigned band, std::uint8_t skipped, bool allBands = true) const;
    // The coefficients of each band as the decoder sees them (coded parts only, lossy planes
    // reconstructed), before the colour transform is undone.
    const std::vector<RasterSubbands>& decodedCoefficients() const { return decoded_; }
    std::size_t planeDataBytes() const { return planeData_.size(); }

private:
    void code();

    RasterImage image_;
    PlaneItemWriter items_;
    std::vector<RasterSubbands> decoded_;
    Bytes planeData_; // for image 1
    mutable std::map<std::pair<int, bool>, std::vector<RasterSubband>> expected_;
};

// The reversible colour transform on three planes of samples (x, y, z triples at one index),
// from its lifting steps with R(p) = floor((p + 8192) / 16384).
void rasterColorForward(std::int32_t& a, std::int32_t& b, std::int32_t& c);
void rasterColorInverse(std::int32_t& a, std::int32_t& b, std::int32_t& c);

} // namespace quarn_test
