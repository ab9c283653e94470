#include "QG2FileWriter.h"

#include "ByteBuilder.h"

#include <algorithm>
#include <bit>
#include <stdexcept>

namespace quarn_test {
namespace {

// Bits most significant first, a 0x00 after every 0xFF byte.
class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}
    void put(std::uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            byte_ = static_cast<std::uint8_t>((byte_ << 1) | ((value >> i) & 1));
            if (++filled_ == 8) flushByte();
        }
    }
    void finish() {
        while (filled_ != 0)
            put(1, 1);
    }

private:
    void flushByte() {
        out_.push_back(byte_);
        if (byte_ == 0xFF) out_.push_back(0x00);
        byte_ = 0;
        filled_ = 0;
    }
    std::vector<std::uint8_t>& out_;
    std::uint8_t byte_ = 0;
    int filled_ = 0;
};

} // namespace

std::vector<QG2Code> qg2CanonicalCodes(const QG2HuffmanTable& table) {
    // T.81 Annex C: HUFFSIZE from BITS, then HUFFCODE counting up within a length and shifting
    // left once per length step.
    std::vector<int> sizes;
    for (int length = 1; length <= 16; ++length)
        for (int i = 0; i < table.bits[length - 1]; ++i)
            sizes.push_back(length);
    std::vector<QG2Code> codes;
    std::uint32_t code = 0;
    int size = sizes.empty() ? 0 : sizes[0];
    for (std::size_t k = 0; k < sizes.size();) {
        while (k < sizes.size() && sizes[k] == size)
            codes.push_back({size, code++}), ++k;
        if (k == sizes.size()) break;
        while (sizes[k] != size)
            code <<= 1, ++size;
    }
    return codes;
}

QG2HuffmanTable qg2FlatTable(const std::vector<std::uint8_t>& symbols) {
    int length = 1;
    while ((std::size_t{1} << length) <= symbols.size())
        ++length;
    if (length > 16) throw std::invalid_argument("too many symbols");
    QG2HuffmanTable table;
    table.bits[length - 1] = static_cast<std::uint8_t>(symbols.size());
    table.huffval = symbols;
    return table;
}

QG2Symbol qg2Run(std::uint32_t count) {
    if (count <= 100) return {static_cast<std::uint8_t>(count), 0, 0};
    if (count <= 0xFF) return {105, count, 8};
    return {106, count, 16};
}

QG2Symbol qg2Coefficient(std::int32_t value) {
    if (value >= -73 && value <= 75) return {static_cast<std::uint8_t>(value + 180), 0, 0};
    const std::uint32_t magnitude = static_cast<std::uint32_t>(value < 0 ? -value : value);
    if (magnitude <= 0xFF) return {static_cast<std::uint8_t>(value < 0 ? 102 : 101), magnitude, 8};
    return {static_cast<std::uint8_t>(value < 0 ? 104 : 103), magnitude & 0xFFFF, 16};
}

std::vector<QG2Symbol> qg2Symbols(const std::vector<std::int32_t>& coefficients) {
    std::vector<QG2Symbol> symbols;
    std::uint32_t zeros = 0;
    for (std::int32_t c : coefficients) {
        if (c == 0) {
            if (++zeros == 0xFFFF) symbols.push_back(qg2Run(zeros)), zeros = 0;
            continue;
        }
        if (zeros != 0) symbols.push_back(qg2Run(zeros)), zeros = 0;
        symbols.push_back(qg2Coefficient(c));
    }
    if (zeros != 0) symbols.push_back(qg2Run(zeros));
    return symbols;
}

std::vector<std::uint8_t> qg2SymbolValues(const std::vector<QG2Symbol>& symbols) {
    std::vector<std::uint8_t> values;
    for (const QG2Symbol& s : symbols) {
        bool known = false;
        for (std::uint8_t v : values)
            known = known || v == s.value;
        if (!known) values.push_back(s.value);
    }
    return values;
}

std::vector<std::uint8_t> qg2EncodeBlock(const QG2HuffmanTable& table,
                                         const std::vector<QG2Symbol>& symbols) {
    const std::vector<QG2Code> codes = qg2CanonicalCodes(table);
    // Each symbol's code, the first one the table lists for it.
    std::array<const QG2Code*, 256> codeOf{};
    for (std::size_t k = std::min(codes.size(), table.huffval.size()); k-- > 0;)
        codeOf[table.huffval[k]] = &codes[k];
    std::vector<std::uint8_t> out{0xFF, 0xA3};
    BitWriter bits(out);
    for (const QG2Symbol& s : symbols) {
        const QG2Code* code = codeOf[s.value];
        if (code == nullptr) throw std::invalid_argument("symbol not in the table");
        bits.put(code->value, code->length);
        bits.put(s.raw, s.rawBits);
    }
    bits.finish();
    return out;
}

QG2BandLayout qg2CodedBand(const std::vector<std::vector<std::int32_t>>& blocks,
                           std::uint32_t blockWidth, std::uint32_t blockHeight, float step) {
    std::vector<QG2Symbol> all;
    std::vector<std::vector<QG2Symbol>> perBlock;
    for (const auto& raster : blocks) {
        perBlock.push_back(qg2Symbols(raster));
        all.insert(all.end(), perBlock.back().begin(), perBlock.back().end());
    }
    QG2BandLayout band;
    band.table = qg2FlatTable(qg2SymbolValues(all));
    band.step = step;
    band.blockWidth = blockWidth;
    band.blockHeight = blockHeight;
    for (const auto& symbols : perBlock)
        band.blocks.push_back(qg2EncodeBlock(band.table, symbols));
    return band;
}

void qg2PutU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes.at(at + i) = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

const QG2DirectoryPlace& QG2WrittenFile::directory(std::size_t subband, std::size_t region,
                                                   std::size_t band) const {
    for (const QG2DirectoryPlace& d : directories)
        if (d.subband == subband && d.region == region && d.band == band) return d;
    throw std::out_of_range("no such directory");
}

QG2WrittenFile writeQG2File(const QG2FileLayout& layout) {
    QG2WrittenFile file;
    std::vector<std::uint8_t>& out = file.bytes;
    out = {'q', 'r', 'n', 'd', layout.version[0], layout.version[1], layout.version[2]};
    appendBE(out, layout.bands, 4);
    appendBE(out, layout.levels, 4);
    appendBE(out, layout.width, 4);
    appendBE(out, layout.height, 4);
    file.offsetsAt = out.size();
    for (std::size_t i = 0; i < layout.subbands.size(); ++i)
        appendBE(out, 0, 4);

    if (layout.d0) {
        out.insert(out.end(), {0xFF, 0xD0});
        file.d0At = out.size();
        appendBE(out, 0, 4);
    }
    if (layout.region) {
        out.insert(out.end(), {0xFF, 0xD2});
        file.d2At = out.size();
        for (std::uint32_t v : *layout.region)
            appendBE(out, v, 4);
    }
    if (layout.d3) out.insert(out.end(), {0xFF, 0xD3});
    file.afterSegments = out.size();

    file.subbandAt.assign(layout.subbands.size(), 0);
    for (std::size_t s = 0; s < layout.subbands.size(); ++s) {
        if (!layout.subbands[s]) continue;
        const QG2SubbandLayout& subband = *layout.subbands[s];
        file.subbandAt[s] = out.size();
        qg2PutU32(out, file.offsetsAt + 4 * s, static_cast<std::uint32_t>(out.size()));
        out.insert(out.end(), {0xFF, 0xAC, subband.ditherColumn, subband.ditherRow});
        appendBE(out, static_cast<std::uint32_t>(subband.regions.size()), 4);
        std::vector<std::size_t> recordAt;
        for (const QG2RegionLayout& region : subband.regions) {
            recordAt.push_back(out.size());
            for (std::uint32_t b = 0; b < layout.bands; ++b)
                appendBE(out, 0, 4);
            for (std::uint32_t v : {region.x0, region.y0, region.x1, region.y1})
                appendBE(out, v, 4);
        }
        for (std::size_t r = 0; r < subband.regions.size(); ++r) {
            const QG2RegionLayout& region = subband.regions[r];
            for (std::size_t b = 0; b < region.bands.size() && b < layout.bands; ++b) {
                if (!region.bands[b]) continue;
                const QG2BandLayout& band = *region.bands[b];
                QG2DirectoryPlace place{s, r, b, out.size(), 0, {}};
                qg2PutU32(out, recordAt[r] + 4 * b, static_cast<std::uint32_t>(out.size()));
                out.insert(out.end(), {0xFF, 0xAA});
                out.insert(out.end(), band.table.bits.begin(), band.table.bits.end());
                out.insert(out.end(), band.table.huffval.begin(), band.table.huffval.end());
                appendBE(out, std::bit_cast<std::uint32_t>(band.step), 4);
                appendBE(out, band.blockWidth, 4);
                appendBE(out, band.blockHeight, 4);
                place.tableAt = out.size();
                for (std::size_t k = 0; k < band.blocks.size(); ++k)
                    appendBE(out, 0, 4);
                for (std::size_t k = 0; k < band.blocks.size(); ++k) {
                    place.blocksAt.push_back(out.size());
                    qg2PutU32(out, place.tableAt + 4 * k, static_cast<std::uint32_t>(out.size()));
                    out.insert(out.end(), band.blocks[k].begin(), band.blocks[k].end());
                }
                file.directories.push_back(std::move(place));
            }
        }
    }
    if (!layout.metadata.empty()) {
        file.metadataAt = out.size();
        if (layout.d0) qg2PutU32(out, file.d0At, static_cast<std::uint32_t>(out.size()));
        out.insert(out.end(), layout.metadata.begin(), layout.metadata.end());
    }
    out.insert(out.end(), layout.trailer.begin(), layout.trailer.end());
    return file;
}

} // namespace quarn_test
