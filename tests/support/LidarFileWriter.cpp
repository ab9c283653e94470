#include "LidarFileWriter.h"

#include "LidarBodyWriter.h"

#include <algorithm>

namespace quarn_test {

LidarSparseBytes& LidarSparseBytes::append(const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty()) return *this;
    // Bytes right after stored bytes extend them.
    if (!segments_.empty() &&
        segments_.back().offset + static_cast<std::int64_t>(segments_.back().bytes.size()) ==
            static_cast<std::int64_t>(size_))
        segments_.back().bytes.insert(segments_.back().bytes.end(), bytes.begin(), bytes.end());
    else
        segments_.push_back(LidarSparseBytes::Segment{static_cast<std::int64_t>(size_), bytes});
    size_ += bytes.size();
    return *this;
}

LidarSparseBytes& LidarSparseBytes::append(const LidarSparseBytes& other) {
    std::uint64_t at = 0;
    for (const LidarSparseBytes::Segment& segment : other.segments_) {
        zeros(static_cast<std::uint64_t>(segment.offset) - at);
        append(segment.bytes);
        at = static_cast<std::uint64_t>(segment.offset) + segment.bytes.size();
    }
    return zeros(other.size_ - at);
}

LidarSparseBytes& LidarSparseBytes::zeros(std::uint64_t count) {
    size_ += count;
    return *this;
}

std::vector<std::uint8_t> LidarSparseBytes::flatten() const {
    std::vector<std::uint8_t> bytes(size_);
    for (const LidarSparseBytes::Segment& segment : segments_)
        std::copy(segment.bytes.begin(), segment.bytes.end(), bytes.begin() + segment.offset);
    return bytes;
}

std::vector<std::uint8_t> LidarFileWriter::string(const std::string& text) {
    LidarBodyWriter writer;
    if (text.empty()) return writer.u32(0).bytes();
    return writer.lengthPrefixed(text + '\0').bytes();
}

std::vector<std::uint8_t> LidarFileWriter::waveletHeaderBody(const LidarWaveletHeader& header) {
    LidarBodyWriter writer;
    writer.u8(header.version).u64(header.numPoints);
    writer.u16(static_cast<std::uint16_t>(header.numLevels - 1));
    writer.u16(header.channelCount.value_or(static_cast<std::uint16_t>(header.channels.size())));
    for (const LidarChannelRecord& channel : header.channels) {
        std::string name = channel.name.substr(0, 16);
        name.resize(16, '\0');
        writer.raw(name).u16(channel.datatype).u8(channel.transform).u32(channel.subblockSize);
        writer.u64(static_cast<std::uint64_t>(channel.minimum));
        writer.u64(static_cast<std::uint64_t>(channel.maximum));
        const bool integerTransform = channel.transform == 1 || channel.transform == 3 ||
                                      channel.transform == 10 || channel.transform == 11 ||
                                      channel.transform == 13 || channel.transform == 80;
        if (channel.quantised.value_or((channel.datatype & 2) != 0 && integerTransform))
            writer.f64(channel.offset).f64(channel.scale);
    }
    return writer.bytes();
}

LidarSparseBytes LidarFileWriter::subbandBody(const LidarSubbandChunk& subband) {
    LidarBodyWriter fields;
    fields.u8(subband.version).u16(subband.channel).u16(subband.subband);
    if (subband.version != 1) {
        fields.u64(subband.dataLength.value_or(subband.data.size() + subband.dataZeros));
        fields.u64(subband.headersLength.value_or(subband.headers.size()));
    }
    LidarSparseBytes body(fields.bytes());
    body.append(subband.data).zeros(subband.dataZeros);
    if (subband.version != 1) body.append(subband.headers);
    return body;
}

std::vector<std::uint8_t> LidarFileWriter::wktBody(const std::string& wkt, std::uint8_t version) {
    std::vector<std::uint8_t> body{version};
    const std::vector<std::uint8_t> text = string(wkt);
    body.insert(body.end(), text.begin(), text.end());
    return body;
}

std::vector<std::uint8_t> LidarFileWriter::classNamesBody(const std::vector<std::string>& names,
                                                          std::uint8_t version,
                                                          std::optional<std::uint32_t> count) {
    LidarBodyWriter writer;
    writer.u8(version).u32(count.value_or(static_cast<std::uint32_t>(names.size())));
    std::vector<std::uint8_t> body = writer.bytes();
    for (const std::string& name : names) {
        const std::vector<std::uint8_t> text = string(name);
        body.insert(body.end(), text.begin(), text.end());
    }
    return body;
}

LidarFileLayout LidarFileWriter::layout() const {
    LidarFileLayout layout;
    layout.version = version;
    layout.chunks.push_back(LidarChunk{2, waveletHeaderBody(header), {}});
    layout.chunks.push_back(LidarChunk{
        3, index.empty() ? LidarBodyWriter().indexHeader(1, 0).memoryTree({}).bytes() : index, {}});
    if (subbands.empty()) {
        for (std::size_t c = 0; c < header.channels.size(); ++c)
            for (std::uint32_t s = 0; s < header.numLevels; ++s) {
                LidarSubbandChunk subband;
                subband.channel = static_cast<std::uint16_t>(c);
                subband.subband = static_cast<std::uint16_t>(s);
                layout.chunks.push_back(LidarChunk{4, subbandBody(subband), {}});
            }
    }
    for (const LidarSubbandChunk& subband : subbands)
        layout.chunks.push_back(LidarChunk{4, subbandBody(subband), {}});
    layout.chunks.push_back(LidarChunk{5, metadata, {}});
    layout.chunks.push_back(LidarChunk{6, wktBody(wkt), {}});
    const std::uint32_t packed = (std::uint32_t{version[0]} << 24) |
                                 (std::uint32_t{version[1]} << 16) |
                                 (std::uint32_t{version[2]} << 8) | version[3];
    if (packed >= 0x04000002)
        layout.chunks.push_back(LidarChunk{7, classNamesBody(classNames), {}});
    return layout;
}

LidarSparseBytes LidarFileWriter::writeLayout(const LidarFileLayout& layout) {
    LidarSparseBytes group;
    for (const LidarChunk& chunk : layout.chunks) {
        group.append(
            LidarBodyWriter().u32(chunk.id).u64(chunk.length.value_or(chunk.body.size())).bytes());
        group.append(chunk.body);
    }
    LidarBodyWriter start;
    start.raw(layout.magic);
    for (std::uint8_t part : layout.version)
        start.u8(part);
    const std::uint64_t total = 16 + 12 + group.size();
    start.u64(layout.fileLength.value_or(total));
    start.u32(layout.groupId).u64(layout.groupLength.value_or(group.size()));
    LidarSparseBytes file(start.bytes());
    file.append(group);
    return file;
}

} // namespace quarn_test
