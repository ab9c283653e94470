#include "LidarBodyWriter.h"

#include <algorithm>

namespace quarn_test {

LidarBodyWriter& LidarBodyWriter::raw(std::string_view bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

LidarBodyWriter& LidarBodyWriter::lengthPrefixed(std::string_view bytes) {
    return u32(static_cast<std::uint32_t>(bytes.size())).raw(bytes);
}

LidarBodyWriter& LidarBodyWriter::metadataHeader(std::uint32_t numRecords, std::uint32_t version) {
    return u32(version).u32(numRecords);
}

LidarBodyWriter& LidarBodyWriter::metadataRecord(std::string_view key, std::string_view description,
                                                 std::uint16_t datatype, std::string_view value) {
    lengthPrefixed(std::string(key) + '\0');
    lengthPrefixed(std::string(description) + '\0');
    return u16(datatype).lengthPrefixed(value);
}

std::string LidarBodyWriter::doubles(const std::vector<double>& values) {
    LidarBodyWriter writer;
    for (double value : values)
        writer.f64(value);
    return std::string(writer.bytes_.begin(), writer.bytes_.end());
}

LidarBodyWriter& LidarBodyWriter::indexHeader(std::uint8_t version, std::uint32_t blockSize) {
    return u8(version).u32(blockSize);
}

LidarBodyWriter& LidarBodyWriter::memoryTree(const std::vector<LidarBox>& boxes) {
    u32(static_cast<std::uint32_t>(boxes.size()));
    for (const LidarBox& box : boxes)
        for (double value : box)
            f64(value);
    return *this;
}

LidarBodyWriter& LidarBodyWriter::diskTree(const LidarDiskTree& tree) {
    u8(tree.maxNodes).u8(tree.rootLevel).u32(tree.numEntries);
    for (int axis = 0; axis < 3; ++axis)
        f64(tree.scale[axis]).f64(tree.offset[axis]);
    // Branch offsets from the root, each branch taking its count byte and 28 bytes per entry.
    std::vector<std::uint64_t> offsets;
    std::uint64_t at = 0;
    for (const LidarDiskTree::Branch& branch : tree.branches) {
        offsets.push_back(at);
        at += 1 + 28 * branch.entries.size();
    }
    for (std::size_t b = 0; b < tree.branches.size(); ++b) {
        const LidarDiskTree::Branch& branch = tree.branches[b];
        u8(static_cast<std::uint8_t>(branch.entries.size()));
        for (const LidarDiskTree::Entry& entry : branch.entries) {
            for (std::uint32_t bound : entry.bounds)
                u32(bound);
            std::uint32_t payload = entry.block;
            if (entry.child >= 0)
                payload = static_cast<std::uint32_t>(offsets.at(entry.child) - offsets[b]);
            u32(entry.payload.value_or(payload));
        }
    }
    return *this;
}

LidarDiskTree LidarDiskTree::pack(const std::vector<std::array<std::uint32_t, 6>>& boxes,
                                  unsigned fanout) {
    // Levels bottom-up: each node is its entries and its cover.
    struct Node {
        std::vector<Entry> entries;
        std::array<std::uint32_t, 6> cover{};
    };
    auto coverOf = [](const std::vector<Entry>& entries) {
        std::array<std::uint32_t, 6> cover = entries.front().bounds;
        for (const Entry& entry : entries)
            for (int axis = 0; axis < 3; ++axis) {
                cover[2 * axis] = std::min(cover[2 * axis], entry.bounds[2 * axis]);
                cover[2 * axis + 1] = std::max(cover[2 * axis + 1], entry.bounds[2 * axis + 1]);
            }
        return cover;
    };
    std::vector<std::vector<Node>> levels(1);
    for (std::size_t i = 0; i < boxes.size(); i += fanout) {
        Node node;
        for (std::size_t k = i; k < std::min(boxes.size(), i + fanout); ++k)
            node.entries.push_back(Entry{boxes[k], static_cast<std::uint32_t>(k), -1, {}});
        node.cover = coverOf(node.entries);
        levels[0].push_back(node);
    }
    if (levels[0].empty()) levels[0].push_back(Node{});
    while (levels.back().size() > 1) {
        const std::vector<Node>& below = levels.back();
        std::vector<Node> above;
        for (std::size_t i = 0; i < below.size(); i += fanout) {
            Node node;
            for (std::size_t k = i; k < std::min(below.size(), i + fanout); ++k)
                node.entries.push_back(Entry{below[k].cover, 0, static_cast<int>(k), {}});
            node.cover = coverOf(node.entries);
            above.push_back(node);
        }
        levels.push_back(above);
    }

    // Written top-down, level by level, so that every child comes after its parent; a child
    // index of a level becomes an index into branches.
    LidarDiskTree tree;
    tree.rootLevel = static_cast<std::uint8_t>(levels.size() - 1);
    tree.numEntries = static_cast<std::uint32_t>(boxes.size());
    std::size_t firstOfLevelBelow = 0;
    for (std::size_t level = levels.size(); level-- > 0;) {
        firstOfLevelBelow += levels[level].size();
        for (const Node& node : levels[level]) {
            Branch branch;
            branch.entries = node.entries;
            for (Entry& entry : branch.entries)
                if (level > 0) entry.child = static_cast<int>(firstOfLevelBelow) + entry.child;
            tree.branches.push_back(branch);
        }
    }
    return tree;
}

} // namespace quarn_test
