#pragma once
// Packet type 7: a whole generation-2 image stored in place. Only its extent is recorded; the
// generation-2 reader reads the bytes between the two offsets.

#include "qg3/container/QG3Packet.h"

#include <cstdint>

namespace Korvel {

class QG3QG2Packet : public QG3Packet {
public:
    explicit QG3QG2Packet(const DBObjectType& type) : QG3Packet(type) {}

    DBObject* clone() const override;
    // Reads nothing; KV_QG3_READ_FAILED when the position cannot be told or the extent overflows.
    KVStatus readBody(KVIOStreamInf* stream, std::int64_t length) override;
    // Cannot be written: KV_QG3_NOT_SUPPORTED.
    KVStatus writeBody(KVIOStreamInf* stream, std::int64_t headerPos) override;
    bool isEqual(const QG3Packet& other) const override;

    std::uint64_t start = 0;
    std::uint64_t end = 0;
};

} // namespace Korvel
