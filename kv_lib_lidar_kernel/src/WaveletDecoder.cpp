#include "WaveletDecoder.h"

#include "BufferedIOReader.h"
#include "ChannelInfo.h"
#include "DataType.h"
#include "Error.h"
#include "ObjectRef.h"
#include "PointInfo.h"
#include "ProgressDelegate.h"
#include "SubbandSource.h"
#include "SubblockReader.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace Korvel {

namespace {

const char* const File = "WaveletDecoder";
const char* const CreateFunction = "Korvel::WaveletDecoder::create";

// A sum of buffer sizes that saturates instead of wrapping.
struct Budget {
    std::uint64_t total = 0;
    void add(std::uint64_t count, std::uint64_t size) {
        std::uint64_t bytes = 0;
        if (__builtin_mul_overflow(count, size, &bytes) ||
            __builtin_add_overflow(total, bytes, &total))
            total = std::numeric_limits<std::uint64_t>::max();
    }
};

// Samples of the signal of stage k's output (k = levels - 1: the whole signal of points).
std::int64_t stageLength(std::int64_t points, std::uint32_t levels, std::uint32_t k) {
    return ((points - 1) >> (levels - 1 - k)) + 1;
}

// Samples of subband s: the coarsest low band for 0, else the high band that stage s adds.
std::int64_t subbandLength(std::int64_t points, std::uint32_t levels, std::uint32_t s) {
    return s == 0 ? stageLength(points, levels, 0) : stageLength(points, levels, s) / 2;
}

struct DeleteReader {
    void operator()(BufferedIOReader* reader) const { delete reader; }
};
using ReaderHolder = std::unique_ptr<BufferedIOReader, DeleteReader>;

ReaderHolder openWindow(const IO::Location& location) {
    ReaderHolder reader(new BufferedIOReader);
    reader->attach(location, WaveletDecoder::ReaderBufferSize);
    return reader;
}

} // namespace

// A requested channel: its description, the windows of the subbands used, and the chain that
// decodes them (deleted through its top, which deletes what it reads).
struct WaveletDecoder::Channel {
    KORVEL_XALLOC_OPERATORS

    Channel() = default;
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;
    ~Channel() {
        delete top;
        delete subblocks;
        delete[] subbands;
    }

    KernelChannelInfo info;
    SubbandLocation* subbands = nullptr;
    SubblockReader* subblocks = nullptr;
    SubbandSource* top = nullptr;
};

WaveletDecoder::~WaveletDecoder() {
    delete[] channels_;
    XFREE(ranges_);
}

WaveletDecoder* WaveletDecoder::create(const WaveletDecoderInfo& info, const double* bounds,
                                       double fraction, const PointInfo& pointInfo,
                                       ProgressDelegate* delegate) {
    const std::uint32_t level = info.getLevel(fraction);
    const std::uint32_t levelsUsed = info.getNumLevels() - level;
    if (levelsUsed == 0 || levelsUsed > MaxLevels)
        KORVEL_FAIL(File, CreateFunction, ErrorCode::WaveletHeader, "bad number of levels %u",
                    info.getNumLevels());

    ObjectRef<WaveletDecoder> decoder(new WaveletDecoder);
    decoder->numLevelsUsed_ = levelsUsed;
    decoder->windowSize_ = info.getMaxSubblockSize();
    decoder->numPointsAtLevel_ = ((info.getNumPoints() - 1) >> level) + 1;

    const std::uint64_t count = pointInfo.getNumChannels();
    decoder->channels_ = new Channel[count];
    decoder->numChannels_ = count;
    for (std::uint64_t c = 0; c < count; ++c) {
        const DecoderChannel& record = info.getChannel(pointInfo.getChannel(c).getName());
        if (record.numSubbands < levelsUsed)
            KORVEL_FAIL(File, CreateFunction, ErrorCode::Subband, "bad subband count");
        Channel& channel = decoder->channels_[c];
        channel.info = record.info;
        channel.subbands = new SubbandLocation[levelsUsed];
        std::copy(record.subbands, record.subbands + levelsUsed, channel.subbands);
    }

    decoder->numRanges_ = info.queryBlocks(level, bounds, decoder->ranges_);
    // Runs never reach past the level's signal, where nothing would decode.
    double total = 0.0;
    for (std::uint64_t r = 0; r < decoder->numRanges_; ++r) {
        BlockRange& range = decoder->ranges_[r];
        range.start = std::clamp<std::int64_t>(range.start, 0, decoder->numPointsAtLevel_);
        range.count =
            std::clamp<std::int64_t>(range.count, 0, decoder->numPointsAtLevel_ - range.start);
        total += static_cast<double>(range.count);
    }

    // What the level leaves of the fraction; 2^level exactly, whatever the level.
    decoder->init(bounds, fraction * std::ldexp(1.0, static_cast<int>(level)), pointInfo, delegate);
    if (delegate != nullptr && delegate->getTotal() == 0.0) delegate->setTotal(total);
    if (decoder->numRanges_ == 0) return decoder.release();

    // Every buffer of the decoder is sized from the file: check them all before any is made.
    const std::uint64_t window = decoder->windowSize_;
    if (window == 0 || window > SubblockReader::MaxSubblockSize)
        KORVEL_FAIL(File, CreateFunction, ErrorCode::Subband, "bad subblock size %llu",
                    static_cast<unsigned long long>(window));
    const std::int64_t points = decoder->numPointsAtLevel_;
    Budget budget;
    budget.add(window, 8); // the scratch channel
    for (std::uint64_t c = 0; c < count; ++c) {
        budget.add(window, datatypeSize(pointInfo.getChannel(c).getDatatype()));
        const KernelChannelInfo& channel = decoder->channels_[c].info;
        const std::uint64_t width = datatypeSize(channel.getCodedType());
        const std::uint64_t subblock = channel.getSubblockSize();
        budget.add(subblock, 24); // coded bytes and the decoding state of a subblock
        budget.add(1, 65536);
        for (std::uint32_t s = 0; s < levelsUsed; ++s) {
            const auto length = static_cast<std::uint64_t>(
                std::max<std::int64_t>(subbandLength(points, levelsUsed, s), 0));
            budget.add(std::min(subblock, length), width);
            budget.add(2, ReaderBufferSize);
            if (s == 0) continue;
            const auto lowLength = static_cast<std::uint64_t>(
                std::max<std::int64_t>(stageLength(points, levelsUsed, s - 1), 0));
            budget.add(2 * (std::min(window, lowLength) + 8), width);
        }
    }
    if (budget.total > MaxBufferBytes)
        KORVEL_FAIL(File, CreateFunction, ErrorCode::Subband, "decoder buffers too large");

    decoder->work_.init(pointInfo, window);
    for (std::uint64_t c = 0; c < count; ++c)
        decoder->buildPipeline(decoder->channels_[c], decoder->ranges_[0].start);
    return decoder.release();
}

void WaveletDecoder::buildPipeline(Channel& channel, std::int64_t position) {
    const KernelChannelInfo& info = channel.info;
    channel.subblocks = SubblockReader::create(info.getCodedType(), info.getTransform(),
                                               info.getName(), info.getSubblockSize());
    const std::uint32_t levels = numLevelsUsed_;
    std::unique_ptr<SubbandSource> source;
    for (std::uint32_t s = 0; s < levels; ++s) {
        const SubbandLocation& location = channel.subbands[s];
        ReaderHolder data = openWindow(location.data);
        ReaderHolder headers;
        if (location.headers.getIO() != nullptr) headers = openWindow(location.headers);
        BufferedIOReader* headerReader = headers ? headers.get() : data.get();
        const auto length = static_cast<std::uint64_t>(
            std::max<std::int64_t>(subbandLength(numPointsAtLevel_, levels, s), 0));
        std::unique_ptr<SubbandSource> band(SubbandSource::createSubbandReader(
            *channel.subblocks, s == 0 ? 0 : s - 1, s > 0, headerReader, data.get(), length));
        headers.release();
        data.release();
        if (s == 0) {
            source = std::move(band);
            continue;
        }
        // The stage owns both bands once made; a failure leaves them here.
        SubbandSource* stage =
            SubbandSource::createPipeStage(windowSize_, source.get(), band.get());
        source.release();
        band.release();
        source.reset(stage);
    }
    channel.top = source.release();
    channel.top->start(position);
}

std::uint64_t WaveletDecoder::decodeBlock(std::uint64_t n) {
    std::uint64_t count = n;
    for (std::uint64_t c = 0; c < numChannels_; ++c) {
        Channel& channel = channels_[c];
        const std::uint32_t coded = channel.info.getCodedType();
        // One scratch block of the widest sample serves every channel; it is remade only when
        // the coded datatype changes from one channel to the next.
        if (scratch_.getDatatype() != coded || scratch_.getNumSamples() < windowSize_) {
            ChannelInfo scratchInfo;
            scratchInfo.set("work buffer", coded, 0);
            scratch_.init(scratchInfo, windowSize_);
        }
        count = channel.top->read(scratch_.getData(), std::min(count, windowSize_));
        // The conversion is the channel's own, chosen by its stored datatype against its coded
        // one: plain casts when both are of one kind, else integers with scale and offset. A
        // caller asking for the channel in the other kind gets the conversion's error.
        ChannelData& out = work_.getChannel(c);
        if (datatypeIsFloat(channel.info.getDatatype()) == datatypeIsFloat(coded))
            ChannelData::convert(out, 0, scratch_, 0, count);
        else
            ChannelData::convert(out, 0, scratch_, 0, channel.info.getOffset(),
                                 channel.info.getScale(), count);
    }
    return count;
}

bool WaveletDecoder::nextBlock() {
    while (rangeIndex_ < numRanges_) {
        BlockRange& range = ranges_[rangeIndex_];
        if (range.count < 1) {
            if (++rangeIndex_ == numRanges_) return false;
            for (std::uint64_t c = 0; c < numChannels_; ++c)
                channels_[c].top->seek(ranges_[rangeIndex_].start);
            continue;
        }
        const std::uint64_t decoded =
            decodeBlock(std::min(static_cast<std::uint64_t>(range.count), windowSize_));
        // A range inside the signal always yields points; a chain that gives none would
        // otherwise be asked again for ever.
        if (decoded == 0)
            KORVEL_FAIL(File, "Korvel::WaveletDecoder::getNextPoints", ErrorCode::Subband,
                        "bad read -- no points decoded");
        end_ = decoded;
        range.count -= static_cast<std::int64_t>(decoded);
        if (delegate_ != nullptr) {
            delegate_->addProgress(static_cast<double>(decoded));
            if (delegate_->isCancelled())
                KORVEL_FAIL(File, "Korvel::WaveletDecoder::getNextPoints", ErrorCode::Cancelled,
                            "operation cancelled.");
        }
        return true;
    }
    return false;
}

bool WaveletDecoder::passes(std::uint64_t i) {
    const double x = work_.getX()[i];
    const double y = work_.getY()[i];
    const double z = work_.getZ()[i];
    if (!(x >= bounds_[0] && x <= bounds_[1] && y >= bounds_[2] && y <= bounds_[3] &&
          z >= bounds_[4] && z <= bounds_[5]))
        return false;
    accumulator_ += fraction_;
    if (accumulator_ > limit_) {
        accumulator_ -= 1.0;
        return true;
    }
    return false;
}

std::uint64_t WaveletDecoder::getNextPoints(PointData& points) {
    const std::uint64_t capacity = points.getNumSamples();
    std::uint64_t written = 0;
    while (written < capacity) {
        if (cur_ == end_) {
            cur_ = end_ = 0;
            if (!nextBlock()) break;
        }
        std::uint64_t i = cur_;
        while (i < end_ && !passes(i))
            ++i;
        if (i == end_) {
            cur_ = end_;
            continue;
        }
        // A run of passing points, up to the output's capacity; the point that ends it is
        // consumed.
        const std::uint64_t first = i++;
        std::uint64_t run = 1;
        while (written + run < capacity && i < end_) {
            if (!passes(i++)) break;
            ++run;
        }
        PointData::copy(points, written, work_, first, run);
        written += run;
        cur_ = i;
    }
    return written;
}

} // namespace Korvel
