// The raster path: the file is opened as an image through the reader front, which reads its
// header and packet headers, never its plane data.

#include "CQuarnPropertyStore.h"
#include "KVIO_IStreamStream.h"
#include "QuarnImageReader.h"
#include "QuarnInfoPaths.h"

using namespace Korvel;

namespace {
// Releases the reader on every way out.
struct ReaderHolder {
    QuarnImageReader* reader = nullptr;
    ~ReaderHolder() {
        if (reader) reader->release();
    }
};
} // namespace

HRESULT readRasterInfo(KVIO_IStreamStream& stream, DWORD& ratio, DWORD& compressionKind) {
    try {
        ReaderHolder holder;
        holder.reader = QuarnImageReader::create();
        if (!holder.reader) return static_cast<HRESULT>(KV_OUT_OF_MEMORY);
        KVStatus status = stream.seek(0, KVIO_SEEK_END);
        if (status != KV_OK) return static_cast<HRESULT>(status);
        const float lengthF = static_cast<float>(stream.tell());

        status = holder.reader->initialize(&stream, nullptr, QRN_MEMORY_AUTOMATIC,
                                           QRN_STREAM_OPEN_PER_ACCESS);
        if (status != KV_OK) return static_cast<HRESULT>(status);
        const float sizeF = static_cast<float>(holder.reader->getDataSize());

        std::uint8_t major = 0, minor = 0, third = 0, fourth = 0;
        holder.reader->getVersion(major, minor, third, fourth);
        if (major > 2) {
            const KVIScene full(0.0, 0.0, holder.reader->getWidth(), holder.reader->getHeight(),
                                1.0);
            compressionKind = holder.reader->getModifications(full) != 0
                                  ? CQuarnPropertyStore::kLossy
                                  : CQuarnPropertyStore::kLossless;
        } else {
            compressionKind = CQuarnPropertyStore::kLossy;
        }
        ratio = roundedRatio(sizeF / lengthF);
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}
