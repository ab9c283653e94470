#pragma once
// A compact writer of generation-3/4 raster files for tests, written from the byte layouts: the
// file header, packet headers in every key and length width, the bodies of the header, planeset,
// metadata and contents packets, and whole files of several packets. Files can be patched or cut
// afterwards to make them damaged.

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "ByteBuilder.h"

namespace quarn_test {

using Version = std::array<std::uint8_t, 4>;
inline constexpr Version kGen3Version{3, 0, 0x1A, 'q'};
inline constexpr Version kGen4Version{3, 4, 0, 'a'};

// "qrnd" and the four version bytes.
Bytes fileHeader(const Version& version);

// A packet header. Key widths of -1 take the fewest bytes that hold the key (0, 1, 2 or 4);
// keyC, the image number and the flag bytes are written when nonzero or when forced.
struct PacketHeader {
    std::uint8_t type = 0;
    std::uint32_t keyA = 0;
    std::uint32_t keyB = 0;
    std::uint32_t keyC = 0;
    std::uint32_t imageNumber = 0;
    std::uint8_t flag1 = 0;
    std::uint8_t flag2 = 0;
    int keyAWidth = -1;
    int keyBWidth = -1;
    bool forceKeyC = false;
    bool forceImageNumber = false;
    bool forceFlags = false;
    unsigned lengthWidth = 8;   // 1, 2, 4 or 8
    std::uint8_t extraBits = 0; // or-ed into byte 0 (the reserved bits 4, 5 and 7)
};

Bytes packetHeader(const PacketHeader& header, std::uint64_t bodyLength);

// The body of a header packet (type 1), field for field. The window follows with flag 0x8000,
// the per-band pairs with flag 0x40000.
struct HeaderBody {
    std::uint64_t flags = 0x2;
    std::uint32_t width = 16;
    std::uint32_t height = 16;
    std::uint8_t numLevels = 0;
    std::uint16_t bands = 1;
    std::uint8_t estimateFactor = 8;
    std::uint16_t subblockSize = 64;
    std::uint8_t dataType = 8; // as stored: a bit count in old-form packets
    std::int32_t sampleMin = 0;
    std::int32_t sampleMax = 255;
    std::uint8_t colorSpace = 1;
    std::uint8_t auxCodeA = 0;
    std::uint8_t colorTransform = 1;
    std::uint32_t auxCodeD = 0;
    std::uint8_t auxCodeB = 0;
    std::uint8_t auxCodeC = 0;
    std::array<std::int32_t, 4> crop{0, 0, 0, 0};
    std::uint8_t cropLevel = 0;
    std::vector<std::pair<float, float>> bandScales;
};

Bytes headerBody(const HeaderBody& body);
Bytes planesetBody(std::uint8_t kind, std::uint8_t layout, std::uint64_t total,
                   const Bytes& planeData = {});
// u32 count, then the payload.
Bytes metadataBody(const Bytes& payload);

// The image extras record that a metadata packet of kind 3 carries.
struct ExtrasPixel {
    std::uint8_t kind = 5; // 5 to 8: unsigned/signed 8 and 16 bits
    std::vector<std::uint16_t> samples;
};
struct ExtrasRecord {
    std::uint8_t presence = 0;
    std::array<double, 6> geo{};
    std::uint32_t word = 0;
    ExtrasPixel noData;
    ExtrasPixel background;
};
Bytes extrasPayload(const ExtrasRecord& record);

// One packet of a file. A contents packet with contentsTable gets the body identifier + the
// headers of all packets of the file, its own included, each with its body length.
struct RasterPacket {
    PacketHeader header;
    Bytes body;
    bool contentsTable = false;
    std::uint32_t contentsId = 0;
};

RasterPacket headerPacket(std::uint32_t imageNumber, const HeaderBody& body,
                          std::uint8_t flag2 = 1);
RasterPacket planesetPacket(std::uint32_t imageNumber, std::uint64_t total,
                            const Bytes& planeData = {}, std::uint8_t kind = 1,
                            std::uint8_t layout = 0);
RasterPacket metadataPacket(std::uint32_t kind, std::uint32_t key, std::uint32_t imageNumber,
                            const Bytes& payload);
RasterPacket contentsPacket(std::uint32_t identifier, bool withTable = true);
// The image extras packet that places image imageNumber of a file of several: its origin and
// resolutions (d0, d1, d4, d5), nothing else.
RasterPacket placementPacket(std::uint32_t imageNumber, double x, double y, double xRes,
                             double yRes);

// The file header and the packets in order.
Bytes rasterFile(const Version& version, const std::vector<RasterPacket>& packets);
// A file of side x side grey 8-bit images of imageSide x imageSide pixels laid edge to edge in a
// grid at ground resolution 1, image 1 at the top left and numbered row by row: each image its
// header, planeset (no plane data) and placement packets.
Bytes imageGridFile(const Version& version, std::uint32_t side, std::uint32_t imageSide);

// A generation-2 file stored whole as the packet of an image (type 7).
RasterPacket qg2Packet(std::uint32_t imageNumber, const Bytes& qg2File);
// A file of one image numbered 1: its header packet, its planeset packet (of planesetTotal, no
// plane data), then the further packets.
Bytes singleImageFile(const Version& version, const HeaderBody& body,
                      const std::vector<RasterPacket>& more = {}, std::uint64_t planesetTotal = 0);

} // namespace quarn_test
