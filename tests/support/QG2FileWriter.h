#pragma once
// Writes generation-2 files byte by byte from their layout, for the decoder's tests. All integers
// are big-endian.
//
//   header:     "qrnd", 3 version bytes, u32 bands, u32 levels, u32 width, u32 height,
//               one u32 offset per subband (0: no data)
//   segments:   0xFF 0xD0 u32 metadata offset; 0xFF 0xD2 u32 x0 y0 x1 y1 level offset; 0xFF 0xD3
//   subband:    0xFF 0xAC, u8 column dither offset, u8 row dither offset, u32 region count,
//               per region: one u32 directory offset per band (0: none), u32 x0 y0 x1 y1
//   directory:  0xFF 0xAA, BITS[16], HUFFVAL, f32 step, u32 block width, u32 block height,
//               one u32 offset per block; the blocks follow the directory
//   block:      0xFF 0xA3, then the Huffman codes and raw bits of its symbols, most significant
//               bit first, a 0x00 stuffed after every 0xFF, the last byte filled with 1-bits
//
// Canonical codes are generated here as the JPEG standard does (Annex C), independently of the
// decoder. Every position the tests may want to damage is reported with the bytes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace quarn_test {

struct QG2HuffmanTable {
    std::array<std::uint8_t, 16> bits{};
    std::vector<std::uint8_t> huffval;
};

// One code: its length in bits and its value.
struct QG2Code {
    int length = 0;
    std::uint32_t value = 0;
    bool operator==(const QG2Code&) const = default;
};

// The codes of a table, one per HUFFVAL entry, in HUFFVAL order.
std::vector<QG2Code> qg2CanonicalCodes(const QG2HuffmanTable& table);
// A table that gives each symbol a code of one length, the shortest that leaves the all-ones code
// unused.
QG2HuffmanTable qg2FlatTable(const std::vector<std::uint8_t>& symbols);

// A symbol of a coded block and the raw bits that follow it.
struct QG2Symbol {
    std::uint8_t value = 0;
    std::uint32_t raw = 0;
    int rawBits = 0;
};
// A run of zeros: symbol 0..100, or 105 / 106 with the count in 8 / 16 raw bits.
QG2Symbol qg2Run(std::uint32_t count);
// One coefficient: a literal symbol (value + 180) for -73..75, else 101 / 102 with 8 raw bits,
// else 103 / 104 with 16.
QG2Symbol qg2Coefficient(std::int32_t value);
// Symbols for coefficients in raster order: zero runs (at most 65535 each) and coefficients.
std::vector<QG2Symbol> qg2Symbols(const std::vector<std::int32_t>& coefficients);
// Every symbol value a list uses, each once, in first-use order.
std::vector<std::uint8_t> qg2SymbolValues(const std::vector<QG2Symbol>& symbols);

// The coded block: 0xFF 0xA3 and the stuffed bit stream.
std::vector<std::uint8_t> qg2EncodeBlock(const QG2HuffmanTable& table,
                                         const std::vector<QG2Symbol>& symbols);

struct QG2BandLayout {
    QG2HuffmanTable table;
    float step = 1.0f;
    std::uint32_t blockWidth = 8;
    std::uint32_t blockHeight = 8;
    // Coded blocks, row by row; the directory lists exactly these.
    std::vector<std::vector<std::uint8_t>> blocks;
};

// A band whose blocks code the given coefficient rasters (one per block, row by row), all with one
// flat table over the symbols they use.
QG2BandLayout qg2CodedBand(const std::vector<std::vector<std::int32_t>>& blocks,
                           std::uint32_t blockWidth, std::uint32_t blockHeight, float step = 1.0f);

struct QG2RegionLayout {
    std::uint32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    // One entry per band of the file; none writes a directory offset of 0.
    std::vector<std::optional<QG2BandLayout>> bands;
};

struct QG2SubbandLayout {
    std::uint8_t ditherColumn = 0;
    std::uint8_t ditherRow = 0;
    std::vector<QG2RegionLayout> regions;
};

struct QG2FileLayout {
    std::array<std::uint8_t, 3> version{1, 1, 0};
    std::uint32_t bands = 1;
    std::uint32_t levels = 0;
    std::uint32_t width = 1;
    std::uint32_t height = 1;
    // 0xFF 0xD0, pointing at the metadata bytes below (0 when there are none).
    bool d0 = false;
    // 0xFF 0xD2: x0, y0, x1, y1, level offset.
    std::optional<std::array<std::uint32_t, 5>> region;
    bool d3 = false;
    // One entry per subband offset written (3 x levels + 1 for a sound file); none: offset 0.
    std::vector<std::optional<QG2SubbandLayout>> subbands;
    // Written after the subbands.
    std::vector<std::uint8_t> metadata;
    std::vector<std::uint8_t> trailer{0xFF, 0xD9};
};

struct QG2DirectoryPlace {
    std::size_t subband = 0, region = 0, band = 0;
    std::size_t at = 0;      // the 0xFF 0xAA
    std::size_t tableAt = 0; // the first block offset
    std::vector<std::size_t> blocksAt;
};

struct QG2WrittenFile {
    std::vector<std::uint8_t> bytes;
    std::size_t offsetsAt = 0;          // the subband offset table
    std::size_t d0At = 0, d2At = 0;     // segment bodies (0: absent)
    std::size_t afterSegments = 0;      // just after the last segment written
    std::vector<std::size_t> subbandAt; // 0 for a subband without data
    std::size_t metadataAt = 0;
    std::vector<QG2DirectoryPlace> directories;

    const QG2DirectoryPlace& directory(std::size_t subband, std::size_t region,
                                       std::size_t band) const;
};

QG2WrittenFile writeQG2File(const QG2FileLayout& layout);

// Overwrites four bytes big-endian.
void qg2PutU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value);

} // namespace quarn_test
