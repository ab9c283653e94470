#include "PipelinedWaveletDecoder.h"

#include "Pipe.h"
#include "SubbandRowSource.h"
#include "buffers/KVISceneBuffer.h"
#include "qg3/container/QG3DataType.h"
#include "qg3/container/QG3ImageInfo.h"
#include "qg3/container/QG3Status.h"
#include "support/KVStatusGuard.h"

#include <algorithm>
#include <new>

namespace Korvel {

PipelinedWaveletDecoder::PipelinedWaveletDecoder(SubbandRowSource& source, const KVIRect& rect,
                                                 std::uint16_t bands, const WaveletKernels& kernels)
    : source_(source), kernels_(kernels), rect_(rect), bands_(bands),
      width_(static_cast<std::uint32_t>(rect.width())) {}

PipelinedWaveletDecoder::~PipelinedWaveletDecoder() = default;

std::unique_ptr<PipelinedWaveletDecoder>
PipelinedWaveletDecoder::create(const KVIRect& rect, std::uint8_t levelsToRun, std::uint32_t height,
                                std::uint32_t width, std::uint16_t bands,
                                std::uint8_t levelsSkipped, SubbandRowSource& source) {
    if (width < 3 || height < 3 || bands == 0) return nullptr;
    if (rect.x0 < 0 || rect.y0 < 0 || rect.isEmpty() || std::uint32_t(rect.x1) >= width ||
        std::uint32_t(rect.y1) >= height)
        return nullptr;
    // The source must hand out rows for exactly these bands and hold every subband the levels
    // read, at the sizes they expect.
    const QG3ImageInfo& info = source.getImageInfo();
    const std::uint16_t subblockSize = source.getSubblockSize();
    if (source.getBandCount() != bands || subblockSize == 0 || !info.subbands ||
        std::uint32_t(levelsToRun) + levelsSkipped != info.numLevels ||
        info.numSubbands != 4u * info.numLevels + 1u)
        return nullptr;
    try {
        const WaveletKernels& kernels = waveletKernels();
        std::unique_ptr<PipelinedWaveletDecoder> decoder(
            new PipelinedWaveletDecoder(source, rect, bands, kernels));
        decoder->pipe_ = std::make_unique<Pipe>(PipeSegWindow{width, height, rect}, levelsToRun,
                                                levelsSkipped, bands, subblockSize, kernels);
        for (const Pipe::SubbandUse& use : decoder->pipe_->getSubbandUses()) {
            const QG3Subband& subband = info.subbands[use.subband];
            if (subband.width != use.width || subband.height != use.height) return nullptr;
        }
        return decoder;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void PipelinedWaveletDecoder::setOutputRange(std::uint32_t minimum, std::uint32_t maximum,
                                             std::uint32_t dataType) {
    minimum_ = static_cast<std::int32_t>(minimum);
    maximum_ = static_cast<std::int32_t>(maximum);
    clamp_ = nullptr;
    scale_ = nullptr;
    sampleBytes_ = 0;
    // The range is narrowed to what the output type holds, so that no sample wraps.
    auto clampTo = [&](WaveletClampType type, std::int32_t lowest, std::int32_t highest) {
        clamp_ = kernels_.clamp[type];
        minimum_ = std::max(minimum_, lowest);
        maximum_ = std::min(maximum_, highest);
    };
    switch (dataType) {
    case QG3_DATATYPE_UINT8:
        clampTo(kWaveletClampU8, 0, 255);
        break;
    case QG3_DATATYPE_SINT8:
        clampTo(kWaveletClampS8, -128, 127);
        break;
    case QG3_DATATYPE_UINT16:
        clampTo(kWaveletClampU16, 0, 65535);
        break;
    case QG3_DATATYPE_SINT16:
        clampTo(kWaveletClampS16, -32768, 32767);
        break;
    case QG3_DATATYPE_FLOAT32: {
        scale_ = kernels_.scale;
        // Decoded band i is the image's i-th selected band.
        const QG3ImageInfo& info = source_.getImageInfo();
        const QG3BandSet& set = info.bandSet;
        const bool selection = set.getSetCount() == bands_;
        bandScale_.assign(bands_, 1.0f);
        bandOffset_.assign(bands_, 0.0f);
        std::uint16_t band = 0;
        for (std::uint16_t i = 0; i < bands_; ++i, ++band) {
            while (selection && band < set.getBitCount() && !set.isSet(band))
                ++band;
            if (band >= set.getBitCount()) break;
            if (info.bandScale) bandScale_[i] = info.bandScale[band];
            if (info.bandOffset) bandOffset_[i] = info.bandOffset[band];
        }
        break;
    }
    default:
        return;
    }
    sampleBytes_ = getDataTypeBytes(dataType);
}

KVStatus PipelinedWaveletDecoder::decodeBegin() {
    if (failure_ != KV_OK) return failure_;
    if (!pipe_) return KV_QG3_NOT_FOUND;
    if (!clamp_ && !scale_) return KV_QG3_NOT_SUPPORTED;
    if (stripHeight_ == 0) return KV_BAD_ARGUMENT;
    const auto y0 = std::uint32_t(rect_.y0);
    const std::uint32_t last = std::min(y0 - (y0 % 2) + 1, std::uint32_t(rect_.y1));
    KV_RETURN_IF_FAILED(decodeRows(y0, last));
    nextFirstRow_ = y0;
    lastDecodedRow_ = last;
    begun_ = true;
    return KV_OK;
}

KVStatus PipelinedWaveletDecoder::decodeStrip(const KVIRect& strip, KVISceneBuffer* buffer,
                                              std::uint32_t x, std::uint32_t y) {
    if (failure_ != KV_OK) return failure_;
    if (!pipe_ || !begun_) return KV_QG3_NOT_FOUND;
    if (strip.x0 != rect_.x0 || strip.x1 != rect_.x1 || strip.y0 < 0 ||
        std::uint32_t(strip.y0) != nextFirstRow_ || strip.y1 < strip.y0 || strip.y1 > rect_.y1 ||
        std::uint64_t(strip.height()) > stripHeight_)
        return KV_QG3_NOT_FOUND;

    const auto y0 = std::uint32_t(strip.y0);
    const auto y1 = std::uint32_t(strip.y1);
    // The rows made with the last strip (or by decodeBegin), then the rest, two at a time.
    if (buffer) writeRows(y0, std::min(lastDecodedRow_, y1), y0, *buffer, x, y);
    const std::uint32_t target = std::min(y1 + 1, std::uint32_t(rect_.y1));
    while (lastDecodedRow_ < target) {
        const std::uint32_t ya = lastDecodedRow_ + 1;
        const std::uint32_t yb = std::min(ya + 1, std::uint32_t(rect_.y1));
        KV_RETURN_IF_FAILED(decodeRows(ya, yb));
        lastDecodedRow_ = yb;
        if (buffer && ya <= y1) writeRows(ya, std::min(yb, y1), y0, *buffer, x, y);
    }
    nextFirstRow_ = y1 + 1;
    return KV_OK;
}

KVStatus PipelinedWaveletDecoder::decodeRows(std::uint32_t ya, std::uint32_t yb) {
    const KVStatus status = pipe_->run(ya, yb, source_);
    if (status != KV_OK) failure_ = status;
    return status;
}

void PipelinedWaveletDecoder::writeRows(std::uint32_t first, std::uint32_t last,
                                        std::uint32_t stripTop, KVISceneBuffer& buffer,
                                        std::uint32_t x, std::uint32_t y) const {
    const std::size_t rowBytes = std::size_t(buffer.getTotalWidth()) * sampleBytes_;
    for (std::uint32_t row = first; row <= last; ++row) {
        const std::size_t at =
            (std::size_t(y) + (row - stripTop)) * rowBytes + std::size_t(x) * sampleBytes_;
        for (std::uint16_t b = 0; b < bands_; ++b) {
            std::uint8_t* out = buffer.getWindowBandData(b) + at;
            if (clamp_)
                clamp_(pipe_->row(b, row), width_, minimum_, maximum_, out);
            else
                scale_(pipe_->row(b, row), width_, bandScale_[b], bandOffset_[b], out);
        }
    }
}

KVStatus PipelinedWaveletDecoder::release() {
    pipe_.reset();
    begun_ = false;
    return KV_OK;
}

} // namespace Korvel
