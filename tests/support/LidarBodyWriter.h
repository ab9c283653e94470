#pragma once
// Writes bodies of LiDAR kernel chunks byte by byte from the layouts, big-endian throughout.
//
//   metadata body:  u32 version, u32 numRecords, per record: u32 length + key bytes,
//                   u32 length + description bytes, u16 datatype, u32 length + value bytes
//   index body:     u8 version, u32 block size, then the tree:
//     version 1:    u32 count, count boxes of six f64 (x min, x max, y min, y max, z min, z max)
//     version 2:    u8 max nodes, u8 root level, u32 entry count, per axis f64 scale and
//                   f64 offset, then branches: u8 count, per entry three (u32 min, u32 max)
//                   and a u32 payload (the child's offset from this branch, or a block number)
//
// Typed helpers write whole bodies and records; the raw fields (be, raw, lengthPrefixed) make
// broken ones.

#include "ByteBuilder.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quarn_test {

using LidarBox = std::array<double, 6>;

// A stored tree: branches[0] is the root, each branch is written in vector order, and a child
// must come after its parent (payloads are unsigned offsets from the parent).
struct LidarDiskTree {
    struct Entry {
        std::array<std::uint32_t, 6> bounds{}; // quantised x min, x max, y min, y max, z min, z max
        std::uint32_t block = 0;               // leaves
        int child = -1;                        // inner entries: index into branches
        std::optional<std::uint32_t> payload;  // written instead of the computed payload
    };
    struct Branch {
        std::vector<Entry> entries;
    };

    std::uint8_t maxNodes = 10;
    std::uint8_t rootLevel = 0;
    std::uint32_t numEntries = 0;
    std::array<double, 3> scale{1.0, 1.0, 1.0};
    std::array<double, 3> offset{0.0, 0.0, 0.0};
    std::vector<Branch> branches;

    // A packed tree over the boxes: leaves of up to fanout consecutive boxes (box i is block i),
    // parents of up to fanout consecutive children, up to one root.
    static LidarDiskTree pack(const std::vector<std::array<std::uint32_t, 6>>& boxes,
                              unsigned fanout = 10);
};

class LidarBodyWriter : public ByteFields<LidarBodyWriter> {
public:
    LidarBodyWriter& raw(std::string_view bytes);
    // u32 byte length, then the bytes.
    LidarBodyWriter& lengthPrefixed(std::string_view bytes);

    // Metadata body. Keys and descriptions are written with their terminating zero byte inside
    // the length, as files store them; the value as given.
    LidarBodyWriter& metadataHeader(std::uint32_t numRecords, std::uint32_t version = 0);
    LidarBodyWriter& metadataRecord(std::string_view key, std::string_view description,
                                    std::uint16_t datatype, std::string_view value);
    // The big-endian bytes of the doubles, for values of datatype 3.
    static std::string doubles(const std::vector<double>& values);

    // Index body: the version and block size, then one of the two trees.
    LidarBodyWriter& indexHeader(std::uint8_t version, std::uint32_t blockSize);
    LidarBodyWriter& memoryTree(const std::vector<LidarBox>& boxes);
    LidarBodyWriter& diskTree(const LidarDiskTree& tree);

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }
};

} // namespace quarn_test
