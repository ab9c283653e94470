#pragma once
// Lays out the plane data of a planeset from a table of items, written from the byte layouts:
//
//   item       prefix, word (2 bytes, when the planeset has words), value (1, 2 or 4 bytes, when
//              it has values), data
//   prefix     byte 0: X (data) bit 7, Y (raw) bit 6, continuation bit 5, value bits 0-4; then
//              continuation bit 7 and seven value bits, least significant group first. Narrow: at
//              most 4 bytes, the 4th all value bits (27 bits). Wide: at most 8 (54 bits). With X
//              the value is the data length, without X a count of items without data.
//   order      for each subblock (PlaneOrder.h), each band, each plane; consecutive items
//              without data are compressed into runs of at most maxRun.
//   layout 0   the items one after another.
//   layout 2   section offset (narrow: 4 bytes from the start of the packet header, wide: 8
//              bytes from the start of the packet body), the word, value and data of every item,
//              then all prefixes.
//   layout 3   u64 block count, then that many layout-2 runs over the whole order; a subblock's
//              items go into block (its place in the order) mod count, absent from the others.
//
// The plane data is what follows the planeset body's kind, layout and total (10 bytes).

#include "ByteBuilder.h"
#include "PlaneOrder.h"
#include "RasterFileWriter.h"

#include <cstdint>
#include <functional>
#include <map>
#include <tuple>

namespace quarn_test {

struct PlaneItem {
    Bytes data;
    bool raw = false;
    std::uint16_t word = 0;
    std::uint32_t value = 0;
};

struct PlaneFormat {
    std::uint8_t kind = 1;   // 1 pipe order, 5 subband by subband
    std::uint8_t layout = 0; // 0, 2 or 3
    bool wide = false;       // wide prefixes (packet flag2 = 1)
    bool hasWord = false;
    unsigned valueWidth = 0;  // 0, 1, 2 or 4
    unsigned blocks = 2;      // layout 3
    std::uint64_t maxRun = 0; // 0: the largest the prefix form holds
};

// One prefix in the narrow or wide form.
Bytes planePrefix(bool hasData, bool raw, std::uint64_t value, bool wide);

class PlaneItemWriter {
public:
    PlaneItemWriter(const PlaneGeometry& geometry, unsigned bands, unsigned planes,
                    const PlaneFormat& format);

    void set(std::uint32_t subband, std::uint32_t subblock, unsigned band, unsigned plane,
             PlaneItem item);
    // Items made on demand instead of set ones (for large planesets): source fills the item and
    // answers true when (subband, subblock, band, plane) carries data.
    using Source =
        std::function<bool(std::uint32_t, std::uint32_t, unsigned, unsigned, PlaneItem&)>;
    void setSource(Source source) { source_ = std::move(source); }
    // Null when the item carries no data.
    const PlaneItem* get(std::uint32_t subband, std::uint32_t subblock, unsigned band,
                         unsigned plane) const;

    // headerSize: bytes of the planeset packet's header as written (narrow section offsets
    // count from its start).
    Bytes planeData(std::uint64_t headerSize) const;
    // A file of image 1: its header packet (body's size, levels, subblock size, bands and
    // planes taken from the writer; word and value flags set), its planeset packet holding
    // planeData() or the plane data given, and a packet of 64 bytes of 0xA7 after it.
    Bytes file(HeaderBody body, const Bytes* planeData = nullptr) const;
    // Bytes of the planeset packet's header in file(): what narrow section offsets count from.
    std::uint64_t planesetHeaderSize() const;

    // Made at the first use, so that files of hand-made plane data may have any geometry.
    const std::vector<SubblockRef>& order() const;
    const PlaneGeometry& geometry() const { return geometry_; }
    const PlaneFormat& format() const { return format_; }

private:
    void itemBytes(ByteBuilder& out, const PlaneItem& item) const;
    // Prefixes of block (or of all, block -1) and the word, value and data of its items.
    void run(int block, ByteBuilder& prefixes, ByteBuilder& data) const;

    PlaneGeometry geometry_;
    unsigned bands_;
    unsigned planes_;
    PlaneFormat format_;
    mutable std::vector<SubblockRef> order_;
    mutable bool ordered_ = false;
    std::map<std::tuple<std::uint32_t, std::uint32_t, unsigned, unsigned>, PlaneItem> items_;
    Source source_;
    mutable PlaneItem made_;
};

} // namespace quarn_test
