#pragma once
// Packet type 1: the image information of one image.

#include "qg3/container/QG3ImageInfo.h"
#include "qg3/container/QG3Packet.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace Korvel {

class QG3HeaderPacket : public QG3Packet {
public:
    // Flag bits of the body's first field.
    static constexpr std::uint64_t FLAG_NEW = 0x2;
    static constexpr std::uint64_t FLAG_ITEM_WORD = 0x4;
    static constexpr std::uint64_t FLAG_ITEM_VALUE = 0x8;
    static constexpr std::uint64_t FLAG_VALUE_WIDE = 0x10;   // with FLAG_ITEM_VALUE: 2 bytes
    static constexpr std::uint64_t FLAG_VALUE_NARROW = 0x20; // with FLAG_ITEM_VALUE: 1 byte
    static constexpr std::uint64_t FLAG_KEPT_7 = 0x80;
    static constexpr std::uint64_t FLAG_CROP = 0x8000;
    static constexpr std::uint64_t FLAG_KEPT_16 = 0x10000;
    static constexpr std::uint64_t FLAG_REFUSED = 0x20000;
    static constexpr std::uint64_t FLAG_BAND_SCALE = 0x40000;

    explicit QG3HeaderPacket(const DBObjectType& type);
    ~QG3HeaderPacket() override;

    DBObject* clone() const override;
    // KV_QG3_READ_FAILED when the body or the stream ends before the fields, KV_QG3_BAD_FORMAT for
    // invalid flags or a geometry out of range, KV_QG3_OUT_OF_MEMORY when out of memory.
    KVStatus readBody(KVIOStreamInf* stream, std::int64_t length) override;
    KVStatus writeBody(KVIOStreamInf* stream, std::int64_t headerPos) override;
    bool isEqual(const QG3Packet& other) const override;

    std::uint64_t getFlags() const { return flags_; }
    // Null until a body has been read.
    const QG3ImageInfo* getImageInfo() const { return info_ ? &*info_ : nullptr; }

private:
    std::uint64_t flags_ = FLAG_NEW;
    // Kept in the packet: a packet read for one call costs no record of its own.
    std::optional<QG3ImageInfo> info_;
    std::uint8_t extra_ = 0;
};

} // namespace Korvel
