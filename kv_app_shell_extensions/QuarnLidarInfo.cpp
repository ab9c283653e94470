// The LiDAR path: the file is opened with the kernel's point reader, which reads the file's
// header and chunk headers, and its metadata; no point is decoded.

#include "CQuarnPropertyStore.h"
#include "ComBoundary.h"
#include "IStreamIO.h"
#include "Metadata.h"
#include "ObjectRef.h"
#include "QG4PointReader.h"
#include "QuarnInfoPaths.h"

#include <cmath>

using namespace Korvel;

namespace {

// Record sizes of the LAS point formats 3, 2, 1 and 0, chosen by the channels a file has.
int bytesPerPoint(const PointInfo& info) {
    const bool red = info.hasChannel("Red");
    const bool gpsTime = info.hasChannel("GPSTime");
    if (red && gpsTime) return 34;
    if (red) return 26;
    if (gpsTime) return 28;
    return 20;
}

// The count truncated toward zero, or false when it names no 64-bit integer.
bool toCount(double value, std::int64_t& count) {
    if (!(value > -9223372036854775808.0 && value < 9223372036854775808.0)) return false;
    count = static_cast<std::int64_t>(value);
    return true;
}

} // namespace

HRESULT readLidarInfo(IStreamIO& io, DWORD& ratio, DWORD& compressionKind) {
    return guardComCall([&]() -> HRESULT {
        const ObjectRef<QG4PointReader> reader(QG4PointReader::create());
        reader->init(&io);
        Metadata metadata;
        reader->loadMetadata(metadata);
        compressionKind = CQuarnPropertyStore::kUnknown;

        std::uint16_t datatype = 0;
        const void* values = nullptr;
        std::uint64_t count = 0;
        if (!metadata.get("PreCompressionPointCount", nullptr, &datatype, &values, &count) ||
            datatype != 3 || count == 0)
            return S_OK;
        std::int64_t before = 0;
        if (!toCount(*static_cast<const double*>(values), before)) return S_OK;
        if (before == reader->getNumPoints()) {
            compressionKind = CQuarnPropertyStore::kLossless;
            return S_OK;
        }
        compressionKind = CQuarnPropertyStore::kLossy;
        const float bpp = static_cast<float>(bytesPerPoint(reader->getPointInfo()));
        const float size = static_cast<float>(io.size());
        ratio = roundedRatio(bpp * static_cast<float>(before) / size);
        return S_OK;
    });
}
