#include "qg3/container/QG3PacketType.h"

#include "qg3/container/QG3Status.h"
#include "qg3/container/QG3StreamIO.h"
#include "support/KVStatusGuard.h"

#include <algorithm>
#include <new>
#include <type_traits>

namespace Korvel {

namespace {

constexpr std::uint8_t kFlagsPresent = 0x40;
constexpr std::uint8_t kReservedBits = 0xB0;
constexpr std::uint8_t kKeyCPresent = 0x08;
constexpr std::uint8_t kImagePresent = 0x04;
constexpr std::uint8_t kEightByteLength = 0x03;

// Width code (0 absent, 1 one byte, 2 two bytes, 3 four bytes) of the smallest field for value.
unsigned widthCode(std::uint32_t value) {
    if (value == 0) return 0;
    if (value <= 0xFF) return 1;
    return value <= 0xFFFF ? 2 : 3;
}

constexpr unsigned kKeyBytes[4] = {0, 1, 2, 4};
constexpr unsigned kLengthBytes[4] = {1, 2, 4, 8};

bool fieldMatches(std::uint32_t a, std::uint32_t b) {
    return a == QG3_ANY || b == QG3_ANY || a == b;
}

} // namespace

QG3PacketType::QG3PacketType(std::uint32_t packetType_, std::uint32_t keyA_, std::uint32_t keyB_,
                             std::uint32_t imageNumber_, std::uint8_t flag1_, std::uint8_t flag2_)
    : packetType(packetType_), flag1(flag1_), flag2(flag2_), keyA(keyA_), keyB(keyB_),
      imageNumber(imageNumber_) {}

DBObjectType* QG3PacketType::clone() const {
    auto* copy =
        new (std::nothrow) QG3PacketType(packetType, keyA, keyB, imageNumber, flag1, flag2);
    if (copy != nullptr) {
        copy->positioned = positioned;
        copy->start = start;
        copy->headerSize = headerSize;
    }
    return copy;
}

// A header read from a stream has a four-bit packet type and is at most 28 bytes long.
void QG3PacketType::pack(DBObjectKey& key) const {
    key.words[0] = keyA;
    key.words[1] = keyB;
    key.words[2] = imageNumber;
    key.bytes[0] = static_cast<std::uint8_t>(packetType);
    key.bytes[1] = flag1;
    key.bytes[2] = flag2;
    key.bytes[3] = static_cast<std::uint8_t>(
        (headerSize >= 0 && headerSize < 0x80 ? headerSize : 0) | (positioned ? 0x80 : 0));
}

void QG3PacketType::unpack(const DBObjectKey& key, std::int64_t bodyStart) {
    keyA = key.words[0];
    keyB = key.words[1];
    imageNumber = key.words[2];
    keyC = 0;
    packetType = key.bytes[0];
    flag1 = key.bytes[1];
    flag2 = key.bytes[2];
    headerSize = key.bytes[3] & 0x7F;
    positioned = (key.bytes[3] & 0x80) != 0;
    start = positioned ? bodyStart - headerSize : 0;
}

bool QG3PacketType::matches(const DBObjectType& other) const {
    const auto* o = asPacketType(other);
    return o != nullptr && matches(*o);
}

bool QG3PacketType::matches(const QG3PacketType& o) const {
    return fieldMatches(packetType, o.packetType) && fieldMatches(keyA, o.keyA) &&
           fieldMatches(keyB, o.keyB) && fieldMatches(imageNumber, o.imageNumber);
}

bool QG3PacketType::compare(const DBObjectType& pattern, const DBObjectType& candidate) {
    const auto* p = asPacketType(pattern);
    return p != nullptr && p->matches(candidate);
}

KVStatus QG3PacketType::read(KVIOStreamInf* stream, std::uint64_t& bodyLength) {
    const std::int64_t at = stream->tell();
    if (at < 0) return KV_QG3_READ_FAILED;
    std::uint8_t head[2];
    if (stream->read(head, 2) != 2) return KV_QG3_READ_FAILED;
    packetType = head[0] & 0x0F;
    const std::uint8_t widths = head[1];
    const bool flags = (head[0] & kFlagsPresent) != 0;
    // The two bytes give the width of every field after them, which are taken in one read; a
    // header that stops short sets the fields before the one it stops in, as read field by field.
    const unsigned keyABytes = kKeyBytes[widths >> 6];
    const unsigned keyBBytes = kKeyBytes[(widths >> 4) & 3];
    const unsigned keyCBytes = widths & kKeyCPresent ? 4 : 0;
    const unsigned imageBytes = widths & kImagePresent ? 4 : 0;
    const unsigned lengthBytes = kLengthBytes[widths & 3];
    std::uint8_t rest[26];
    const std::uint32_t wanted =
        keyABytes + keyBBytes + keyCBytes + imageBytes + (flags ? 2 : 0) + lengthBytes;
    const std::uint32_t got = std::min(stream->read(rest, wanted), wanted);
    std::uint32_t used = 0;
    const auto take = [&](unsigned bytes, auto& value) {
        if (bytes > got - used) return false;
        value = static_cast<std::remove_reference_t<decltype(value)>>(
            bytes == 0 ? 0 : loadBE(rest + used, bytes));
        used += bytes;
        return true;
    };
    bool ok = take(keyABytes, keyA) && take(keyBBytes, keyB) && take(keyCBytes, keyC) &&
              take(imageBytes, imageNumber);
    flag1 = 0;
    flag2 = 0;
    if (ok && flags) ok = take(1, flag1) && take(1, flag2);
    if (ok) ok = take(lengthBytes, bodyLength);
    if (!ok) return KV_QG3_READ_FAILED;
    const std::int64_t after = stream->tell();
    if (after < 0) return KV_QG3_READ_FAILED;
    positioned = true;
    start = at;
    headerSize = after - at;
    // Tested only now, so that a bad header has still been consumed whole.
    return (head[0] & kReservedBits) ? KV_QG3_BAD_FORMAT : KV_OK;
}

KVStatus QG3PacketType::write(KVIOStreamInf* stream, std::int64_t& lengthPos) const {
    const bool flags = flag1 != 0 || flag2 != 0;
    const unsigned codeA = widthCode(keyA);
    const unsigned codeB = widthCode(keyB);
    const std::uint8_t head[2] = {
        static_cast<std::uint8_t>((packetType & 0x0F) | (flags ? kFlagsPresent : 0)),
        static_cast<std::uint8_t>(codeA << 6 | codeB << 4 | (keyC != 0 ? kKeyCPresent : 0) |
                                  (imageNumber != 0 ? kImagePresent : 0) | kEightByteLength)};
    bool ok = stream->write(head, 2) == 2 && writeBE(stream, keyA, kKeyBytes[codeA]) &&
              writeBE(stream, keyB, kKeyBytes[codeB]);
    if (ok && keyC != 0) ok = writeBE(stream, keyC, 4);
    if (ok && imageNumber != 0) ok = writeBE(stream, imageNumber, 4);
    if (ok && flags) ok = writeBE(stream, flag1, 1) && writeBE(stream, flag2, 1);
    if (!ok) return KV_QG3_WRITE_FAILED;
    lengthPos = stream->tell();
    if (lengthPos < 0) return KV_QG3_WRITE_FAILED;
    return writeBE(stream, 0x00000000FFFFFFFFull, 8) ? KV_OK : KV_QG3_WRITE_FAILED;
}

KVStatus QG3PacketType::patchLength(KVIOStreamInf* stream, std::int64_t lengthPos,
                                    std::uint64_t length) const {
    const std::int64_t here = stream->tell();
    if (here < 0) return KV_QG3_SEEK_FAILED;
    KV_RETURN_IF_FAILED(stream->seek(lengthPos, KVIO_SEEK_SET));
    if (!writeBE(stream, length, 8)) return KV_QG3_WRITE_FAILED;
    return stream->seek(here, KVIO_SEEK_SET);
}

std::int64_t QG3PacketType::getSize() const {
    return 2 + kKeyBytes[widthCode(keyA)] + kKeyBytes[widthCode(keyB)] + (keyC != 0 ? 4 : 0) +
           (imageNumber != 0 ? 4 : 0) + (flag1 != 0 || flag2 != 0 ? 2 : 0) + 8;
}

} // namespace Korvel
