#pragma once
// The front of the wavelet decoder: decodes one rectangle of an image at one resolution, strip
// after strip from top to bottom, into the caller's scene buffer, band by band, as samples of
// the output data type.
//
// Use: create, setOutputRange, setStripHeight, decodeBegin, then decodeStrip for each strip in
// order; release (or destruction) frees everything. After a failed decode the decoder answers
// the same failure again and must be rebuilt.
//
// Rows are made two at a time; those made beyond a strip stay in the chain of levels and are
// written out with the next strip, so nothing is held per band beyond the chain's own rows (and
// those only for bands that data reaches).

#include "WaveletKernels.h"
#include "model/KVIRect.h"
#include "support/KVStatus.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace Korvel {

class KVISceneBuffer;
class Pipe;
class SubbandRowSource;

class PipelinedWaveletDecoder {
public:
    // A decoder of rect (inside the width x height image of the decoded resolution) through
    // levelsToRun wavelet levels, levelsSkipped finer levels not run. Null when the rectangle is
    // empty or not inside the image, the image is narrower or lower than 3, there are no bands,
    // the source does not match (band count, level count, subband sizes), or memory runs out.
    static std::unique_ptr<PipelinedWaveletDecoder>
    create(const KVIRect& rect, std::uint8_t levelsToRun, std::uint32_t height, std::uint32_t width,
           std::uint16_t bands, std::uint8_t levelsSkipped, SubbandRowSource& source);
    virtual ~PipelinedWaveletDecoder();
    PipelinedWaveletDecoder(const PipelinedWaveletDecoder&) = delete;
    PipelinedWaveletDecoder& operator=(const PipelinedWaveletDecoder&) = delete;

    // Output samples are clamped to [minimum, maximum] (signed values) for the integer codes.
    void setOutputRange(std::uint32_t minimum, std::uint32_t maximum, std::uint32_t dataType);
    void setStripHeight(std::uint32_t rows) { stripHeight_ = rows; }
    std::uint32_t getStripHeight() const { return stripHeight_; }
    // Decodes the first row (odd y0) or two (even y0), written out with the first strip;
    // KV_QG3_NOT_SUPPORTED for an output data type without a conversion.
    KVStatus decodeBegin();
    // Decodes the next strip (rows following the last strip, at most the strip height, the
    // rectangle's columns) and writes its rows into the buffer's window from column x, row y:
    // band b of the decode into band b of the buffer, whose samples must be of the output type
    // and whose window must hold the strip there. Without a buffer the rows are decoded and
    // dropped. KV_QG3_NOT_FOUND for a strip out of order or outside the rectangle.
    KVStatus decodeStrip(const KVIRect& strip, KVISceneBuffer* buffer, std::uint32_t x,
                         std::uint32_t y);
    KVStatus release();

private:
    PipelinedWaveletDecoder(SubbandRowSource& source, const KVIRect& rect, std::uint16_t bands,
                            const WaveletKernels& kernels);

    // Makes the next rows ya..yb.
    KVStatus decodeRows(std::uint32_t ya, std::uint32_t yb);
    // Writes rows first..last (made by the last decodeRows) of the strip starting at stripTop
    // into the buffer at (x, y).
    void writeRows(std::uint32_t first, std::uint32_t last, std::uint32_t stripTop,
                   KVISceneBuffer& buffer, std::uint32_t x, std::uint32_t y) const;

    SubbandRowSource& source_;
    const WaveletKernels& kernels_;
    std::int32_t minimum_ = 0;
    std::int32_t maximum_ = 0;
    std::uint32_t stripHeight_ = 16;
    KVIRect rect_;
    std::unique_ptr<Pipe> pipe_;
    std::uint16_t bands_;
    static constexpr std::uint32_t kRowsPerStep = 2;
    std::uint32_t width_;
    bool begun_ = false;
    std::uint32_t nextFirstRow_ = 0;
    std::uint32_t lastDecodedRow_ = 0;
    KVStatus failure_ = KV_OK;

    // Chosen by setOutputRange: the clamp of an integer type, or the float conversion with the
    // per-band scale and offset.
    WaveletClamp clamp_ = nullptr;
    WaveletScale scale_ = nullptr;
    std::uint32_t sampleBytes_ = 0;
    std::vector<float> bandScale_;
    std::vector<float> bandOffset_;
};

} // namespace Korvel
