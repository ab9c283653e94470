#pragma once
// Places its input image at a fractional pixel position inside a larger canvas. Reading a scene
// of the canvas reads only the part the input covers, shifted into the input's coordinates, and
// writes it at its place in the caller's strip; the rest of the strip is the background pixel,
// or is left as the caller prepared it. When the pixels carry alpha or no-data values, the
// input's strip is read into a scratch buffer (the fill holder) and merged into the caller's
// strip (mergeSceneBuffers) instead of being written straight.
//
// The input is read with the embedded image's strip height (which is the input's), from the
// first input row the read holds, so that the input's strips line up with the caller's; when
// the input's first row falls inside a strip, that strip is read through a short read of its
// own and the rest of the input through one further read.
//
// Width and height, background and no-data pixels and the geo coordinate are the embedded
// image's own; everything else comes from the input.

#include "model/KVIScene.h"
#include "stages/KVIImageFilter.h"
#include "stages/KVIOverrideBackgroundPixel.h"
#include "stages/KVIOverrideDimensions.h"
#include "stages/KVIOverrideGeoCoord.h"

#include <cstdint>
#include <memory>

namespace Korvel {

class PixelHolder;

using KVIEmbeddedImageStack =
    KVIOverrideDimensions<KVIOverrideBackgroundPixel<KVIOverrideGeoCoord<KVIImageFilter>>>;

class KVIEmbeddedImage : public KVIEmbeddedImageStack {
public:
    // A new embedded image with one reference, or null when out of memory.
    static KVIEmbeddedImage* create();

    // Reads from input (retained), whose pixel (0, 0) lies at (x, y) of a width x height canvas,
    // in canvas pixels at magnification 1.0. The background and no-data pixels must match the
    // input's pixel exactly (KVIPixel::checkCompatibleStrict); null takes the input's own (or
    // none). The geo coordinate is the input's moved to the canvas's corner. The background is
    // used when there is one. Without a fill holder an owned one is made. KV_BAD_ARGUMENT without
    // an input; KV_OUT_OF_MEMORY.
    KVStatus initialize(KVIImageStage* input, std::uint32_t width, std::uint32_t height, double x,
                        double y, const KVIPixel* background, const KVIPixel* noData);
    // The scratch buffer of the merge path: a holder is shared, not owned (it must outlive its
    // use and cover this image's pixel, band by band); null makes an owned one over the image's
    // pixel unless one is owned already.
    KVStatus setFillHolder(PixelHolder* holder);
    // Whether each strip is filled with the background pixel before the input is written.
    KVStatus setUseBackground(bool useBackground);
    // The merge mode handed to mergeSceneBuffers.
    KVStatus setMergeMode(std::uint32_t mergeMode);

    // floor(magnification x position + 0.5): the input's first column and row at a magnification.
    std::int32_t getColumnOffset(double magnification) const;
    std::int32_t getRowOffset(double magnification) const;
    // The scene's whole-pixel bounds moved into the input's coordinates and clipped to the input
    // at the scene's magnification; false when nothing is left.
    bool mapSceneToInput(const KVIScene& scene, KVIScene& inputScene) const;
    // Whether a strip of a read into a buffer of that pixel would be written whole, straight from
    // the input (no alpha, mask or no-data value to merge by): nothing beneath it shows.
    bool hidesStrip(const KVIScene& stripScene, const KVIPixel& bufferPixel) const;

    // The canvas size times the magnification, rounded up, at any magnification (KV_BAD_ARGUMENT
    // for a negative or non-finite one).
    KVStatus getDimsAtMag(double magnification, std::uint32_t& width,
                          std::uint32_t& height) const override;
    // The input's answers for the scene mapped into the input; 0 and false when it maps to
    // nothing.
    std::int64_t getSceneCost(const KVIScene& scene) override;
    bool clipScene(const KVIScene& scene, KVIScene& clipped) override;
    // The input's flags for the scene moved into its coordinates, with KVI_MOD_CROPPED when the
    // input reaches beyond the canvas on a side where the scene does too, and KVI_MOD_EMBEDDED
    // when the scene reaches canvas beyond the input.
    std::uint32_t getModifications(const KVIScene& scene) override;

    KVStatus decodeBegin(const KVIScene& scene) override;
    // Takes a read up at a strip: the input's read that the whole read would have under way
    // there is begun at the strip it would have come to.
    KVStatus decodeBeginAt(const KVIScene& scene, std::uint32_t firstStrip) override;
    KVStatus decodeStrip(KVISceneBuffer& buffer, const KVIScene& stripScene) override;
    KVStatus decodeEnd() override;

protected:
    KVIEmbeddedImage();
    ~KVIEmbeddedImage() override;

private:
    // Reads the input's part of one strip, at dx, dy of the caller's buffer.
    KVStatus writeStrip(KVIImageStage& input, KVISceneBuffer& buffer, const KVIScene& part,
                        std::uint32_t dx, std::uint32_t dy);
    KVStatus beginInputRead(KVIImageStage& input, const KVIScene& scene,
                            std::uint32_t firstStrip = 0);
    // The scene's whole pixels moved into the input's coordinates at its magnification.
    KVIScene movedToInput(const KVIScene& scene) const;
    // The input's part of a strip (false when the strip holds none of the input scene), and the
    // strip moved into the input's coordinates.
    bool inputPart(const KVIScene& stripScene, KVIScene& moved, KVIScene& part) const;
    // The input scene without its first rows.
    KVIScene inputRest(std::int32_t rowsRead) const;
    // The input's strips go straight into the caller's buffer: nothing to merge by.
    bool writesStraight(const KVIImageStage& input, const KVIPixel& bufferPixel) const;
    KVStatus endInputRead(KVIImageStage& input);

    double x_ = 0.0;
    double y_ = 0.0;
    KVIScene readScene_;
    KVIScene inputScene_;
    bool active_ = false;
    // Strips of the current read still to come before the one in which the input begins, and
    // before the one in which it ends.
    std::int32_t firstStrip_ = 0;
    std::int32_t lastStrip_ = 0;
    bool inputReadOpen_ = false;
    std::unique_ptr<PixelHolder> ownedHolder_;
    PixelHolder* fillHolder_ = nullptr;
    bool useBackground_ = false;
    std::uint32_t mergeMode_ = 0;
};

} // namespace Korvel
