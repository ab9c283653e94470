#include "PipelinedWaveletDecoder.h"

#include "Pipe.h"
#include "SubbandRowSource.h"
#include "qg3/container/QG3DataType.h"
#include "qg3/container/QG3Status.h"
#include "support/KVStatusGuard.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace Korvel {

namespace {

// Integer outputs: each sample clamped to [minimum, maximum], which already lies inside Out.
// The band count is a template argument for the common counts so the band loop unrolls.
template <class Out, unsigned FixedBands>
[[gnu::always_inline]] inline void clampRows(const std::int32_t* const* rows, std::size_t rowStride,
                                             std::uint32_t rowCount, std::uint16_t bands,
                                             std::uint32_t width, std::int32_t minimum,
                                             std::int32_t maximum, std::uint8_t* bytes) {
    Out* __restrict out = reinterpret_cast<Out*>(bytes);
    auto clamp = [=](std::int32_t v) {
        return static_cast<Out>(std::min(std::max(v, minimum), maximum));
    };
    for (std::uint32_t r = 0; r < rowCount; ++r) {
        const std::size_t at = r * rowStride;
        if constexpr (FixedBands == 1) {
            const std::int32_t* __restrict in = rows[0] + at;
            for (std::size_t x = 0; x < width; ++x)
                out[x] = clamp(in[x]);
        } else if constexpr (FixedBands == 3) {
            const std::int32_t* __restrict in0 = rows[0] + at;
            const std::int32_t* __restrict in1 = rows[1] + at;
            const std::int32_t* __restrict in2 = rows[2] + at;
            for (std::size_t x = 0; x < width; ++x) {
                out[3 * x] = clamp(in0[x]);
                out[3 * x + 1] = clamp(in1[x]);
                out[3 * x + 2] = clamp(in2[x]);
            }
        } else {
            for (unsigned b = 0; b < bands; ++b) {
                const std::int32_t* __restrict in = rows[b] + at;
                for (std::size_t x = 0; x < width; ++x)
                    out[x * bands + b] = clamp(in[x]);
            }
        }
        out += std::size_t(width) * (FixedBands != 0 ? FixedBands : bands);
    }
}

template <class Out, unsigned FixedBands>
void convertClamped(const std::int32_t* const* rows, std::size_t rowStride, std::uint32_t rowCount,
                    std::uint16_t bands, std::uint32_t width, std::int32_t minimum,
                    std::int32_t maximum, const float*, const float*, std::uint8_t* bytes) {
    clampRows<Out, FixedBands>(rows, rowStride, rowCount, bands, width, minimum, maximum, bytes);
}

#if defined(__x86_64__) || defined(__i386__)
#define KV_WAVELET_SSE41_CONVERSIONS 1
// The same loops built for SSE4.1, whose packed minimum and maximum and byte shuffles let the
// compiler vectorise the clamping and the interleaving of the bands (several times faster than
// the baseline build for three 8-bit bands); chosen when the processor has it.
template <class Out, unsigned FixedBands>
[[gnu::target("sse4.1")]] void
convertClampedSse41(const std::int32_t* const* rows, std::size_t rowStride, std::uint32_t rowCount,
                    std::uint16_t bands, std::uint32_t width, std::int32_t minimum,
                    std::int32_t maximum, const float*, const float*, std::uint8_t* bytes) {
    clampRows<Out, FixedBands>(rows, rowStride, rowCount, bands, width, minimum, maximum, bytes);
}
#endif

// Float output: value x scale + offset with the band's scale and offset.
template <unsigned FixedBands>
void convertScaled(const std::int32_t* const* rows, std::size_t rowStride, std::uint32_t rowCount,
                   std::uint16_t bands, std::uint32_t width, std::int32_t, std::int32_t,
                   const float* scale, const float* offset, std::uint8_t* bytes) {
    const unsigned n = FixedBands != 0 ? FixedBands : bands;
    float* out = reinterpret_cast<float*>(bytes);
    for (std::uint32_t r = 0; r < rowCount; ++r) {
        for (unsigned b = 0; b < n; ++b) {
            const std::int32_t* __restrict in = rows[b] + r * rowStride;
            float* __restrict o = out + b;
            const float s = scale[b];
            const float t = offset[b];
            for (std::uint32_t x = 0; x < width; ++x)
                o[std::size_t(x) * n] = static_cast<float>(in[x]) * s + t;
        }
        out += std::size_t(width) * n;
    }
}

template <class Out> auto clampedFor(std::uint16_t bands) {
#ifdef KV_WAVELET_SSE41_CONVERSIONS
    if (__builtin_cpu_supports("sse4.1"))
        return bands == 1   ? &convertClampedSse41<Out, 1>
               : bands == 3 ? &convertClampedSse41<Out, 3>
                            : &convertClampedSse41<Out, 0>;
#endif
    return bands == 1   ? &convertClamped<Out, 1>
           : bands == 3 ? &convertClamped<Out, 3>
                        : &convertClamped<Out, 0>;
}

} // namespace

PipelinedWaveletDecoder::PipelinedWaveletDecoder(SubbandRowSource& source, const QG3Rect& rect,
                                                 std::uint16_t bands)
    : source_(source), rect_(rect), bands_(bands),
      width_(static_cast<std::uint32_t>(rect.x1 - rect.x0 + 1)) {}

PipelinedWaveletDecoder::~PipelinedWaveletDecoder() = default;

std::unique_ptr<PipelinedWaveletDecoder>
PipelinedWaveletDecoder::create(const QG3Rect& rect, std::uint8_t levelsToRun, std::uint32_t height,
                                std::uint32_t width, std::uint16_t bands,
                                std::uint8_t levelsSkipped, SubbandRowSource& source) {
    if (width < 3 || height < 3 || bands == 0) return nullptr;
    if (rect.x0 < 0 || rect.y0 < 0 || rect.x1 < rect.x0 || rect.y1 < rect.y0 ||
        std::uint32_t(rect.x1) >= width || std::uint32_t(rect.y1) >= height)
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
        std::unique_ptr<PipelinedWaveletDecoder> decoder(
            new PipelinedWaveletDecoder(source, rect, bands));
        const PipeSegWindow window{width,
                                   height,
                                   std::uint32_t(rect.x0),
                                   std::uint32_t(rect.x1),
                                   std::uint32_t(rect.y0),
                                   std::uint32_t(rect.y1)};
        decoder->pipe_ =
            std::make_unique<Pipe>(window, levelsToRun, levelsSkipped, bands, subblockSize);
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
    conversion_ = nullptr;
    sampleBytes_ = 0;
    // The range is narrowed to what the output type holds, so that no sample wraps.
    auto clampTo = [&](std::int32_t lowest, std::int32_t highest) {
        minimum_ = std::max(minimum_, lowest);
        maximum_ = std::min(maximum_, highest);
    };
    switch (dataType) {
    case QG3_DATATYPE_UINT8:
        conversion_ = clampedFor<std::uint8_t>(bands_);
        clampTo(0, 255);
        break;
    case QG3_DATATYPE_SINT8:
        conversion_ = clampedFor<std::int8_t>(bands_);
        clampTo(-128, 127);
        break;
    case QG3_DATATYPE_UINT16:
        conversion_ = clampedFor<std::uint16_t>(bands_);
        clampTo(0, 65535);
        break;
    case QG3_DATATYPE_SINT16:
        conversion_ = clampedFor<std::int16_t>(bands_);
        clampTo(-32768, 32767);
        break;
    case QG3_DATATYPE_FLOAT32: {
        conversion_ = bands_ == 1   ? &convertScaled<1>
                      : bands_ == 3 ? &convertScaled<3>
                                    : &convertScaled<0>;
        // Decoded band i is the image's i-th selected band.
        const QG3ImageInfo& info = source_.getImageInfo();
        const QG3BandSet& set = info.bandSet;
        const bool selection = set.getSetCount() == bands_;
        scale_.assign(bands_, 1.0f);
        offset_.assign(bands_, 0.0f);
        std::uint16_t band = 0;
        for (std::uint16_t i = 0; i < bands_; ++i, ++band) {
            while (selection && band < set.getBitCount() && !set.isSet(band))
                ++band;
            if (band >= set.getBitCount()) break;
            if (info.bandScale) scale_[i] = info.bandScale[band];
            if (info.bandOffset) offset_[i] = info.bandOffset[band];
        }
        break;
    }
    default:
        return;
    }
    sampleBytes_ = getDataTypeBytes(dataType);
}

KVStatus PipelinedWaveletDecoder::allocateBandRows() {
    return kvGuard(
        [&] {
            bandRowBlock_.assign(std::size_t(bands_) * width_ * kRowsPerStep, 0);
            bandRows_.resize(bands_);
            for (std::uint16_t b = 0; b < bands_; ++b)
                bandRows_[b] = bandRowBlock_.data() + std::size_t(b) * width_ * kRowsPerStep;
        },
        KV_QG3_OUT_OF_MEMORY);
}

KVStatus PipelinedWaveletDecoder::decodeBegin() {
    if (failure_ != KV_OK) return failure_;
    if (!pipe_) return KV_QG3_NOT_FOUND;
    if (!conversion_) return KV_QG3_NOT_SUPPORTED;
    if (stripHeight_ == 0) return KV_BAD_ARGUMENT;
    if (bandRows_.empty()) KV_RETURN_IF_FAILED(allocateBandRows());

    // The buffer holds a strip and the rows decoded beyond it (at most two) for the next one.
    rowBytes_ = std::size_t(width_) * bands_ * sampleBytes_;
    const std::uint64_t rows = std::uint64_t(stripHeight_) + 3;
    if (rowBytes_ > std::numeric_limits<std::size_t>::max() / rows) return KV_QG3_OUT_OF_MEMORY;
    stripBytes_ = rowBytes_ * rows;
    strip_.reset(new (std::nothrow) std::uint8_t[stripBytes_]);
    if (!strip_) return KV_QG3_OUT_OF_MEMORY;

    const std::uint32_t y0 = std::uint32_t(rect_.y0);
    const std::uint32_t last = std::min(y0 - (y0 % 2) + 1, std::uint32_t(rect_.y1));
    KV_RETURN_IF_FAILED(decodeRows({rect_.x0, rect_.y0, rect_.x1, std::int32_t(last)}, 0));
    nextFirstRow_ = y0;
    lastDecodedRow_ = last;
    carriedOffset_ = 0;
    carriedBytes_ = std::size_t(last - y0 + 1) * rowBytes_;
    return KV_OK;
}

KVStatus PipelinedWaveletDecoder::decodeStrip(const QG3Rect& strip, const std::uint8_t*& bytes) {
    if (failure_ != KV_OK) return failure_;
    if (!pipe_ || !strip_) return KV_QG3_NOT_FOUND;
    if (strip.x0 != rect_.x0 || strip.x1 != rect_.x1 || strip.y0 < 0 ||
        std::uint32_t(strip.y0) != nextFirstRow_ || strip.y1 < strip.y0 || strip.y1 > rect_.y1 ||
        std::uint32_t(strip.y1 - strip.y0) >= stripHeight_)
        return KV_QG3_NOT_FOUND;

    std::memmove(strip_.get(), strip_.get() + carriedOffset_, carriedBytes_);
    const auto y0 = std::uint32_t(strip.y0);
    const auto y1 = std::uint32_t(strip.y1);
    const std::uint32_t target = std::min(y1 + 1, std::uint32_t(rect_.y1));
    while (lastDecodedRow_ < target) {
        const std::uint32_t ya = lastDecodedRow_ + 1;
        const std::uint32_t yb = std::min(ya + 1, std::uint32_t(rect_.y1));
        KV_RETURN_IF_FAILED(decodeRows({rect_.x0, std::int32_t(ya), rect_.x1, std::int32_t(yb)},
                                       std::size_t(ya - y0) * rowBytes_));
        lastDecodedRow_ = yb;
    }
    nextFirstRow_ = y1 + 1;
    carriedOffset_ = std::size_t(y1 - y0 + 1) * rowBytes_;
    carriedBytes_ = std::size_t(lastDecodedRow_ - y1) * rowBytes_;
    bytes = strip_.get();
    return KV_OK;
}

KVStatus PipelinedWaveletDecoder::decodeRows(const QG3Rect& rows, std::size_t byteOffset) {
    if (failure_ != KV_OK) return failure_;
    if (!pipe_ || bandRows_.empty() || !strip_) return KV_QG3_NOT_FOUND;
    if (!conversion_) return KV_QG3_NOT_SUPPORTED;
    if (rows.x0 != rect_.x0 || rows.x1 != rect_.x1 || rows.y0 < 0 || rows.y1 < rows.y0 ||
        std::uint32_t(rows.y1 - rows.y0) >= kRowsPerStep)
        return KV_QG3_NOT_FOUND;
    const auto count = std::uint32_t(rows.y1 - rows.y0 + 1);
    if (byteOffset > stripBytes_ || count * rowBytes_ > stripBytes_ - byteOffset)
        return KV_QG3_NOT_FOUND;

    const KVStatus status = pipe_->run(std::uint32_t(rows.y0), std::uint32_t(rows.y1),
                                       bandRows_.data(), width_, source_);
    if (status != KV_OK) {
        failure_ = status;
        return status;
    }
    conversion_(bandRows_.data(), width_, count, bands_, width_, minimum_, maximum_, scale_.data(),
                offset_.data(), strip_.get() + byteOffset);
    return KV_OK;
}

KVStatus PipelinedWaveletDecoder::release() {
    pipe_.reset();
    bandRows_ = {};
    bandRowBlock_ = {};
    strip_.reset();
    stripBytes_ = 0;
    return KV_OK;
}

} // namespace Korvel
