#include "stages/KVIGeoImageReader.h"

namespace Korvel {

KVIGeoImageReader::~KVIGeoImageReader() = default;

KVStatus KVIGeoImageReader::init(bool useWorldFile) {
    useWorldFile_ = useWorldFile;
    return setMetadata(nullptr);
}

KVStatus KVIGeoImageReader::readWorldFile(KVIOStreamInf* stream, bool& found, bool honourFlag) {
    found = false;
    if (honourFlag && !useWorldFile_) return KV_OK;
    KVIGeoCoord geo = getGeoCoord();
    const KVStatus status = geo.readWorldFile(stream);
    if (status != KV_OK) return status;
    found = true;
    return setGeoCoord(geo);
}

} // namespace Korvel
