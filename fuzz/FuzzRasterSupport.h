#pragma once
// Shared parts of the raster fuzz targets: a library memory stream holding the input, and walks
// over what an image describes.

#include "FuzzTouch.h"
#include "metadata/KVIMetadataDatabase.h"
#include "metadata/KVIMetadataRecord.h"
#include "model/KVIPixel.h"
#include "model/KVIPixelLookupTable.h"
#include "stages/KVIImage.h"
#include "streams/KVIODynamicMemStream.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>

namespace quarn_fuzz {

// An open memory stream holding the bytes, at position 0, as the handler's stream is handed to
// the library; null when they do not fit one.
inline std::unique_ptr<Korvel::KVIODynamicMemStream> memoryStream(const std::uint8_t* data,
                                                                  std::size_t size) {
    if (size > std::numeric_limits<std::int32_t>::max()) return nullptr;
    auto stream = std::make_unique<Korvel::KVIODynamicMemStream>();
    const auto n = static_cast<std::uint32_t>(size);
    if (stream->initialize(n, 2.0f) != Korvel::KV_OK || stream->open() != Korvel::KV_OK)
        return nullptr;
    if (n > 0 && stream->write(data, n) != n) return nullptr;
    if (stream->seek(0, Korvel::KVIO_SEEK_SET) != Korvel::KV_OK) return nullptr;
    return stream;
}

inline void inspectRecord(const Korvel::KVIMetadataRecord& record) {
    touchText(record.getName());
    std::uint32_t numDims = 0;
    const std::uint32_t* dims = nullptr;
    const void* data = record.getArrayData(numDims, dims);
    touch(dims, numDims * sizeof *dims);
    if (data == nullptr) return;
    if (record.getDataType() == Korvel::KVI_RECORD_TEXT) {
        const auto* texts = static_cast<const char* const*>(data);
        for (std::uint64_t i = 0; i < record.getElementCount(); ++i)
            touchText(texts[i]);
    } else {
        touch(data, record.getDataSize());
    }
}

inline void inspectMetadata(const Korvel::KVIMetadataDatabase& metadata) {
    for (std::uint32_t i = 0; i < metadata.getCount(); ++i) {
        const Korvel::KVIMetadataRecord* record = nullptr;
        if (metadata.getByIndex(i, record) == Korvel::KV_OK && record != nullptr)
            inspectRecord(*record);
    }
}

inline void inspectPixel(const Korvel::KVIPixel& pixel) {
    for (std::uint16_t band = 0; band < pixel.getNumBands(); ++band) {
        const Korvel::KVISample& sample = pixel.getSample(band);
        touch(sample.getValueAddr(), sample.getNumBytes());
        sink = sink + static_cast<std::uint64_t>(sample.getAsDouble() != 0.0);
    }
    sink = sink + pixel.getNumBytes() + pixel.getDataType() + pixel.getColorSpace();
}

// Everything an image says about itself.
inline void inspectImage(const Korvel::KVIImage& image) {
    sink = sink + image.getWidth() + image.getHeight() + image.getDataSize();
    inspectPixel(image.getPixelProps());
    if (const Korvel::KVIPixel* pixel = image.getBackgroundPixel()) inspectPixel(*pixel);
    if (const Korvel::KVIPixel* pixel = image.getNoDataPixel()) inspectPixel(*pixel);
    if (const Korvel::KVIPixelLookupTable* table = image.getPixelLookupTable())
        touch(table->getEntries(), table->getEntriesSize());
    inspectPixel(image.getMinDynamicRange());
    inspectPixel(image.getMaxDynamicRange());
    const Korvel::KVIGeoCoord geo = image.getGeoCoord();
    touchText(geo.getWKT());
    inspectMetadata(image.getMetadata());
    if (std::unique_ptr<Korvel::KVIPixel> background = image.makeBackgroundPixel())
        inspectPixel(*background);
}

} // namespace quarn_fuzz
