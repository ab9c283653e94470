#pragma once
// The key of a metadata packet: its kind, its key and the image it belongs to (the packet
// header's keyA, keyB and imageNumber).

#include <cstdint>

namespace Korvel {

// Kinds used by the readers: the classical metadata block and the image extras record.
inline constexpr std::uint32_t QG3_METADATA_CLASSICAL = 1;
inline constexpr std::uint32_t QG3_METADATA_IMAGE_EXTRAS = 3;

struct QG3MetadataDesc {
    std::uint32_t kind = 0;
    std::uint32_t key = 0;
    std::uint32_t imageNumber = 0;

    bool operator==(const QG3MetadataDesc&) const = default;
};

} // namespace Korvel
