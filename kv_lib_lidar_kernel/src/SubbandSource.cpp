#include "SubbandSource.h"

#include "DatatypeDispatch.h"
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
    SubbandSource* made = nullptr;
    if (!withWaveletDatatype(reader.getDatatype(), [&](auto zero) {
            made = new SubbandReaderImp<decltype(zero)>(reader, level, isHighBand, headerReader,
                                                        dataReader, length);
        }))
        KORVEL_FAIL("SubbandSource", "Korvel::SubbandSource::createSubbandReader",
                    ErrorCode::PointData, "unkown datatype");
    return made;
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
        KORVEL_FAIL("SubbandSource", "Korvel::SubbandSource::createPipeStage", ErrorCode::Subband,
                    "bad window size %llu", static_cast<unsigned long long>(windowSize));
    return new SubbandSource::PipelineStageImp<T>(windowSize, low, high, padding, predict, update);
}

} // namespace

SubbandSource* SubbandSource::createPipeStage(std::uint64_t windowSize, SubbandSource* low,
                                              SubbandSource* high) {
    // Both bands come from one channel; samples of another width would not fit the windows.
    const std::uint32_t datatype = low->getDatatype();
    SubbandSource* stage = nullptr;
    if (high->getDatatype() == datatype && withWaveletDatatype(datatype, [&](auto zero) {
            stage = makeStage<decltype(zero)>(windowSize, low, high);
        }))
        return stage;
    KORVEL_FAIL("SubbandSource", "Korvel::SubbandSource::createPipeStage", ErrorCode::ChunkHeader,
                "unknown datatype");
}

} // namespace Korvel
