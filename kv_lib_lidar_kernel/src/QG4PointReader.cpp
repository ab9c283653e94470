#include "QG4PointReader.h"

#include "BaseChunkReader.h"
#include "BufferedIOReader.h"
#include "ChunkHeader.h"
#include "Error.h"
#include "Metadata.h"
#include "PointInfo.h"
#include "WaveletDecoderInfo.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

namespace Korvel {

namespace {

const char* const InitFunction = "Korvel::QG4PointReader::init";

// Channels whose values need at least these bits, whatever their coding says.
struct KnownChannel {
    const char* name;
    std::uint32_t bits;
};
constexpr KnownChannel KnownChannels[] = {
    {"X", 32},        {"Y", 32},         {"Z", 32},       {"Intensity", 16},
    {"ReturnNum", 3}, {"NumReturns", 3}, {"ScanDir", 1},  {"EdgeFlightLine", 1},
    {"ClassId", 8},   {"ScanAngle", 8},  {"UserData", 8}, {"SourceId", 16},
    {"GPSTime", 64},  {"Red", 16},       {"Green", 16},   {"Blue", 16},
};

std::uint32_t describedBits(const char* name, std::uint32_t bits) {
    for (const KnownChannel& known : KnownChannels)
        if (std::strcmp(known.name, name) == 0) return std::max(bits, known.bits);
    return bits;
}

struct FreeText {
    void operator()(char* text) const { XFREE(text); }
};

} // namespace

QG4PointReader* QG4PointReader::create() {
    return new QG4PointReader;
}

QG4PointReader::~QG4PointReader() {
    delete decoderInfo_;
    for (std::uint64_t i = 0; i < classNameCount_; ++i)
        XFREE(classNames_[i]);
    XFREE(classNames_);
}

void QG4PointReader::init(IO* io) {
    // A reader holds one file; a second init would mix two.
    if (initCalled_)
        KORVEL_FAIL("QG4PointReader", InitFunction, ErrorCode::Generic,
                    "reader already initialised");
    initCalled_ = true;

    BufferedIOReader reader;
    reader.attach(io, true, 4096);
    BaseChunkReader chunks(reader);

    std::uint8_t version[4];
    const std::uint64_t fileLength = chunks.readMagic(version);
    std::snprintf(versionText_, sizeof versionText_, "QG4 %d.%d.%d.%d", version[0], version[1],
                  version[2], version[3]);
    const std::uint32_t packedVersion = BaseChunkReader::packVersion(version);

    ChunkHeader group;
    group.read(reader);
    // The group must fit in the length that the header states, and its end in a file offset.
    const std::uint64_t groupLimit = std::min<std::uint64_t>(
        fileLength < ChunkHeader::Size ? 0 : fileLength - ChunkHeader::Size,
        static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max() - reader.tell()));
    if (group.length > groupLimit)
        KORVEL_FAIL("QG4PointReader", InitFunction, ErrorCode::FileHeader, "chunk length error");
    if (group.id != ChunkHeader::Group)
        KORVEL_FAIL("QG4PointReader", InitFunction, ErrorCode::FileHeader,
                    "unsupported group type");
    auto remaining = static_cast<std::int64_t>(group.length);

    decoderInfo_ = new WaveletDecoderInfo;
    decoderInfo_->init(reader, remaining);

    ChunkHeader header;
    chunks.readChunkHeader(header, remaining, ChunkHeader::Metadata, ErrorCode::MetadataChunk);
    chunks.recordAndSkip(header.length, metadataLocation_);

    chunks.readChunkHeader(header, remaining, ChunkHeader::WKT, ErrorCode::WKT);
    char* wkt = nullptr;
    chunks.readWKT(header.length, wkt);
    std::unique_ptr<char, FreeText> wktHolder(wkt);
    setWKT(wkt);

    if (packedVersion >= BaseChunkReader::ClassNamesVersion) {
        chunks.readChunkHeader(header, remaining, ChunkHeader::ClassNames, ErrorCode::ClassNames);
        chunks.readClassNames(header.length, classNames_, classNameCount_);
    }
    reader.close();

    setNumPoints(decoderInfo_->getNumPoints());
    PointInfo pointInfo;
    pointInfo.init(decoderInfo_->getNumChannels());
    for (std::uint64_t c = 0; c < decoderInfo_->getNumChannels(); ++c) {
        const KernelChannelInfo& info = decoderInfo_->getChannel(c).info;
        pointInfo.getChannel(c).set(
            info.getName(), info.getDatatype(),
            static_cast<int>(describedBits(info.getName(), info.getBits())));
    }
    setPointInfo(pointInfo);
    setBounds(decoderInfo_->getBounds());

    double scales[3];
    double offsets[3];
    const char* const axes[3] = {"X", "Y", "Z"};
    for (int axis = 0; axis < 3; ++axis) {
        const KernelChannelInfo& info = decoderInfo_->getChannel(axes[axis]).info;
        scales[axis] = info.getScale();
        offsets[axis] = info.getOffset();
    }
    setQuantization(scales, offsets);
}

void QG4PointReader::loadMetadata(Metadata& metadata) {
    if (metadataLocation_.getIO() == nullptr || metadataLocation_.getLength() < 1) return;
    BufferedIOReader reader;
    reader.attach(metadataLocation_, 4096);
    metadata.read(reader);
    reader.close();
}

double QG4PointReader::getNumPointsInQuery(const double* bounds, double fraction) const {
    return decoderInfo_ != nullptr ? decoderInfo_->estimateNumPoints(bounds, fraction) : 0.0;
}

PointIterator* QG4PointReader::createIterator(const double* bounds, double fraction,
                                              const PointInfo& pointInfo,
                                              ProgressDelegate* delegate) {
    if (decoderInfo_ == nullptr)
        KORVEL_FAIL("QG4PointReader", "Korvel::QG4PointReader::createIterator", ErrorCode::Generic,
                    "reader not initialised");
    return decoderInfo_->createIterator(bounds, fraction, pointInfo, delegate);
}

} // namespace Korvel
