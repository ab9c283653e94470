#pragma once
// The reader of one image of a generation-3 container, shared by the generation-3 and
// generation-4 readers, which differ only in their initialisation: a generation-4 reader may read
// a subset of the bands, and maps the sample range of float images through band 0's scale and
// offset. The image is described from its header and metadata packets; no plane data is read
// until the first decode, which makes the plane source and the decoder tool that every read then
// goes through.

#include "QuarnSingleImageReaderBase.h"
#include "support/KVIRef.h"

#include <cstdint>
#include <memory>

namespace Korvel {

class KVIOStreamInf;
class QG3FileSimpleContainer;
class QG3FileSimpleDecoderTool;
class QG3FileSimpleImageSource;
class QG3FileSimplePlaneSource;

class QG3SingleImageReaderBase : public QuarnSingleImageReaderBase {
public:
    // The size of the visible image at the level nearest the magnification.
    KVStatus getDimsAtMag(double magnification, std::uint32_t& width,
                          std::uint32_t& height) const override;
    // The visible number of levels (less the crop level when the image is a window).
    std::uint8_t getNumLevels() const override;
    // The container's four file-version bytes; unchanged before the reader is initialised.
    void getVersion(std::uint8_t& b0, std::uint8_t& b1, std::uint8_t& b2,
                    std::uint8_t& b3) const override;

    // Creates and opens the image source for the container and image number.
    virtual KVStatus openImageSource();
    // Once: the plane source (memory usage 1 automatic, 2 partial, 3 and 4 full; another usage
    // gives 50603) and the decoder tool over it, with the reader's strip height and delegates.
    // A failure leaves neither, and the next call tries again.
    virtual KVStatus createDecoder();

    // Each read goes to the decoder tool, made at the first.
    KVStatus decodeBegin(const KVIScene& scene) override;
    KVStatus decodeStrip(KVISceneBuffer& buffer, const KVIScene& stripScene) override;
    KVStatus decodeEnd() override;
    // Kept, and handed to the decoder tool when there is one.
    void setProgressDelegate(KVIProgressDelegate* delegate) override;
    void setInterruptDelegate(KVIInterruptDelegate* delegate) override;

    // Null before openImageSource.
    QG3FileSimpleImageSource* getImageSource() const { return source_.get(); }
    // Null before the first decode.
    QG3FileSimplePlaneSource* getPlaneSource() const { return planeSource_.get(); }
    QG3FileSimpleDecoderTool* getDecoderTool() const { return tool_.get(); }

protected:
    QG3SingleImageReaderBase();
    ~QG3SingleImageReaderBase() override;

    // The initialisation of both generations. bands (bandCount of them; null or 0 for all) is
    // honoured only with generation4.
    KVStatus initializeImage(QG3FileSimpleContainer* container, std::uint32_t imageNumber,
                             const std::uint16_t* bands, std::uint32_t bandCount, bool generation4,
                             KVIOStreamInf* worldFile, std::uint32_t memoryUsage,
                             std::uint32_t streamUsage);

private:
    KVStatus describe(bool generation4, KVIOStreamInf* worldFile);
    KVStatus readImageMetadata();
    KVStatus selectBands(const std::uint16_t* bands, std::uint32_t bandCount);

    QG3FileSimpleContainer* container_ = nullptr;
    std::uint32_t imageNumber_ = 0;
    std::unique_ptr<QG3FileSimpleImageSource> source_;
    // Declared after the image source and before the tool, which uses it: destroyed in between.
    std::unique_ptr<QG3FileSimplePlaneSource> planeSource_;
    KVIRef<QG3FileSimpleDecoderTool> tool_;
};

} // namespace Korvel
