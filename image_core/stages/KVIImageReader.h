#pragma once
// The base of every reader: an image stage whose description is stored data, one property per
// mix-in, filled by the reader's constructor. Subclasses supply the three decode hooks.

#include "stages/KVIImageStage.h"
#include "stages/KVIOverrideBackgroundPixel.h"
#include "stages/KVIOverrideDelegates.h"
#include "stages/KVIOverrideDimensions.h"
#include "stages/KVIOverrideGeoCoord.h"
#include "stages/KVIOverrideIsSelective.h"
#include "stages/KVIOverrideMagnification.h"
#include "stages/KVIOverrideMetadata.h"
#include "stages/KVIOverridePixelLookupTables.h"
#include "stages/KVIOverridePixelProps.h"
#include "stages/KVIOverrideStripHeight.h"

namespace Korvel {

class KVIMetadataDatabase;

// Every property stored, innermost (destroyed last) the metadata.
using KVIImageReaderStack =
    KVIOverrideDimensions<KVIOverridePixelProps<KVIOverrideBackgroundPixel<KVIOverrideGeoCoord<
        KVIOverrideMagnification<KVIOverrideIsSelective<KVIOverrideStripHeight<KVIOverrideDelegates<
            KVIOverridePixelLookupTables<KVIOverrideMetadata<KVIImageStage>>>>>>>>>>;

class KVIImageReader : public KVIImageReaderStack {
public:
    KVIImageReader() = default;

    // The stored size scaled to a magnification; KV_BAD_ARGUMENT outside the magnification range.
    KVStatus getDimsAtMag(double magnification, std::uint32_t& width,
                          std::uint32_t& height) const override;
    // Readers offer no mask.
    KVIMaskSource* getMaskSource() const override { return nullptr; }
    // Columns x rows x bytes per pixel, in kilobytes (truncated); held within 64 bits.
    std::int64_t getSceneCost(const KVIScene& scene) override;
    bool clipScene(const KVIScene& scene, KVIScene& clipped) override;
    // KVI_MOD_SCALED for a magnification other than 1.0 within the range, KVI_MOD_CROPPED for a
    // scene smaller than the image at its magnification.
    std::uint32_t getModifications(const KVIScene& scene) override;

    // Takes the description of another image; the image-description tags are then removed from
    // the reader's own metadata. Without an image the metadata becomes empty.
    KVStatus copyImageProperties(const KVIImage* image);
    // Fills pixel props (when readPixelProps), dynamic range, background and no-data pixels,
    // lookup table and (when readGeo) the geo coordinate from a metadata database; pixelProps is
    // updated in place. The image-description tags are then removed from the reader's metadata.
    KVStatus setPixelInfoFromMetadata(const KVIMetadataDatabase& metadata, KVIPixel& pixelProps,
                                      bool readPixelProps, bool readGeo);

protected:
    ~KVIImageReader() override;
    // Removes the image-description tags from the reader's own metadata.
    KVStatus removeOwnImageInfoTags();
};

} // namespace Korvel
