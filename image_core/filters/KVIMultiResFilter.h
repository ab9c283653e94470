#pragma once
// Presents its input image at another resolution, scaled by one factor in x and one in y. For
// each read it picks the input magnification nearest to the wanted scale, reads the input there
// and resamples the input's rows into the caller's strips, streaming the input strip by strip
// through two strip records; when the wanted scale equals the input's it copies strips through,
// and when the input is selective with a single magnification and the reduction is large, it
// reads the input for each output row on its own.
//
// Dimensions, geo coordinate and magnification range are the filter's own; everything else
// comes from the input.

#include "model/KVIScene.h"
#include "stages/KVIImageFilter.h"
#include "stages/KVIOverrideDimensions.h"
#include "stages/KVIOverrideGeoCoord.h"
#include "stages/KVIOverrideMagnification.h"

#include <cstdint>
#include <memory>

namespace Korvel {

class KVIResampler;

using KVIMultiResFilterStack =
    KVIOverrideDimensions<KVIOverrideGeoCoord<KVIOverrideMagnification<KVIImageFilter>>>;

class KVIMultiResFilter : public KVIMultiResFilterStack {
public:
    // How a read is served.
    enum ReadMode : std::uint32_t {
        kNoRead = 0,
        kResample = 1,    // the input read strip by strip, resampled through two strip records
        kCopy = 2,        // the input's strips copied straight into the caller's
        kRowByRow = 3,    // one read of the input for every output row
        kSingleStrip = 4, // the input read fits one strip record: resampled from it alone
    };

    // A new filter with one reference, or null when out of memory.
    static KVIMultiResFilter* create();

    // Output size over input size in x and y; 0 until set.
    void setScale(double scaleX, double scaleY);
    double getScaleX() const { return scaleX_; }
    double getScaleY() const { return scaleY_; }

    // Reads from input (retained). Scales still 0 both become defaultScale. The size is the
    // input's times the scales (rounded up), the geo coordinate the input's with its resolutions
    // and rotations divided by the scales, and the magnification range the given one widened to
    // the input's range times sqrt(scaleX x scaleY). The resample method becomes nearest.
    // KV_BAD_ARGUMENT without an input or when the scaled size does not fit in 32 bits;
    // KV_NOT_AVAILABLE when the input's bands differ in type.
    KVStatus initialize(KVIImageStage* input, double defaultScale, double minMagnification,
                        double maxMagnification);
    // A resampler of the method (KVI_RESAMPLE_...) for the pixel's data type; KV_NOT_AVAILABLE,
    // with no resampler left, when there is none.
    KVStatus setResampleMethod(std::uint32_t method);

    // How a scene would be read: the mode, the input pixels per output pixel (steps) and the
    // scene in the input's coordinates at the chosen input magnification, clipped to the input.
    // False when nothing of the scene is left inside the input.
    bool chooseReadMode(const KVIScene& scene, std::uint32_t& mode, double& stepX, double& stepY,
                        KVIScene& inputScene) const;
    // The mode of the current (or last) read.
    std::uint32_t getReadMode() const { return mode_; }

    // The scaled size: width and height times the magnification, rounded up, at any
    // magnification (KV_BAD_ARGUMENT for a negative or non-finite one).
    KVStatus getDimsAtMag(double magnification, std::uint32_t& width,
                          std::uint32_t& height) const override;
    // The input's answers for the scene mapped into the input; 0 and false when it maps to
    // nothing.
    std::int64_t getSceneCost(const KVIScene& scene) override;
    bool clipScene(const KVIScene& scene, KVIScene& clipped) override;
    // The input's flags for the scene, with KVI_MOD_SCALED unless the scene is copied from the
    // input at magnification 1.0.
    std::uint32_t getModifications(const KVIScene& scene) override;

    KVStatus decodeBegin(const KVIScene& scene) override;
    // Takes a read up at a strip with the state the whole read has there: the same mode and
    // steps, the running position it has reached, the input read from where that position needs.
    KVStatus decodeBeginAt(const KVIScene& scene, std::uint32_t firstStrip) override;
    KVStatus decodeStrip(KVISceneBuffer& buffer, const KVIScene& stripScene) override;
    KVStatus decodeEnd() override;

protected:
    KVIMultiResFilter();
    ~KVIMultiResFilter() override;

private:
    struct StripRecord;

    KVStatus beginRead(const KVIScene& scene, std::uint32_t firstStrip);
    // The read scene and the positions of the first column and of the first output row of strip
    // firstStrip.
    void startPositions(KVIImageStage& input, std::uint32_t firstStrip);
    KVStatus beginResample(KVIImageStage& input, std::uint32_t firstStrip);
    KVStatus beginRowByRow(KVIImageStage& input, std::uint32_t firstStrip);
    KVStatus fillRecord(KVIImageStage& input, StripRecord& record);
    KVStatus resampleStrip(KVIImageStage& input, KVISceneBuffer& buffer, std::uint32_t cols,
                           std::uint32_t rows);
    KVStatus resampleRowByRow(KVIImageStage& input, KVISceneBuffer& buffer, std::uint32_t cols,
                              std::uint32_t rows);
    KVStatus copyStrip(KVIImageStage& input, KVISceneBuffer& buffer);
    void endInputRead();

    double scaleX_ = 0.0;
    double scaleY_ = 0.0;
    std::uint32_t mode_ = kNoRead;
    double stepX_ = 0.0;
    double stepY_ = 0.0;
    KVIScene inputScene_;
    // The input scene widened by the resampler's taps: what the input is read over.
    KVIScene readScene_;
    // Source position of the next output row, in input rows below the top of readScene_,
    // advanced by one single-precision step per output row; originX_ the same for the first
    // column.
    float nextInputRow_ = 0.0f;
    float originX_ = 0.0f;
    std::uint32_t inputStripsRead_ = 0;
    std::uint32_t inputStrips_ = 0;
    std::uint32_t stripsPerRecord_ = 1;
    bool inputReadOpen_ = false;
    std::unique_ptr<StripRecord> previous_;
    std::unique_ptr<StripRecord> current_;
    std::unique_ptr<KVIResampler> resampler_;
};

} // namespace Korvel
