// The raster path: the file is opened as an image through the reader front, which reads its
// header and packet headers, never its plane data.

#include "CQuarnPropertyStore.h"
#include "ComBoundary.h"
#include "KVIO_IStreamStream.h"
#include "QuarnImageReader.h"
#include "QuarnInfoPaths.h"
#include "streams/KVIOStreamUtils.h"
#include "support/KVIRef.h"

using namespace Korvel;

HRESULT readRasterInfo(KVIO_IStreamStream& stream, DWORD& ratio, DWORD& compressionKind) {
    return guardComCall([&]() -> HRESULT {
        const KVIRef<QuarnImageReader> reader(QuarnImageReader::create());
        if (!reader) return static_cast<HRESULT>(KV_OUT_OF_MEMORY);
        std::int64_t length = 0;
        KVStatus status = getStreamSize(&stream, length);
        if (status != KV_OK) return static_cast<HRESULT>(status);
        const float lengthF = static_cast<float>(length);

        status =
            reader->initialize(&stream, nullptr, QRN_MEMORY_AUTOMATIC, QRN_STREAM_OPEN_PER_ACCESS);
        if (status != KV_OK) return static_cast<HRESULT>(status);
        const float sizeF = static_cast<float>(reader->getDataSize());

        std::uint8_t major = 0, minor = 0, third = 0, fourth = 0;
        reader->getVersion(major, minor, third, fourth);
        if (major > 2) {
            const KVIScene full(0.0, 0.0, reader->getWidth(), reader->getHeight(), 1.0);
            compressionKind = reader->getModifications(full) != 0 ? CQuarnPropertyStore::kLossy
                                                                  : CQuarnPropertyStore::kLossless;
        } else {
            compressionKind = CQuarnPropertyStore::kLossy;
        }
        ratio = roundedRatio(sizeF / lengthF);
        return S_OK;
    });
}
