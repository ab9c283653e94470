#pragma once
// The 8-byte start of every Quarn file: the magic "qrnd" and four version bytes. Generation-3
// container files carry 03 00 1A and a letter 'o' or 'q' to 'u'; generation-4 raster files
// 03 04 00 'a'.

#include "streams/KVIOStreamInf.h"

#include <array>
#include <cstdint>

namespace Korvel {

using QG3FileVersion = std::array<std::uint8_t, 4>;

// The version that a new container is given.
inline constexpr QG3FileVersion QG3_VERSION_GEN4_RASTER = {3, 4, 0, 'a'};

// Generation and kind of a file from its first 8 bytes: KV_QRN_NOT_QUARN_FILE for a wrong magic,
// KV_QRN_UNKNOWN_VERSION for an unknown version byte.
KVStatus classifyFileHeader(const std::uint8_t header[8], std::uint32_t& generation, bool& raster);

// Reads the file header at the stream's position: KV_QG3_READ_FAILED when short, KV_QG3_BAD_FORMAT
// for a wrong magic or a version that a container does not accept.
KVStatus readFileHeader(KVIOStreamInf* stream, QG3FileVersion& version);
// KV_QG3_WRITE_FAILED when fewer than 8 bytes were written.
KVStatus writeFileHeader(const QG3FileVersion& version, KVIOStreamInf* stream);

bool validateFileVersion(const QG3FileVersion& version);
// The reader kind of the file's images: 2 below the generation-4 version, 5 at it, 0 above.
std::uint32_t compareFileVersion(const QG3FileVersion& version);

} // namespace Korvel
