#pragma once
// The JPEG 2000 context rules (T.800 Annex D, Tables D.1 to D.4) as the public test vectors
// state them, for the test-side subblock encoder and for checking the decoder's tables: each rule
// is kept as the rows of its published table and looked up row by row.

namespace quarn_test {

// Orientation of a raster subband from its index: 0 and 4m + 1 low-low, 4m + 2 high-low
// (horizontally high-pass), 4m + 3 low-high, 4m + 4 high-high.
enum class RasterOrientation { LL, HL, LH, HH };
RasterOrientation rasterOrientation(unsigned subband);

// Table D.1 from the counts of significant horizontal (h: 0-2), vertical (v: 0-2) and diagonal
// (d: 0-4) neighbours.
unsigned zeroCodingLabel(RasterOrientation orientation, unsigned h, unsigned v, unsigned d);

// Tables D.2 and D.3 from the horizontal and vertical contributions (-1, 0 or 1 each).
struct SignLabel {
    unsigned label;
    unsigned xorBit; // decoded bit XOR xorBit = sign bit (1 negative)
};
SignLabel signCodingLabel(int hc, int vc);

// Table D.4: a first refinement by the count of significant neighbours; 16 for later ones.
unsigned refinementLabel(bool firstRefinement, unsigned significantNeighbours);

} // namespace quarn_test
