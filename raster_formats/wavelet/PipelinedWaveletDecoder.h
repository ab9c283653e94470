#pragma once
// The front of the wavelet decoder: decodes one rectangle of an image at one resolution, strip
// after strip from top to bottom, into pixel-interleaved samples of the output data type (row by
// row, pixel by pixel, band by band).
//
// Use: create, setOutputRange, allocateBandRows, setStripHeight, decodeBegin, then decodeStrip for
// each strip in order; release (or destruction) frees everything. After a failed decode the
// decoder answers the same failure again and must be rebuilt.

#include "qg3/container/QG3ImageInfo.h"
#include "support/KVStatus.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace Korvel {

class Pipe;
class SubbandRowSource;

class PipelinedWaveletDecoder {
public:
    // A decoder of rect (inclusive, inside the width x height image of the decoded resolution)
    // through levelsToRun wavelet levels, levelsSkipped finer levels not run. Null when the
    // rectangle is empty or not inside the image, the image is narrower or lower than 3, there
    // are no bands, the source does not match (band count, level count, subband sizes), or memory
    // runs out.
    static std::unique_ptr<PipelinedWaveletDecoder>
    create(const QG3Rect& rect, std::uint8_t levelsToRun, std::uint32_t height, std::uint32_t width,
           std::uint16_t bands, std::uint8_t levelsSkipped, SubbandRowSource& source);
    virtual ~PipelinedWaveletDecoder();
    PipelinedWaveletDecoder(const PipelinedWaveletDecoder&) = delete;
    PipelinedWaveletDecoder& operator=(const PipelinedWaveletDecoder&) = delete;

    // Output samples are clamped to [minimum, maximum] (signed values) for the integer codes.
    void setOutputRange(std::uint32_t minimum, std::uint32_t maximum, std::uint32_t dataType);
    void setStripHeight(std::uint32_t rows) { stripHeight_ = rows; }
    std::uint32_t getStripHeight() const { return stripHeight_; }
    // The per-band rows the chain writes into; KV_QG3_OUT_OF_MEMORY when out of memory.
    KVStatus allocateBandRows();
    // Allocates the strip buffer and decodes the first row (odd y0) or two (even y0);
    // KV_QG3_OUT_OF_MEMORY when out of memory, KV_QG3_NOT_SUPPORTED for an output data type
    // without a conversion.
    KVStatus decodeBegin();
    // Decodes the next strip (rows following the last strip handed out, at most the strip height,
    // the rectangle's columns) and points bytes at its samples, valid until the next call;
    // KV_QG3_NOT_FOUND for a strip out of order or outside the rectangle.
    KVStatus decodeStrip(const QG3Rect& strip, const std::uint8_t*& bytes);
    // Decodes rows (one or two, the next ones) and converts them into the strip buffer at
    // byteOffset; KV_QG3_NOT_SUPPORTED for an output data type without a conversion.
    KVStatus decodeRows(const QG3Rect& rows, std::size_t byteOffset);
    KVStatus release();

private:
    // Converts rowCount rows of every band (rows[b] + r * rowStride) into interleaved samples.
    using Conversion = void (*)(const std::int32_t* const* rows, std::size_t rowStride,
                                std::uint32_t rowCount, std::uint16_t bands, std::uint32_t width,
                                std::int32_t minimum, std::int32_t maximum, const float* scale,
                                const float* offset, std::uint8_t* out);

    PipelinedWaveletDecoder(SubbandRowSource& source, const QG3Rect& rect, std::uint16_t bands);

    SubbandRowSource& source_;
    std::int32_t minimum_ = 0;
    std::int32_t maximum_ = 0;
    std::uint32_t stripHeight_ = 16;
    QG3Rect rect_;
    std::unique_ptr<Pipe> pipe_;
    std::vector<std::int32_t> bandRowBlock_;
    std::vector<std::int32_t*> bandRows_;
    std::uint16_t bands_;
    static constexpr std::uint32_t kRowsPerStep = 2;
    std::uint32_t width_;
    std::size_t rowBytes_ = 0;
    std::unique_ptr<std::uint8_t[]> strip_;
    std::size_t stripBytes_ = 0;
    std::uint32_t nextFirstRow_ = 0;
    std::uint32_t lastDecodedRow_ = 0;
    std::size_t carriedOffset_ = 0;
    std::size_t carriedBytes_ = 0;
    KVStatus failure_ = KV_OK;

    // Chosen by setOutputRange; the float conversion's per-band scale and offset.
    Conversion conversion_ = nullptr;
    std::uint32_t sampleBytes_ = 0;
    std::vector<float> scale_;
    std::vector<float> offset_;
};

} // namespace Korvel
