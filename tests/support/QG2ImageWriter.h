#pragma once
// Generation-2 images made from pixel planes, for the decoder's tests and benchmarks, and the
// plain double-precision wavelet they are made with. Written from the format's description, never
// from the decoder:
//
// - the 9/7 lifting without its scaling step, in double precision with the format's four
//   single-precision constants, whole-sample symmetric extension; forward: odd -= 1.5861344 x
//   (even neighbours), even -= 0.052980117 x (odd neighbours), odd += 0.8829111 x (even...),
//   even += 0.44350684 x (odd...); each level on the rows, then the columns, of the low band;
// - subbands in file order: the coarsest low band, then the three high subbands of each level
//   (horizontally high, vertically high, both high), coarsest level first;
// - quantisation: a coefficient u of a subband whose scale factor is s (the product of
//   1.1496044397354126 per low-pass and 0.8698644206960049 per high-pass direction on the way
//   from the image) and whose band has step D is stored as q = sign(c) floor(|c| + 0.44),
//   c = u s / D, held to 16 bits; the decoder gives back (|q| + 0.06) D / s;
// - each subband cut into a grid of regions, each region's band into blocks, each block coded
//   with a Huffman table built from the band's symbol counts as in the JPEG standard (Annex K.2
//   and K.3: lengths of at most 16 bits, the all-ones code left unused).

#include "QG2FileWriter.h"

#include <cstdint>
#include <vector>

namespace quarn_test {

// One subband's samples, row by row.
struct QG2Plane {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<double> samples;

    double at(std::uint32_t x, std::uint32_t y) const {
        return samples[std::size_t{y} * width + x];
    }
};

// The subbands of an image of width x height after levels forward steps, in file order.
std::vector<QG2Plane> qg2Forward97(const QG2Plane& image, std::uint32_t levels);
// The image that the subbands give (file order, as qg2Forward97 makes them): all of them, or
// only the coarsest 3 x (levels - skip) + 1 for a smaller image; extra levels (magnify > 0) of
// zero high subbands make a larger one.
QG2Plane qg2Inverse97(const std::vector<QG2Plane>& subbands, std::uint32_t levels,
                      std::uint32_t skip = 0, std::uint32_t magnify = 0);

// The scale factor of subband i (file order) of a decode of levels levels at level 0.
double qg2SubbandScale(std::uint32_t subband, std::uint32_t levels);

struct QG2ImageSpec {
    std::uint32_t levels = 0;
    // One plane per band, each the image's width x height: grey, or Y, I, Q (and K).
    std::vector<QG2Plane> bands;
    // One step per band.
    std::vector<float> steps;
    std::uint32_t blockWidth = 8;
    std::uint32_t blockHeight = 8;
    // Regions per subband: the subband cut into this grid (fewer where it is smaller).
    std::uint32_t regionsAcross = 1;
    std::uint32_t regionsDown = 1;
    std::uint8_t ditherColumn = 0;
    std::uint8_t ditherRow = 0;
    // Metadata with "IMAGE::NO_DITHER".
    bool noDither = false;
    // Metadata that places the image: x and y of its origin, x and y resolutions.
    std::optional<std::array<double, 4>> geo;
    // The 0xFF 0xD2 segment: x0, y0, x1, y1, level offset.
    std::optional<std::array<std::uint32_t, 5>> region;
};

struct QG2Image {
    QG2WrittenFile file;
    // The quantised coefficients, per subband (file order) and band.
    std::vector<std::vector<std::vector<std::int32_t>>> quantised;
    std::vector<QG2Plane> sizes; // each subband's size (samples left empty)
};

QG2Image writeQG2Image(const QG2ImageSpec& spec);

// The Huffman table of JPEG Annex K.2 / K.3 for symbols with these counts (symbol, count).
QG2HuffmanTable qg2OptimalTable(const std::vector<std::uint64_t>& counts);

} // namespace quarn_test
