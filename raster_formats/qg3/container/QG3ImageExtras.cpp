#include "qg3/container/QG3ImageExtras.h"

#include "model/KVIDataType.h"
#include "qg3/container/QG3ColorSpace.h"
#include "qg3/container/QG3DataType.h"
#include "qg3/container/QG3Status.h"
#include "streams/KVIOBodyReader.h"

#include <new>
#include <vector>

namespace Korvel {

namespace {

// A pixel: u16 band count, u8 sample kind (a data-type code of 8 or 16 bits), then the samples.
// Another kind yields no pixel, and its samples stay unread.
KVStatus readPixel(KVIOBodyReader& in, std::uint32_t colorSpace, std::unique_ptr<KVIPixel>& pixel) {
    std::uint16_t count = 0;
    std::uint8_t kind = 0;
    KVStatus status = in.read(count);
    if (status == KV_OK) status = in.read(kind);
    if (status != KV_OK) return status;
    if (kind < QG3_DATATYPE_UINT8 || kind > QG3_DATATYPE_SINT16) return KV_OK;

    const std::uint32_t size = getDataTypeBytes(kind);
    try {
        std::vector<std::uint8_t> bytes(std::size_t(count) * size);
        if (!bytes.empty()) {
            status = in.read(bytes.data(), bytes.size());
            if (status != KV_OK) return status;
        }
        auto made = std::make_unique<KVIPixel>(colorSpace, count, getSampleDataType(kind));
        for (std::uint16_t band = 0; band < count; ++band) {
            if (size == 1) {
                made->getSample(band).setUint8(bytes[band]);
            } else {
                const std::uint8_t* be = &bytes[std::size_t(band) * 2];
                made->getSample(band).setUint16(loadBE<std::uint16_t>(be));
            }
        }
        pixel = std::move(made);
    } catch (const std::bad_alloc&) {
        return KV_QG3_OUT_OF_MEMORY;
    }
    return KV_OK;
}

KVStatus readExtras(KVIOBodyReader& in, std::uint32_t colorSpaceCode, QG3ImageExtras& extras) {
    std::uint8_t presence = 0;
    KVStatus status = in.read(presence);
    if (status != KV_OK) return status;
    if (presence > 15) return KV_QG3_BAD_EXTRAS;
    extras.presence = presence;

    if (presence & QG3ImageExtras::HAS_GEOREF) {
        for (double& d : extras.geo)
            if ((status = in.readDouble(d)) != KV_OK) return status;
        extras.hasGeoref = true;
    }
    if (presence & QG3ImageExtras::HAS_WORD) {
        if ((status = in.read(extras.word)) != KV_OK) return status;
    }
    const std::uint32_t colorSpace = colorSpaceToPixelColorSpace(colorSpaceCode);
    if (presence & QG3ImageExtras::HAS_NO_DATA) {
        if ((status = readPixel(in, colorSpace, extras.noDataPixel)) != KV_OK) return status;
    }
    if (presence & QG3ImageExtras::HAS_BACKGROUND) {
        if ((status = readPixel(in, colorSpace, extras.backgroundPixel)) != KV_OK) return status;
    }
    return KV_OK;
}

} // namespace

KVStatus readImageExtras(KVIOStreamInf* stream, std::uint32_t colorSpaceCode,
                         QG3ImageExtras& extras) {
    KVIOBodyReader in(stream, KVIOBodyReader::kHere, KVIOBodyReader::kToEnd, KV_QG3_READ_FAILED,
                      KV_QG3_SEEK_FAILED);
    return readExtras(in, colorSpaceCode, extras);
}

KVStatus readImageExtras(const std::uint8_t* bytes, std::uint32_t count,
                         std::uint32_t colorSpaceCode, QG3ImageExtras& extras) {
    KVIOBodyReader in(bytes, count, KV_QG3_READ_FAILED, KV_QG3_SEEK_FAILED);
    return readExtras(in, colorSpaceCode, extras);
}

} // namespace Korvel
