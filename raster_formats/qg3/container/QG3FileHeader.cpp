#include "qg3/container/QG3FileHeader.h"

#include "qg3/container/QG3ImageDesc.h"
#include "qg3/container/QG3Status.h"
#include "support/KVBigEndian.h"

#include <cstring>

namespace Korvel {

namespace {

constexpr std::uint8_t kMagic[4] = {'q', 'r', 'n', 'd'};

std::uint32_t versionNumber(const QG3FileVersion& v) {
    return loadBE<std::uint32_t>(v.data());
}

} // namespace

KVStatus classifyFileHeader(const std::uint8_t header[8], std::uint32_t& generation, bool& raster) {
    if (std::memcmp(header, kMagic, 4) != 0) return KV_QRN_NOT_QUARN_FILE;
    switch (header[4]) {
    case 1:
    case 2:
        generation = 2;
        raster = true;
        return KV_OK;
    case 3:
        generation = header[5] < 4 ? 3 : 4;
        raster = true;
        return KV_OK;
    case 4:
        generation = 4;
        raster = false;
        return KV_OK;
    default:
        return KV_QRN_UNKNOWN_VERSION;
    }
}

KVStatus readFileHeader(KVIOStreamInf* stream, QG3FileVersion& version) {
    std::uint8_t header[8];
    if (stream->read(header, 8) != 8) return KV_QG3_READ_FAILED;
    if (std::memcmp(header, kMagic, 4) != 0) return KV_QG3_BAD_FORMAT;
    const QG3FileVersion read = {header[4], header[5], header[6], header[7]};
    if (!validateFileVersion(read)) return KV_QG3_BAD_FORMAT;
    version = read;
    return KV_OK;
}

KVStatus writeFileHeader(const QG3FileVersion& version, KVIOStreamInf* stream) {
    const std::uint8_t header[8] = {kMagic[0],  kMagic[1],  kMagic[2],  kMagic[3],
                                    version[0], version[1], version[2], version[3]};
    return stream->write(header, 8) == 8 ? KV_OK : KV_QG3_WRITE_FAILED;
}

bool validateFileVersion(const QG3FileVersion& version) {
    if (version == QG3_VERSION_GEN4_RASTER) return true;
    // Generation 3: the letters 'o' and 'q' to 'u'; 'p' was never a released form.
    const std::uint8_t letter = version[3];
    return version[0] == 3 && version[1] == 0 && version[2] == 0x1A &&
           (letter == 'o' || (letter >= 'q' && letter <= 'u'));
}

std::uint32_t compareFileVersion(const QG3FileVersion& version) {
    const std::uint32_t number = versionNumber(version);
    const std::uint32_t gen4 = versionNumber(QG3_VERSION_GEN4_RASTER);
    if (number < gen4) return QG3_READER_GEN3;
    return number == gen4 ? QG3_READER_GEN4 : QG3_READER_UNKNOWN;
}

} // namespace Korvel
