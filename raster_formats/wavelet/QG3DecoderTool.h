#pragma once
// The image stage that decodes a generation-3/4 image: the single-image reader hands each read to
// it. For a scene it works out the rectangle and level to decode in the stored image (through
// the crop window), runs a fresh PipelinedWaveletDecoder over them strip by strip, and copies
// each strip into the caller's scene buffer. Subband rows come from a DecodeBase over the plane
// store client; it is made at the first read and kept, its strip cache cleared after each read.
//
// Scenes are decoded at the levels the image stores (magnification 1 down to 2^-levels);
// magnified scenes, and levels whose image is smaller than 3 x 3, are refused with
// KV_QG3_NOT_FOUND.

#include "model/KVIRect.h"
#include "stages/KVIImageReader.h"

#include <cstdint>
#include <memory>

namespace Korvel {

class DecodeBase;
class PipelinedWaveletDecoder;
class QG3PlaneSource;
class QG3PlaneStoreClient;

class QG3DecoderTool : public KVIImageReader {
public:
    // Describes the image from the plane source's image information and extras (pixel, no-data
    // and background pixels reduced to the selected bands, geo placement, dynamic range,
    // magnification range, strip height 16). The plane source must be initialised and outlive
    // the tool; the client is owned. KV_QG3_COLOR_SPACE_UNSUPPORTED for a colour space without a
    // pixel colour space, KV_UNSUPPORTED_DATA_TYPE for a data type without a sample type.
    KVStatus initialize(QG3PlaneSource& planeSource, std::unique_ptr<QG3PlaneStoreClient> client);

    // The visible image at the level nearest the magnification.
    KVStatus getDimsAtMag(double magnification, std::uint32_t& width,
                          std::uint32_t& height) const override;
    void setInterruptDelegate(KVIInterruptDelegate* delegate) override;

    KVStatus decodeBegin(const KVIScene& scene) override;
    KVStatus decodeStrip(KVISceneBuffer& buffer, const KVIScene& stripScene) override;
    KVStatus decodeEnd() override;

    // The decode rectangle of a scene rectangle (whole pixels at sceneLevel, relative to the
    // visible image), in the stored image at sceneLevel + cropLevel, and the size of the stored
    // image there. KV_QG3_NOT_FOUND for a level outside the image's, or a rectangle outside the
    // window.
    KVStatus computeLevelRect(const KVIRect& sceneRect, std::int32_t sceneLevel);
    QG3PlaneStoreClient* getClient() const { return client_.get(); }
    // Null before initialize.
    QG3PlaneSource* getPlaneSource() const { return planeSource_; }

protected:
    QG3DecoderTool();
    ~QG3DecoderTool() override;

private:
    KVStatus setUpDecoder();
    void destroyDecoder();

    QG3PlaneSource* planeSource_ = nullptr;
    std::unique_ptr<QG3PlaneStoreClient> client_;
    std::uint8_t numLevels_ = 0;
    std::unique_ptr<DecodeBase> base_;
    std::unique_ptr<PipelinedWaveletDecoder> decoder_;

    // The current read.
    std::int32_t absoluteLevel_ = 0; // the scene's level plus the window's
    std::uint32_t levelWidth_ = 0;
    std::uint32_t levelHeight_ = 0;
    KVIRect movedRect_;    // the scene rectangle in the stored image at the absolute level
    KVIRect decodeRect_;   // that rectangle clipped to the window
    KVIRect relativeRect_; // the decode rectangle relative to the scene rectangle
    std::uint32_t nextStrip_ = 0;
    std::uint32_t sampleBytes_ = 0;
};

} // namespace Korvel
