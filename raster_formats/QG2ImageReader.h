#pragma once
// The reader of a generation-2 image: a whole generation-2 file, or one stored inside a
// generation-3 container. It reads the image's metadata block and its header (the subband
// layout) when it opens; its coded blocks only when it decodes.

#include "QuarnSingleImageReaderBase.h"

#include <cstdint>
#include <memory>

namespace Korvel {

class KVIOStreamInf;
class QG2Decoder;
class QG2FileDBInfo;

class QG2ImageReader : public QuarnSingleImageReaderBase {
public:
    // Null when out of memory.
    static QG2ImageReader* create();

    // Reads the metadata and the header from the stream, which the reader keeps (and owns once
    // takeStreamOwnership is called). The stream is closed again when this returns, unless the
    // stream usage keeps it open.
    KVStatus initialize(KVIOStreamInf* stream, KVIOStreamInf* worldFile, std::uint32_t memoryUsage,
                        std::uint32_t streamUsage);
    // From now on the reader closes and deletes its stream when it is destroyed.
    void takeStreamOwnership() { ownsStream_ = true; }

    // The size of the image at the level nearest the magnification.
    KVStatus getDimsAtMag(double magnification, std::uint32_t& width,
                          std::uint32_t& height) const override;
    std::uint8_t getNumLevels() const override;
    // The three version bytes of the generation-2 header, then 0; unchanged before the header
    // has been read.
    void getVersion(std::uint8_t& b0, std::uint8_t& b1, std::uint8_t& b2,
                    std::uint8_t& b3) const override;

    // Decoding: the scene's rectangle at its level, moved into the stored region, decoded by the
    // generation-2 decoder (made on the first decodeBegin) strip by strip.
    KVStatus decodeBegin(const KVIScene& scene) override;
    KVStatus decodeStrip(KVISceneBuffer& buffer, const KVIScene& stripScene) override;
    KVStatus decodeEnd() override;

    bool getDither() const { return dither_; }

protected:
    QG2ImageReader();
    ~QG2ImageReader() override;

private:
    KVStatus readHeaderAndMetadata(std::int64_t& fileSize);
    // Walks the header (its status in header) and reads the metadata it points to.
    KVStatus readMetadata(QG2FileDBInfo& info, KVStatus& header);
    KVStatus describe(std::int64_t fileSize, KVIOStreamInf* worldFile);

    std::unique_ptr<QG2FileDBInfo> dbInfo_;
    std::unique_ptr<QG2Decoder> decoder_;
    KVIOStreamInf* stream_ = nullptr;
    bool ownsStream_ = false;
    bool dither_ = true;
};

} // namespace Korvel
