#pragma once
// How much memory decoding an image is expected to take, from its header and planeset packets.

#include "support/KVStatus.h"

#include <cstdint>

namespace Korvel {

class QG3Container;
class QG3ImageInfo;
class QG3PlanesetPacket;

// The estimate in bytes before the fixed part is added.
double estimateImageMemory(const QG3ImageInfo& info, const QG3PlanesetPacket& planeset);
// The estimate for an image of the container plus a fixed 11814 bytes, held at the largest u64:
// KV_QG3_NO_OBJECT when the image has no single header or planeset packet.
KVStatus estimateMemory(QG3Container* container, std::uint32_t imageNumber, std::uint64_t& bytes);

} // namespace Korvel
