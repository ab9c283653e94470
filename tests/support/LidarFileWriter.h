#pragma once
// Writes whole generation-4 LiDAR files from the byte layout, big-endian throughout:
//
//   file header    "qrnd", u8 major, u8 minor, u8 third, u8 fourth, u64 file length
//   chunk          u32 id, u64 body length, body
//   group (1)      holds, in order: wavelet header (2), index (3), one subband (4) per channel
//                  and level, channel-major, metadata (5), WKT (6), class names (7, from 4.0.0.2)
//   wavelet header u8 version, u64 points, u16 levels - 1, u16 channels, per channel: 16-byte
//                  zero-padded name, u16 datatype, u8 transform, u32 subblock size, i64 minimum,
//                  i64 maximum, and f64 offset, f64 scale for a floating-point channel with an
//                  integer transform
//   subband        u8 version, u16 channel, u16 subband; versions 2 and 3: u64 data length,
//                  u64 headers length; then the data and the headers sections
//   WKT            u8 version, string;  class names: u8 version, u32 count, count strings
//   string         u32 length, the text and its terminating zero byte (length 0: none)
//
// Metadata and index bodies come from LidarBodyWriter. A file is built in two steps so that
// tests can break it: layout() gives the chunks in file order, which a test may change, and
// writeLayout() frames them. Subband payloads are the caller's bytes; long runs of zero bytes can
// be declared without being held in memory (a sparse image, which LidarMemoryIO::makeSparse
// presents as an IO). The writer does not depend on the kernel.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quarn_test {

// Bytes of a file or a body, with runs of zeros that are counted but not stored.
class LidarSparseBytes {
public:
    // Stored bytes at an offset.
    struct Segment {
        std::int64_t offset = 0;
        std::vector<std::uint8_t> bytes;
    };

    LidarSparseBytes() = default;
    LidarSparseBytes(const std::vector<std::uint8_t>& bytes) { append(bytes); }

    LidarSparseBytes& append(const std::vector<std::uint8_t>& bytes);
    LidarSparseBytes& append(const LidarSparseBytes& other);
    LidarSparseBytes& zeros(std::uint64_t count);

    std::uint64_t size() const { return size_; }
    // Every byte, zero runs included: for small images only.
    std::vector<std::uint8_t> flatten() const;
    const std::vector<Segment>& segments() const { return segments_; }

private:
    std::vector<Segment> segments_;
    std::uint64_t size_ = 0;
};

struct LidarChannelRecord {
    std::string name; // the first 16 bytes are written, zero-padded
    std::uint16_t datatype = 2051;
    std::uint8_t transform = 1;
    std::uint32_t subblockSize = 256;
    std::int64_t minimum = 0;
    std::int64_t maximum = 0;
    double offset = 0.0;
    double scale = 1.0;
    // Whether offset and scale are written; by default when the datatype is floating point and
    // the transform an integer one (1, 3, 10, 11, 13 or 80).
    std::optional<bool> quantised;
};

struct LidarWaveletHeader {
    std::uint8_t version = 2;
    std::uint64_t numPoints = 0;
    std::uint32_t numLevels = 1; // written as levels - 1
    std::vector<LidarChannelRecord> channels;
    std::optional<std::uint16_t> channelCount; // written instead of the record count
};

struct LidarSubbandChunk {
    std::uint8_t version = 1;
    std::uint16_t channel = 0;
    std::uint16_t subband = 0;
    std::vector<std::uint8_t> data;             // version 1: the whole rest of the body
    std::uint64_t dataZeros = 0;                // zero bytes after data, not held in memory
    std::vector<std::uint8_t> headers;          // versions 2 and 3
    std::optional<std::uint64_t> dataLength;    // written instead of the data section's length
    std::optional<std::uint64_t> headersLength; // written instead of the headers section's length
};

struct LidarChunk {
    std::uint32_t id = 0;
    LidarSparseBytes body;
    std::optional<std::uint64_t> length; // written instead of the body's length
};

struct LidarFileLayout {
    std::string magic = "qrnd";
    std::array<std::uint8_t, 4> version{4, 0, 0, 3};
    std::optional<std::uint64_t> fileLength; // default: the written length
    std::uint32_t groupId = 1;
    std::optional<std::uint64_t> groupLength; // default: the chunks' total
    std::vector<LidarChunk> chunks;
};

class LidarFileWriter {
public:
    std::array<std::uint8_t, 4> version{4, 0, 0, 3};
    LidarWaveletHeader header;
    // The index body; empty: version 1, block size 0, no boxes.
    std::vector<std::uint8_t> index;
    // In file order; empty: one empty version-1 chunk per channel and level.
    std::vector<LidarSubbandChunk> subbands;
    // The metadata body; empty: an empty chunk.
    std::vector<std::uint8_t> metadata;
    std::string wkt;                     // empty: a string of length 0
    std::vector<std::string> classNames; // written from version 4.0.0.2 on

    // The chunks of the group in file order.
    LidarFileLayout layout() const;
    LidarSparseBytes write() const { return writeLayout(layout()); }

    static LidarSparseBytes writeLayout(const LidarFileLayout& layout);

    static std::vector<std::uint8_t> waveletHeaderBody(const LidarWaveletHeader& header);
    static LidarSparseBytes subbandBody(const LidarSubbandChunk& subband);
    static std::vector<std::uint8_t> wktBody(const std::string& wkt, std::uint8_t version = 1);
    static std::vector<std::uint8_t> classNamesBody(const std::vector<std::string>& names,
                                                    std::uint8_t version = 1,
                                                    std::optional<std::uint32_t> count = {});
    // u32 length, the text and a zero byte; the empty text gives length 0.
    static std::vector<std::uint8_t> string(const std::string& text);
};

} // namespace quarn_test
