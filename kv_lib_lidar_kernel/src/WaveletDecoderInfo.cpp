#include "WaveletDecoderInfo.h"

#include "BufferedIOReader.h"
#include "ChunkHeader.h"
#include "Error.h"
#include "KernelChannelInfo.h"
#include "RTree.h"
#include "WaveletChunkReader.h"
#include "WaveletDecoder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace Korvel {

namespace {

// The smallest subband chunk: its header and the fixed fields of its body.
constexpr std::int64_t MinimumSubbandChunk = ChunkHeader::Size + 5;

struct DeleteIterator {
    void operator()(RTree::Iterator* iterator) const { delete iterator; }
};
struct FreeBlock {
    void operator()(void* block) const { XFREE(block); }
};

// Merges sorted ranges in place: a range that starts more than gap points after the end of the
// current merged range begins a new one, any other extends it. Returns the new count.
std::uint64_t merge(BlockRange* ranges, std::uint64_t count, std::int64_t gap) {
    if (count <= 1) return count;
    std::uint64_t last = 0;
    for (std::uint64_t i = 1; i < count; ++i) {
        BlockRange& current = ranges[last];
        const std::int64_t currentEnd = current.start + current.count;
        if (ranges[i].start - gap > currentEnd) {
            ranges[++last] = ranges[i];
        } else {
            const std::int64_t end = std::max(currentEnd, ranges[i].start + ranges[i].count);
            current.count = end - current.start;
        }
    }
    return last + 1;
}

// (value + 1) / 2 for a value >= 0, without the overflow of value + 1.
std::int64_t halfUp(std::int64_t value) {
    return value / 2 + value % 2;
}

} // namespace

WaveletDecoderInfo::~WaveletDecoderInfo() {
    delete[] channels_;
}

void WaveletDecoderInfo::init(BufferedIOReader& reader, std::int64_t& remaining) {
    const char* const function = "Korvel::WaveletDecoderInfo::init";
    WaveletChunkReader chunks(reader);
    ChunkHeader header;

    chunks.readChunkHeader(header, remaining, ChunkHeader::WaveletHeader, ErrorCode::WaveletHeader);
    std::int64_t numPoints = 0;
    std::uint32_t numLevels = 0;
    std::uint64_t numChannels = 0;
    KernelChannelInfo* read = nullptr;
    chunks.readHeader(header.length, numPoints, numLevels, numChannels, read);
    const std::unique_ptr<KernelChannelInfo[]> infos(read);
    std::unique_ptr<DecoderChannel[]> channels(numChannels > 0 ? new DecoderChannel[numChannels]
                                                               : nullptr);
    for (std::uint64_t c = 0; c < numChannels; ++c)
        channels[c].info = infos[c];
    delete[] channels_;
    channels_ = channels.release();
    numChannels_ = numChannels;
    numPoints_ = numPoints;
    numLevels_ = numLevels;

    for (int axis = 0; axis < 3; ++axis) {
        const KernelChannelInfo& info = getChannel(axis == 0 ? "X" : axis == 1 ? "Y" : "Z").info;
        bounds_[2 * axis] =
            static_cast<double>(info.getMinimum()) * info.getScale() + info.getOffset();
        bounds_[2 * axis + 1] =
            static_cast<double>(info.getMaximum()) * info.getScale() + info.getOffset();
    }

    // One subband chunk per channel and level must follow inside the group and inside the file
    // before the subband tables are sized by these counts (at most 65535 x 65536).
    const std::int64_t subbandChunks = static_cast<std::int64_t>(numChannels_) * numLevels_;
    if (subbandChunks > std::min(remaining, reader.remaining()) / MinimumSubbandChunk)
        KORVEL_FAIL("WaveletDecoder", function, ErrorCode::Subband, "chunk length error");
    for (std::uint64_t c = 0; c < numChannels_; ++c) {
        channels_[c].subbands = new SubbandLocation[numLevels_];
        channels_[c].numSubbands = numLevels_;
        maxSubblockSize_ =
            std::max<std::uint64_t>(maxSubblockSize_, channels_[c].info.getSubblockSize());
    }

    chunks.readChunkHeader(header, remaining, ChunkHeader::Index, ErrorCode::Index);
    RTree* index = chunks.readIndex(header.length, blockSize_);
    delete index_;
    index_ = index;

    for (std::uint64_t c = 0; c < numChannels_; ++c)
        for (std::uint32_t s = 0; s < numLevels_; ++s) {
            chunks.readChunkHeader(header, remaining, ChunkHeader::Subband, ErrorCode::Subband);
            SubbandLocation& location = channels_[c].subbands[s];
            chunks.readSubband(header.length, static_cast<std::uint32_t>(c), s, location.headers,
                               location.data);
        }
}

const DecoderChannel& WaveletDecoderInfo::getChannel(const char* name) const {
    for (std::uint64_t c = 0; c < numChannels_; ++c) {
        const char* channelName = channels_[c].info.getName();
        if (name != nullptr && channelName != nullptr && std::strcmp(channelName, name) == 0)
            return channels_[c];
    }
    KORVEL_FAIL("WaveletDecoder", "Korvel::WaveletDecoderInfo::getChannel", ErrorCode::Generic,
                "could not find channel '%s'", name != nullptr ? name : "");
}

const DecoderChannel& WaveletDecoderInfo::getChannel(std::uint64_t index) const {
    if (index >= numChannels_)
        KORVEL_FAIL("WaveletDecoder", "Korvel::WaveletDecoderInfo::getChannel", ErrorCode::Generic,
                    "bad channel index");
    return channels_[index];
}

std::uint32_t WaveletDecoderInfo::getLevel(double fraction) const {
    const double level = std::floor(-std::log(fraction) / std::log(2.0));
    // Negative, infinite, NaN or beyond 32 bits: the whole signal.
    if (!(level >= 0.0 && level <= 2147483647.0)) return 0;
    const auto whole = static_cast<std::uint32_t>(level);
    return numLevels_ == 0 ? 0 : std::min(whole, numLevels_ - 1);
}

double WaveletDecoderInfo::estimateNumPoints(const double* bounds, double fraction) const {
    BlockRange* ranges = nullptr;
    const std::uint64_t count = queryBlocks(getLevel(fraction), bounds, ranges);
    double total = 0.0;
    for (std::uint64_t i = 0; i < count; ++i)
        total += static_cast<double>(ranges[i].count);
    XFREE(ranges);
    return total;
}

PointIterator* WaveletDecoderInfo::createIterator(const double* bounds, double fraction,
                                                  const PointInfo& pointInfo,
                                                  ProgressDelegate* delegate) {
    return WaveletDecoder::create(*this, bounds, fraction, pointInfo, delegate);
}

std::uint64_t WaveletDecoderInfo::queryBlocks(std::uint32_t level, const double* bounds,
                                              BlockRange*& ranges) const {
    ranges = nullptr;
    const std::int64_t levelPoints = ((numPoints_ - 1) >> level) + 1;
    const auto wholeRange = [&] {
        ranges = static_cast<BlockRange*>(XALLOC(sizeof(BlockRange)));
        ranges[0] = BlockRange{0, levelPoints};
        return std::uint64_t{1};
    };

    // A box that holds the group's bounds on every axis selects every point.
    bool containsAll = true;
    for (int axis = 0; axis < 3; ++axis) {
        const double low = std::max(bounds[2 * axis], bounds_[2 * axis]);
        const double high = std::min(bounds[2 * axis + 1], bounds_[2 * axis + 1]);
        containsAll = containsAll && low == bounds_[2 * axis] && high == bounds_[2 * axis + 1];
    }
    if (containsAll) return wholeRange();
    if (index_ == nullptr) return 0;

    std::unique_ptr<RTree::Iterator, DeleteIterator> iterator(index_->createIterator());
    std::uint64_t block = 0;
    std::uint64_t found = 0;
    while (iterator->nextIntersecting(bounds, block))
        ++found;
    if (found == 0) return 0;
    if (found == index_->getNumEntries()) return wholeRange();

    std::unique_ptr<BlockRange, FreeBlock> holder(
        static_cast<BlockRange*>(XALLOC(found * sizeof(BlockRange))));
    BlockRange* list = holder.get();
    std::uint64_t count = 0;
    iterator->reset();
    while (count < found && iterator->nextIntersecting(bounds, block)) {
        // A block that starts at or past the last point holds none of them.
        std::uint64_t start = 0;
        if (__builtin_mul_overflow(block, static_cast<std::uint64_t>(blockSize_), &start) ||
            start >= static_cast<std::uint64_t>(numPoints_))
            continue;
        const auto first = static_cast<std::int64_t>(start);
        list[count++] = BlockRange{first, std::min(blockSize_, numPoints_ - first)};
    }
    if (count == 0) return 0;

    std::sort(list, list + count,
              [](const BlockRange& a, const BlockRange& b) { return a.start < b.start; });
    const auto gap = static_cast<std::int64_t>(maxSubblockSize_);
    count = merge(list, count, gap);
    for (std::uint32_t l = 0; l < level; ++l) {
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::int64_t start = halfUp(list[i].start);
            const std::int64_t end = halfUp(list[i].start + list[i].count);
            list[i] = BlockRange{start, end - start};
        }
        count = merge(list, count, gap);
    }
    ranges = holder.release();
    return count;
}

} // namespace Korvel
