#include "qg3/container/QG3ImageExtras.h"

#include "model/KVIDataType.h"
#include "qg3/container/QG3ColorSpace.h"
#include "qg3/container/QG3DataType.h"
#include "qg3/container/QG3Status.h"
#include "streams/KVIOBodyReader.h"
#include "streams/KVIOFixedMemStream.h"
#include "support/KVStatusGuard.h"

#include <vector>

namespace Korvel {

namespace {

// A pixel: u16 band count, u8 sample kind (a data-type code of 8 or 16 bits), then the samples.
// Another kind yields no pixel, and its samples stay unread.
KVStatus readPixel(KVIOBodyReader& in, std::uint32_t colorSpace, std::unique_ptr<KVIPixel>& pixel) {
    std::uint16_t count = 0;
    std::uint8_t kind = 0;
    KV_RETURN_IF_FAILED(in.read(count));
    KV_RETURN_IF_FAILED(in.read(kind));
    if (kind < QG3_DATATYPE_UINT8 || kind > QG3_DATATYPE_SINT16) return KV_OK;

    const std::uint32_t size = getDataTypeBytes(kind);
    return kvGuard(
        [&] {
            std::vector<std::uint8_t> bytes(std::size_t(count) * size);
            if (!bytes.empty()) KV_RETURN_IF_FAILED(in.read(bytes.data(), bytes.size()));
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
            return KV_OK;
        },
        KV_QG3_OUT_OF_MEMORY);
}

KVStatus readExtras(KVIOBodyReader& in, std::uint32_t colorSpaceCode, QG3ImageExtras& extras) {
    std::uint8_t presence = 0;
    KV_RETURN_IF_FAILED(in.read(presence));
    if (presence > 15) return KV_QG3_BAD_EXTRAS;
    extras.presence = presence;

    if (presence & QG3ImageExtras::HAS_GEOREF) {
        for (double& d : extras.geo)
            KV_RETURN_IF_FAILED(in.readDouble(d));
        extras.hasGeoref = true;
    }
    if (presence & QG3ImageExtras::HAS_WORD) KV_RETURN_IF_FAILED(in.read(extras.word));
    const std::uint32_t colorSpace = colorSpaceToPixelColorSpace(colorSpaceCode);
    if (presence & QG3ImageExtras::HAS_NO_DATA)
        KV_RETURN_IF_FAILED(readPixel(in, colorSpace, extras.noDataPixel));
    if (presence & QG3ImageExtras::HAS_BACKGROUND)
        KV_RETURN_IF_FAILED(readPixel(in, colorSpace, extras.backgroundPixel));
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
    KVIOFixedMemStream record(bytes, count);
    return readImageExtras(&record, colorSpaceCode, extras);
}

} // namespace Korvel
