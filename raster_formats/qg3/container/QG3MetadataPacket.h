#pragma once
// Packet type 2: a block of metadata, u32 count N then N bytes. keyA is the kind of the block,
// keyB its key.

#include "qg3/container/QG3Packet.h"
#include "qg3/container/QG3PacketBytes.h"

#include <cstdint>

namespace Korvel {

class QG3MetadataPacket : public QG3Packet {
public:
    explicit QG3MetadataPacket(const DBObjectType& type) : QG3Packet(type) {}

    // Copies the bytes only.
    DBObject* clone() const override;
    // KV_QG3_READ_FAILED when N bytes are not there, KV_QG3_OUT_OF_MEMORY when they cannot be held.
    KVStatus readBody(KVIOStreamInf* stream, std::int64_t length) override;
    KVStatus writeBody(KVIOStreamInf* stream, std::int64_t headerPos) override;
    bool isEqual(const QG3Packet& other) const override;

    std::uint32_t getCount() const { return bytes_.count(); }
    const std::uint8_t* getBytes() const { return bytes_.data(); }

private:
    QG3PacketBytes bytes_;
    std::int64_t bodyOffset_ = 0;
    std::int64_t bodyLength_ = 0;
    bool fromFile_ = false;
};

} // namespace Korvel
