#include "RasterFileWriter.h"

#include <bit>
#include <cassert>
#include <cstring>

namespace quarn_test {

namespace {

unsigned smallestWidth(std::uint32_t value) {
    if (value == 0) return 0;
    if (value <= 0xFF) return 1;
    return value <= 0xFFFF ? 2 : 4;
}

unsigned keyCode(unsigned width) {
    switch (width) {
    case 0:
        return 0;
    case 1:
        return 1;
    case 2:
        return 2;
    default:
        return 3;
    }
}

unsigned lengthCode(unsigned width) {
    switch (width) {
    case 1:
        return 0;
    case 2:
        return 1;
    case 4:
        return 2;
    default:
        return 3;
    }
}

void appendPixel(ByteBuilder& out, const ExtrasPixel& pixel) {
    out.u16(pixel.samples.size()).u8(pixel.kind);
    const unsigned width = pixel.kind == 7 || pixel.kind == 8 ? 2 : 1;
    for (std::uint16_t sample : pixel.samples)
        out.be(sample, width);
}

void appendPacket(Bytes& file, const RasterPacket& packet) {
    const Bytes header = packetHeader(packet.header, packet.body.size());
    file.insert(file.end(), header.begin(), header.end());
    file.insert(file.end(), packet.body.begin(), packet.body.end());
}

} // namespace

Bytes fileHeader(const Version& version) {
    ByteBuilder out;
    out.text("qrnd");
    for (std::uint8_t b : version)
        out.u8(b);
    return out.take();
}

Bytes packetHeader(const PacketHeader& h, std::uint64_t bodyLength) {
    const unsigned widthA = h.keyAWidth < 0 ? smallestWidth(h.keyA) : unsigned(h.keyAWidth);
    const unsigned widthB = h.keyBWidth < 0 ? smallestWidth(h.keyB) : unsigned(h.keyBWidth);
    const bool keyC = h.keyC != 0 || h.forceKeyC;
    const bool image = h.imageNumber != 0 || h.forceImageNumber;
    const bool flags = h.flag1 != 0 || h.flag2 != 0 || h.forceFlags;
    assert(h.lengthWidth == 8 || bodyLength < (std::uint64_t(1) << (8 * h.lengthWidth)));

    ByteBuilder out;
    out.u8((h.type & 0x0F) | (flags ? 0x40 : 0) | h.extraBits);
    out.u8(keyCode(widthA) << 6 | keyCode(widthB) << 4 | (keyC ? 0x08 : 0) | (image ? 0x04 : 0) |
           lengthCode(h.lengthWidth));
    out.be(h.keyA, widthA).be(h.keyB, widthB);
    if (keyC) out.u32(h.keyC);
    if (image) out.u32(h.imageNumber);
    if (flags) out.u8(h.flag1).u8(h.flag2);
    out.be(bodyLength, h.lengthWidth);
    return out.take();
}

Bytes headerBody(const HeaderBody& b) {
    ByteBuilder out;
    out.u64(b.flags).u32(b.width).u32(b.height).u8(b.numLevels).u16(b.bands);
    out.u8(b.estimateFactor).u16(b.subblockSize).u8(b.dataType);
    out.u32(static_cast<std::uint32_t>(b.sampleMin)).u32(static_cast<std::uint32_t>(b.sampleMax));
    out.u8(b.colorSpace).u8(b.auxCodeA).u8(b.colorTransform).u32(b.auxCodeD);
    out.u8(b.auxCodeB).u8(b.auxCodeC);
    if (b.flags & 0x8000) {
        for (std::int32_t v : b.crop)
            out.u32(static_cast<std::uint32_t>(v));
        out.u8(b.cropLevel);
    }
    if (b.flags & 0x40000)
        for (const auto& [scale, offset] : b.bandScales)
            out.f32(scale).f32(offset);
    return out.take();
}

Bytes planesetBody(std::uint8_t kind, std::uint8_t layout, std::uint64_t total,
                   const Bytes& planeData) {
    ByteBuilder out;
    out.u8(kind).u8(layout).u64(total).bytes(planeData);
    return out.take();
}

Bytes metadataBody(const Bytes& payload) {
    ByteBuilder out;
    out.u32(payload.size()).bytes(payload);
    return out.take();
}

Bytes extrasPayload(const ExtrasRecord& r) {
    ByteBuilder out;
    out.u8(r.presence);
    if (r.presence & 1)
        for (double d : r.geo)
            out.f64(d);
    if (r.presence & 2) out.u32(r.word);
    if (r.presence & 4) appendPixel(out, r.noData);
    if (r.presence & 8) appendPixel(out, r.background);
    return out.take();
}

RasterPacket headerPacket(std::uint32_t imageNumber, const HeaderBody& body, std::uint8_t flag2) {
    RasterPacket p;
    p.header.type = 1;
    p.header.imageNumber = imageNumber;
    p.header.flag2 = flag2;
    p.body = headerBody(body);
    return p;
}

RasterPacket planesetPacket(std::uint32_t imageNumber, std::uint64_t total, const Bytes& planeData,
                            std::uint8_t kind, std::uint8_t layout) {
    RasterPacket p;
    p.header.type = 4;
    p.header.imageNumber = imageNumber;
    p.body = planesetBody(kind, layout, total, planeData);
    return p;
}

RasterPacket metadataPacket(std::uint32_t kind, std::uint32_t key, std::uint32_t imageNumber,
                            const Bytes& payload) {
    RasterPacket p;
    p.header.type = 2;
    p.header.keyA = kind;
    p.header.keyB = key;
    p.header.imageNumber = imageNumber;
    p.body = metadataBody(payload);
    return p;
}

RasterPacket placementPacket(std::uint32_t imageNumber, double x, double y, double xRes,
                             double yRes) {
    ExtrasRecord extras;
    extras.presence = 1;
    extras.geo = {x, y, 0.0, 0.0, xRes, yRes};
    return metadataPacket(3, 0, imageNumber, extrasPayload(extras));
}

RasterPacket contentsPacket(std::uint32_t identifier, bool withTable) {
    RasterPacket p;
    p.header.type = 6;
    p.header.flag1 = withTable ? 1 : 0;
    p.contentsTable = withTable;
    p.contentsId = identifier;
    ByteBuilder id;
    p.body = id.u32(identifier).take();
    return p;
}

Bytes rasterFile(const Version& version, const std::vector<RasterPacket>& packets) {
    // Header sizes do not depend on the length's value, so the table's size is known first.
    std::size_t tableSize = 0;
    for (const RasterPacket& p : packets)
        tableSize += packetHeader(p.header, 0).size();
    std::vector<std::uint64_t> lengths;
    for (const RasterPacket& p : packets)
        lengths.push_back(p.contentsTable ? 4 + tableSize : p.body.size());
    ByteBuilder table;
    for (std::size_t i = 0; i < packets.size(); ++i)
        table.bytes(packetHeader(packets[i].header, lengths[i]));

    ByteBuilder out;
    out.bytes(fileHeader(version));
    for (std::size_t i = 0; i < packets.size(); ++i) {
        out.bytes(packetHeader(packets[i].header, lengths[i]));
        if (packets[i].contentsTable)
            out.u32(packets[i].contentsId).bytes(table.data());
        else
            out.bytes(packets[i].body);
    }
    return out.take();
}

RasterPacket qg2Packet(std::uint32_t imageNumber, const Bytes& qg2File) {
    RasterPacket p;
    p.header.type = 7;
    p.header.imageNumber = imageNumber;
    p.body = qg2File;
    return p;
}

Bytes singleImageFile(const Version& version, const HeaderBody& body,
                      const std::vector<RasterPacket>& more, std::uint64_t planesetTotal) {
    std::vector<RasterPacket> packets{headerPacket(1, body), planesetPacket(1, planesetTotal)};
    packets.insert(packets.end(), more.begin(), more.end());
    return rasterFile(version, packets);
}

Bytes imageGridFile(const Version& version, std::uint32_t side, std::uint32_t imageSide) {
    HeaderBody body;
    body.width = body.height = imageSide;
    body.dataType = 5; // unsigned 8
    Bytes file = fileHeader(version);
    for (std::uint32_t i = 0; i < side * side; ++i) {
        appendPacket(file, headerPacket(i + 1, body));
        appendPacket(file, planesetPacket(i + 1, 0));
        appendPacket(file, placementPacket(i + 1, double(imageSide) * (i % side),
                                           double(imageSide) * (side - i / side), 1.0, -1.0));
    }
    return file;
}

} // namespace quarn_test
