#pragma once
// The base of the readers of one image of a Quarn raster file: a geo image reader whose
// description the generation's initialisation fills, with the reader interface's numbers. The
// modification flags come from the image's metadata. Decoding belongs to the generations; the
// base's decode hooks produce nothing and refuse to read.

#include "QuarnImageReaderInterface.h"
#include "stages/KVIGeoImageReader.h"

#include <cstdint>

namespace Korvel {

class QuarnSingleImageReaderBase : public KVIGeoImageReader, public QuarnImageReaderInterface {
public:
    // The metadata's modification record (1 without one); at a magnification other than 1.0 and
    // within the magnification range, with SCALED added.
    std::uint32_t getModifications(const KVIScene& scene) override;

    // KV_FAILURE: the base has no pixels to give.
    KVStatus decodeBegin(const KVIScene& scene) override;
    KVStatus decodeStrip(KVISceneBuffer& buffer, const KVIScene& stripScene) override;
    KVStatus decodeEnd() override;

protected:
    // Strip height 64.
    QuarnSingleImageReaderBase();
    ~QuarnSingleImageReaderBase() override;

    // The held metadata database; an empty one is made when none is held yet.
    KVIMetadataDatabase* metadataForUpdate();
    // Magnification range [2^-levels, 2^20].
    KVStatus setMagnificationForLevels();
    // The geo coordinate: from the metadata (with a WKT derived when it has none); with
    // georeferencing of the file's own (origin, resolutions; y resolution made negative) that
    // takes the place of the metadata's placement, keeping its WKT; without either, the default.
    KVStatus placeGeoCoord(const double* georef /* x, y, xRes, yRes or null */);
};

} // namespace Korvel
