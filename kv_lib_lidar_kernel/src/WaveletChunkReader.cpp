#include "WaveletChunkReader.h"

#include "DiskRTree.h"
#include "Error.h"
#include "KernelChannelInfo.h"
#include "MemoryRTree.h"

#include <limits>
#include <memory>

namespace Korvel {

namespace {

constexpr const char* kFile = "ChunkReader";

} // namespace

void WaveletChunkReader::readHeader(std::uint64_t bodyLength, std::int64_t& numPoints,
                                    std::uint32_t& numLevels, std::uint64_t& numChannels,
                                    KernelChannelInfo*& channels) {
    const char* const function = "Korvel::WaveletChunkReader::readHeader";
    const std::uint32_t code = ErrorCode::WaveletHeader;
    const std::int64_t end = bodyEnd(bodyLength);
    std::uint8_t version = 0;
    if (!readWithin(end, version)) KORVEL_FAIL(kFile, function, code, "bad read -- header version");
    if (version != 1 && version != 2)
        KORVEL_FAIL(kFile, function, ErrorCode::Unsupported, "unsupported header version");
    std::uint64_t points = 0;
    std::uint16_t levels = 0;
    std::uint16_t count = 0;
    if (!readWithin(end, points) || !readWithin(end, levels) || !readWithin(end, count))
        KORVEL_FAIL(kFile, function, code, "bad read -- wavelet header");
    // Point counts are signed 64-bit numbers everywhere after this.
    if (points > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        KORVEL_FAIL(kFile, function, code, "bad number of points");
    // Every record must fit in what is left of the body before the array is sized by the count.
    if (count > (end - reader_.tell()) / KernelChannelInfo::MinimumRecordBytes)
        KORVEL_FAIL("ChannelInfo", "Korvel::KernelChannelInfo::load", code,
                    "bad read -- channel info");

    std::unique_ptr<KernelChannelInfo[]> infos(count > 0 ? new KernelChannelInfo[count] : nullptr);
    for (std::uint16_t i = 0; i < count; ++i)
        infos[i].load(reader_, end, code);
    // Bytes of the body after the records are not examined.
    reader_.seek(end, BufferedIOReader::FromStart);
    numPoints = static_cast<std::int64_t>(points);
    numLevels = std::uint32_t{levels} + 1;
    numChannels = count;
    channels = infos.release();
}

RTree* WaveletChunkReader::readIndex(std::uint64_t bodyLength, std::int64_t& blockSize) {
    const char* const function = "Korvel::WaveletChunkReader::readIndex";
    const std::int64_t end = bodyEnd(bodyLength);
    std::uint8_t version = 0;
    if (!readWithin(end, version))
        KORVEL_FAIL(kFile, function, ErrorCode::Index, "bad read -- header version");
    if (version != 1 && version != 2)
        KORVEL_FAIL(kFile, function, ErrorCode::Unsupported, "unsupported index version");
    std::uint32_t size = 0;
    if (!readWithin(end, size))
        KORVEL_FAIL(kFile, function, ErrorCode::Index, "bad read -- index header");
    const std::int64_t treeLength = end - reader_.tell();
    if (version == 1) {
        auto tree = std::make_unique<MemoryRTree>();
        tree->load(reader_, treeLength);
        blockSize = size;
        return tree.release();
    }
    auto tree = std::make_unique<DiskRTree>();
    tree->init(reader_, treeLength);
    blockSize = size;
    return tree.release();
}

void WaveletChunkReader::readSubband(std::uint64_t bodyLength, std::uint32_t expectedChannel,
                                     std::uint32_t expectedSubband, IO::Location& headers,
                                     IO::Location& data) {
    const char* const function = "Korvel::WaveletChunkReader::readSubband";
    const std::uint32_t code = ErrorCode::Subband;
    const std::int64_t end = bodyEnd(bodyLength);
    std::uint8_t version = 0;
    if (!readWithin(end, version)) KORVEL_FAIL(kFile, function, code, "bad read -- header version");
    if (version < 1 || version > 3)
        KORVEL_FAIL(kFile, function, ErrorCode::Unsupported, "unsupported subband version");
    std::uint16_t channel = 0;
    std::uint16_t subband = 0;
    if (!readWithin(end, channel) || !readWithin(end, subband))
        KORVEL_FAIL(kFile, function, code, "bad read -- subband header");
    if (channel != expectedChannel) KORVEL_FAIL(kFile, function, code, "bad channel order");
    if (subband != expectedSubband) KORVEL_FAIL(kFile, function, code, "bad subband order");

    if (version == 1) {
        headers.clear();
        recordAndSkip(static_cast<std::uint64_t>(end - reader_.tell()), data);
        return;
    }
    std::uint64_t dataLength = 0;
    std::uint64_t headersLength = 0;
    if (!readWithin(end, dataLength) || !readWithin(end, headersLength))
        KORVEL_FAIL(kFile, function, code, "bad read -- subband lengths");
    // Both sections must lie inside the body.
    const auto rest = static_cast<std::uint64_t>(end - reader_.tell());
    if (dataLength > rest || headersLength > rest - dataLength)
        KORVEL_FAIL(kFile, function, code, "subband chunk is the wrong size");
    const std::int64_t sections = reader_.tell();
    data.set(reader_.getIO(), sections, static_cast<std::int64_t>(dataLength));
    headers.set(reader_.getIO(), sections + static_cast<std::int64_t>(dataLength),
                static_cast<std::int64_t>(headersLength));
    reader_.seek(end, BufferedIOReader::FromStart);
}

} // namespace Korvel
