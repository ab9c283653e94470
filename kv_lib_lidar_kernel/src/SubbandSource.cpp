#include "SubbandSource.h"

#include "DataType.h"
#include "Error.h"
#include "PipelineStageImp.h"
#include "SubbandReaderImp.h"
#include "SubblockReader.h"
#include "TransformUtils.h"

namespace Korvel {

SubbandSource::SubbandSource(std::uint32_t datatype, std::uint32_t transform,
                             const char* channelName, std::uint64_t level, bool isHighBand,
                             std::uint64_t blockLength, std::uint64_t length)
    : datatype_(datatype), transform_(transform), channelName_(channelName), level_(level),
      isHighBand_(isHighBand ? 1 : 0), blockLength_(blockLength), length_(length) {}

SubbandSource::~SubbandSource() = default;

SubbandSource* SubbandSource::createSubbandReader(SubblockReader& reader, std::uint64_t level,
                                                  bool isHighBand, BufferedIOReader* headerReader,
                                                  BufferedIOReader* dataReader,
                                                  std::uint64_t length) {
    switch (reader.getDatatype()) {
    case DATATYPE_SINT16:
        return new SubbandReaderImp<std::int16_t>(reader, level, isHighBand, headerReader,
                                                  dataReader, length);
    case DATATYPE_SINT32:
        return new SubbandReaderImp<std::int32_t>(reader, level, isHighBand, headerReader,
                                                  dataReader, length);
    case DATATYPE_SINT64:
        return new SubbandReaderImp<std::int64_t>(reader, level, isHighBand, headerReader,
                                                  dataReader, length);
    case DATATYPE_FLOAT32:
        return new SubbandReaderImp<float>(reader, level, isHighBand, headerReader, dataReader,
                                           length);
    case DATATYPE_FLOAT64:
        return new SubbandReaderImp<double>(reader, level, isHighBand, headerReader, dataReader,
                                            length);
    default:
        throw Error::make("SubbandSource", "Korvel::SubbandSource::createSubbandReader", __LINE__,
                          ErrorCode::PointData, "unkown datatype");
    }
}

namespace {

template <class T>
SubbandSource* makeStage(std::uint64_t windowSize, SubbandSource* low, SubbandSource* high) {
    const std::uint32_t padding = TransformUtils::getPadding(low->getTransform());
    TransformUtils::PredictKernel predict = nullptr;
    TransformUtils::UpdateKernel update = nullptr;
    TransformUtils::getInverseWavelet(low->getDatatype(), low->getTransform(), predict, update);
    // The first window must leave final samples (2W - 4P of them, one less for an odd start),
    // and a window is never larger than the largest subblock a channel may have.
    if (windowSize <= 2 * std::uint64_t{padding} || windowSize > SubblockReader::MaxSubblockSize)
        throw Error::make("SubbandSource", "Korvel::SubbandSource::createPipeStage", __LINE__,
                          ErrorCode::Subband, "bad window size %llu",
                          static_cast<unsigned long long>(windowSize));
    return new SubbandSource::PipelineStageImp<T>(windowSize, low, high, padding, predict, update);
}

} // namespace

SubbandSource* SubbandSource::createPipeStage(std::uint64_t windowSize, SubbandSource* low,
                                              SubbandSource* high) {
    // Both bands come from one channel; samples of another width would not fit the windows.
    const std::uint32_t datatype = low->getDatatype();
    if (high->getDatatype() == datatype) {
        switch (datatype) {
        case DATATYPE_SINT16:
            return makeStage<std::int16_t>(windowSize, low, high);
        case DATATYPE_SINT32:
            return makeStage<std::int32_t>(windowSize, low, high);
        case DATATYPE_SINT64:
            return makeStage<std::int64_t>(windowSize, low, high);
        case DATATYPE_FLOAT32:
            return makeStage<float>(windowSize, low, high);
        case DATATYPE_FLOAT64:
            return makeStage<double>(windowSize, low, high);
        default:
            break;
        }
    }
    throw Error::make("SubbandSource", "Korvel::SubbandSource::createPipeStage", __LINE__,
                      ErrorCode::ChunkHeader, "unknown datatype");
}

} // namespace Korvel
