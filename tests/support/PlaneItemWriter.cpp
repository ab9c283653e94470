#include "PlaneItemWriter.h"

namespace quarn_test {

Bytes planePrefix(bool hasData, bool raw, std::uint64_t value, bool wide) {
    ByteBuilder out;
    const unsigned limit = wide ? 8 : 4;
    std::uint64_t rest = value >> 5;
    std::uint8_t first =
        static_cast<std::uint8_t>((hasData ? 0x80 : 0) | (raw ? 0x40 : 0) | (value & 0x1F));
    if (rest != 0) first |= 0x20;
    out.u8(first);
    for (unsigned i = 1; rest != 0; ++i) {
        if (!wide && i + 1 == limit) { // the narrow fourth byte: eight value bits
            out.u8(rest & 0xFF);
            break;
        }
        const std::uint64_t more = rest >> 7;
        out.u8((rest & 0x7F) | (more != 0 ? 0x80 : 0));
        rest = more;
    }
    return out.take();
}

PlaneItemWriter::PlaneItemWriter(const PlaneGeometry& geometry, unsigned bands, unsigned planes,
                                 const PlaneFormat& format)
    : geometry_(geometry), bands_(bands), planes_(planes), format_(format) {}

const std::vector<SubblockRef>& PlaneItemWriter::order() const {
    if (!ordered_) order_ = subblockOrder(geometry_, format_.kind);
    ordered_ = true;
    return order_;
}

void PlaneItemWriter::set(std::uint32_t subband, std::uint32_t subblock, unsigned band,
                          unsigned plane, PlaneItem item) {
    items_[{subband, subblock, band, plane}] = std::move(item);
}

const PlaneItem* PlaneItemWriter::get(std::uint32_t subband, std::uint32_t subblock, unsigned band,
                                      unsigned plane) const {
    if (source_) return source_(subband, subblock, band, plane, made_) ? &made_ : nullptr;
    const auto found = items_.find({subband, subblock, band, plane});
    return found == items_.end() ? nullptr : &found->second;
}

void PlaneItemWriter::itemBytes(ByteBuilder& out, const PlaneItem& item) const {
    if (format_.hasWord) out.u16(item.word);
    if (format_.valueWidth > 0) out.be(item.value, format_.valueWidth);
    out.bytes(item.data);
}

void PlaneItemWriter::run(int block, ByteBuilder& prefixes, ByteBuilder& data) const {
    const std::uint64_t largest = format_.wide ? (std::uint64_t(1) << 54) - 1 : (1u << 27) - 1;
    const std::uint64_t maxRun = format_.maxRun != 0 ? format_.maxRun : largest;
    std::uint64_t absent = 0;
    auto flush = [&] {
        for (; absent > 0; absent -= std::min(absent, maxRun))
            prefixes.bytes(planePrefix(false, false, std::min(absent, maxRun), format_.wide));
    };
    const std::vector<SubblockRef>& order = this->order();
    for (std::size_t i = 0; i < order.size(); ++i) {
        const bool inBlock = block < 0 || int(i % format_.blocks) == block;
        for (unsigned band = 0; band < bands_; ++band)
            for (unsigned plane = 0; plane < planes_; ++plane) {
                const PlaneItem* item =
                    inBlock ? get(order[i].subband, order[i].subblock, band, plane) : nullptr;
                if (item == nullptr) {
                    ++absent;
                    continue;
                }
                flush();
                prefixes.bytes(planePrefix(true, item->raw, item->data.size(), format_.wide));
                itemBytes(block < -1 ? prefixes : data, *item);
            }
    }
    flush();
}

Bytes PlaneItemWriter::planeData(std::uint64_t headerSize) const {
    ByteBuilder out;
    if (format_.layout == 0) {
        run(-2, out, out); // interleaved: everything in one stream
        return out.take();
    }
    const unsigned sectionBytes = format_.wide ? 8 : 4;
    const std::uint64_t skew = format_.wide ? 0 : headerSize;
    const unsigned blocks = format_.layout == 3 ? format_.blocks : 1;
    if (format_.layout == 3) out.u64(blocks);
    for (unsigned b = 0; b < blocks; ++b) {
        ByteBuilder prefixes;
        ByteBuilder data;
        run(format_.layout == 3 ? int(b) : -1, prefixes, data);
        // Offsets count from the body start: kind, layout and total come first.
        const std::uint64_t section = 10 + out.size() + sectionBytes + data.size();
        out.be(section + skew, sectionBytes).bytes(data.data()).bytes(prefixes.data());
    }
    return out.take();
}

namespace {

RasterPacket emptyPlaneset(const PlaneFormat& format) {
    RasterPacket planeset = planesetPacket(1, 0, {}, format.kind, format.layout);
    planeset.header.flag2 = format.wide ? 1 : 0;
    return planeset;
}

} // namespace

std::uint64_t PlaneItemWriter::planesetHeaderSize() const {
    return packetHeader(emptyPlaneset(format_).header, 0).size();
}

Bytes PlaneItemWriter::file(HeaderBody body, const Bytes* planeData) const {
    body.width = geometry_.width;
    body.height = geometry_.height;
    body.numLevels = static_cast<std::uint8_t>(geometry_.levels);
    body.subblockSize = static_cast<std::uint16_t>(geometry_.subblockSize);
    body.bands = static_cast<std::uint16_t>(bands_);
    body.estimateFactor = static_cast<std::uint8_t>(planes_);
    body.flags = 0x2 | (format_.hasWord ? 0x4 : 0);
    static constexpr std::uint64_t kValueFlags[5] = {0, 0x28, 0x18, 0, 0x38};
    if (format_.valueWidth > 0) body.flags |= kValueFlags[format_.valueWidth];
    RasterPacket planeset = emptyPlaneset(format_);
    planeset.body = planesetBody(format_.kind, format_.layout, 0,
                                 planeData ? *planeData : this->planeData(planesetHeaderSize()));
    // Bytes after the planeset, so that a read past its end would find something.
    RasterPacket trailer;
    trailer.body = Bytes(64, 0xA7);
    return rasterFile(kGen4Version, {headerPacket(1, body), planeset, trailer});
}

} // namespace quarn_test
