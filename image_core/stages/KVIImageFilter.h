#pragma once
// A stage that reads from a previous stage: it holds one reference on it and passes every
// question to it unchanged. Its decode hooks run the previous stage's read protocol, so a
// filter that changes nothing delivers the previous stage's pixels. Subclasses override what
// they change.

#include "stages/KVIImageStage.h"

namespace Korvel {

class KVIImageFilter : public KVIImageStage {
public:
    KVIImageFilter() = default;

    // Retains the stage and releases the one held before; null only releases.
    KVStatus setPreviousStage(KVIImageStage* stage);
    void releasePreviousStage();
    KVIImageStage* getPreviousStage() const { return previous_; }

    // Passed to the previous stage. Without one the image is empty: 0 x 0, default pixel,
    // magnification range [1.0, 1.0], and every setter and decode hook fails with KV_FAILURE.
    std::uint32_t getWidth() const override;
    std::uint32_t getHeight() const override;
    KVStatus getDimsAtMag(double magnification, std::uint32_t& width,
                          std::uint32_t& height) const override;
    KVIPixel getPixelProps() const override;
    const KVIPixel* getBackgroundPixel() const override;
    const KVIPixel* getNoDataPixel() const override;
    const KVIPixelLookupTable* getPixelLookupTable() const override;
    KVIPixel getMinDynamicRange() const override;
    KVIPixel getMaxDynamicRange() const override;
    KVIGeoCoord getGeoCoord() const override;
    bool isGeoCoordImplicit() const override;
    const KVIMetadataDatabase& getMetadata() const override;
    double getMinMagnification() const override;
    double getMaxMagnification() const override;
    bool isSelective() const override;
    KVIMaskSource* getMaskSource() const override;
    void setProgressDelegate(KVIProgressDelegate* delegate) override;
    KVIProgressDelegate* getProgressDelegate() const override;
    void setInterruptDelegate(KVIInterruptDelegate* delegate) override;
    KVIInterruptDelegate* getInterruptDelegate() const override;
    std::uint32_t getStripHeight() const override;
    KVStatus setStripHeight(std::uint32_t height) override;
    std::int64_t getSceneCost(const KVIScene& scene) override;
    bool clipScene(const KVIScene& scene, KVIScene& clipped) override;
    KVStatus setBackgroundPixel(const KVIPixel* pixel) override;
    KVStatus setNoDataPixel(const KVIPixel* pixel) override;
    KVStatus setGeoCoord(const KVIGeoCoord& geo) override;
    KVStatus setDynamicRange(const KVIPixel& minPixel, const KVIPixel& maxPixel) override;
    KVStatus setPrecision(std::uint8_t bits) override;
    KVStatus setPixelLookupTable(const KVIPixelLookupTable* table) override;
    KVStatus setMetadata(const KVIMetadataDatabase* metadata) override;

    // The previous stage's flags with KVI_MOD_UNKNOWN added: a filter may change the pixels.
    std::uint32_t getModifications(const KVIScene& scene) override;

    // The previous stage's readBegin, readStrip and readEnd.
    KVStatus decodeBegin(const KVIScene& scene) override;
    KVStatus decodeStrip(KVISceneBuffer& buffer, const KVIScene& stripScene) override;
    KVStatus decodeEnd() override;

protected:
    ~KVIImageFilter() override;

private:
    KVIImageStage* previous_ = nullptr;
};

} // namespace Korvel
