#include "SubblockReader.h"

#include "BigEndian.h"
#include "DataType.h"
#include "Error.h"
#include "GZFloatingPoint.h"
#include "MQFloatingPoint.h"
#include "MQInteger.h"
#include "TransformUtils.h"

#include <algorithm>
#include <cstring>

namespace Korvel {

namespace {

constexpr const char* kFile = "SubblockReader";

} // namespace

SubblockReader::SubblockReader(std::uint32_t datatype, std::uint32_t transform,
                               const char* channelName, std::uint64_t subblockSize)
    : datatype_(datatype), transform_(transform), channelName_(channelName),
      subblockSize_(subblockSize), sampleWidth_(static_cast<std::uint8_t>(datatype >> 8)),
      isWaveletTransform_(TransformUtils::isWavelet(transform)) {}

SubblockReader::~SubblockReader() = default;

SubblockReader* SubblockReader::create(std::uint32_t datatype, std::uint32_t transform,
                                       const char* channelName, std::uint64_t subblockSize) {
    const char* const function = "Korvel::SubblockReader::create";
    const bool mq = TransformUtils::isMQ(transform);
    const bool gz = TransformUtils::isGZ(transform);
    const bool integer = TransformUtils::isInteger(transform);
    const bool floatingPoint = TransformUtils::isFloatingPoint(transform);
    const bool knownFloat = datatype == DATATYPE_FLOAT32 || datatype == DATATYPE_FLOAT64;
    const bool knownInteger =
        datatype == DATATYPE_SINT16 || datatype == DATATYPE_SINT32 || datatype == DATATYPE_SINT64;
    if (!((integer && mq) || (floatingPoint && (gz || mq))))
        KORVEL_FAIL(kFile, function, ErrorCode::PointData, "unkown transform");
    if (integer ? !knownInteger : !knownFloat)
        KORVEL_FAIL(kFile, function, ErrorCode::PointData, "unkown datatype");
    // The buffers grow with the subblock size, which comes from the file.
    if (subblockSize == 0 || subblockSize > MaxSubblockSize)
        KORVEL_FAIL(kFile, function, ErrorCode::Subband, "bad subblock size");

    std::unique_ptr<SubblockReader> reader;
    if (integer) {
        if (datatype == DATATYPE_SINT16)
            reader.reset(new MQInteger<short, unsigned short>(datatype, transform, channelName,
                                                              subblockSize));
        else if (datatype == DATATYPE_SINT32)
            reader.reset(
                new MQInteger<int, unsigned int>(datatype, transform, channelName, subblockSize));
        else
            reader.reset(new MQInteger<std::int64_t, std::uint64_t>(datatype, transform,
                                                                    channelName, subblockSize));
    } else if (gz) {
        if (datatype == DATATYPE_FLOAT32)
            reader.reset(
                new GZFloatingPoint<float>(datatype, transform, channelName, subblockSize));
        else
            reader.reset(
                new GZFloatingPoint<double>(datatype, transform, channelName, subblockSize));
    } else {
        if (datatype == DATATYPE_FLOAT32)
            reader.reset(new MQFloatingPoint<float, unsigned int>(datatype, transform, channelName,
                                                                  subblockSize));
        else
            reader.reset(new MQFloatingPoint<double, std::uint64_t>(datatype, transform,
                                                                    channelName, subblockSize));
    }
    reader->init();
    return reader.release();
}

void SubblockReader::allocateDataBuffer(std::uint64_t capacity) {
    dataBuffer_ = allocate<unsigned char>(capacity);
    dataCapacity_ = capacity;
}

void SubblockReader::checkDataLength(const char* function) const {
    if (dataLength_ == 0 || dataLength_ > dataCapacity_)
        KORVEL_FAIL(kFile, function, ErrorCode::Subband, "bad subblock data length");
}

std::uint64_t SubblockReader::loadSubblock(BufferedIOReader& headerReader,
                                           BufferedIOReader& dataReader, void* buffer,
                                           std::uint64_t count, std::uint64_t pending) {
    const char* const function = "Korvel::SubblockReader::loadSubblock";
    if (count > subblockSize_)
        KORVEL_FAIL(kFile, function, ErrorCode::Subband, "bad subblock sample count");
    const std::size_t bytes = static_cast<std::size_t>(count * sampleWidth_);
    if (pending > 0) {
        std::memset(buffer, 0, bytes);
        return pending - 1;
    }
    const std::uint64_t run = readSubblockHeader(headerReader);
    if (run > 0) {
        std::memset(buffer, 0, bytes);
        return run - 1;
    }
    const auto length = static_cast<std::int64_t>(dataLength_);
    if (dataReader.remaining() < length || dataReader.read(dataBuffer_.get(), length) != length)
        KORVEL_FAIL(kFile, function, ErrorCode::Subband, "bad read -- subblock data");
    decode(buffer, count);
    return 0;
}

std::uint64_t SubblockReader::skipSubblocks(BufferedIOReader& headerReader,
                                            BufferedIOReader& dataReader, std::uint64_t k,
                                            void* buffer, std::uint64_t count) {
    std::uint64_t run = 0;
    while (k > 0) {
        run = readSubblockHeader(headerReader);
        if (run > 0) {
            const std::uint64_t t = std::min(k, run);
            run -= t;
            k -= t;
        } else {
            const auto length = static_cast<std::int64_t>(dataLength_);
            if (dataReader.remaining() < length)
                KORVEL_FAIL(kFile, "Korvel::SubblockReader::skipSubblocks", ErrorCode::Subband,
                            "bad read -- subblock data");
            dataReader.seek(length, BufferedIOReader::FromCurrent);
            --k;
        }
    }
    return loadSubblock(headerReader, dataReader, buffer, count, run);
}

std::uint64_t SubblockReader::readPlaneLengths(BufferedIOReader& headerReader) {
    const char* const function = "Korvel::SubblockReader::readPlaneLengths";
    if (!isWaveletTransform_) {
        std::uint32_t length = 0;
        if (!BigEndian::read(headerReader, length))
            KORVEL_FAIL(kFile, function, ErrorCode::Subband, "bad read -- plane length header");
        return length;
    }
    // Only the integer family keeps a plane table.
    if (planeTable_ == nullptr) return 0;
    std::uint64_t sum = 0;
    for (int p = topPlane_; p >= lowestPlane_ && p >= 0; --p) {
        std::uint8_t layer = 0;
        std::uint16_t length = 0;
        if (!BigEndian::read(headerReader, layer))
            KORVEL_FAIL(kFile, function, ErrorCode::Subband, "bad read -- plane layer header");
        if (!BigEndian::read(headerReader, length))
            KORVEL_FAIL(kFile, function, ErrorCode::Subband, "bad read -- plane length header");
        planeTable_[p] = {length, layer};
        sum += length;
    }
    return sum;
}

std::uint64_t SubblockReader::readFloatingPointHeader(BufferedIOReader& headerReader,
                                                      const char* function) {
    std::uint32_t v = 0;
    if (!BigEndian::read(headerReader, v))
        KORVEL_FAIL(kFile, function, ErrorCode::Subband, "bad read -- subblock header");
    topPlane_ = 0;
    rawTopPlane_ = -1;
    if (v < 2048) {
        dataLength_ = 0;
        return std::uint64_t(v) + 1;
    }
    dataLength_ = v - 2048;
    checkDataLength(function);
    return 0;
}

} // namespace Korvel
