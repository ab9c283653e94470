#pragma once
// The header of one packet of a generation-3/4 file: a packet type, two optional flag bytes, up
// to four keys in the fewest bytes that hold them, and the body length in 1, 2, 4 or 8 bytes.
// 0xFFFFFFFF in the type or a key is a wildcard when headers are matched.

#include "qg3/container/DBObjectType.h"

#include <cstdint>
#include <typeinfo>

namespace Korvel {

inline constexpr std::uint32_t QG3_ANY = 0xFFFFFFFF;

// Packet types.
inline constexpr std::uint32_t QG3_PACKET_UNKNOWN = 0;
inline constexpr std::uint32_t QG3_PACKET_HEADER = 1;
inline constexpr std::uint32_t QG3_PACKET_METADATA = 2;
inline constexpr std::uint32_t QG3_PACKET_PLANESET = 4;
inline constexpr std::uint32_t QG3_PACKET_CONTENTS = 6;
inline constexpr std::uint32_t QG3_PACKET_QG2 = 7;

class QG3PacketType : public DBObjectType {
public:
    QG3PacketType(std::uint32_t packetType, std::uint32_t keyA, std::uint32_t keyB,
                  std::uint32_t imageNumber, std::uint8_t flag1, std::uint8_t flag2);

    // A copy without keyC, which no writer sets.
    DBObjectType* clone() const override;
    bool matches(const DBObjectType& other) const override;
    // The same for another packet header, whose type need not be asked.
    bool matches(const QG3PacketType& other) const;
    // KV_QG3_READ_FAILED when short or when the position cannot be told; KV_QG3_BAD_FORMAT for
    // reserved bits of byte 0, once the whole header has been consumed.
    KVStatus read(KVIOStreamInf* stream, std::uint64_t& bodyLength) override;
    KVStatus patchLength(KVIOStreamInf* stream, std::int64_t lengthPos,
                         std::uint64_t length) const override;
    // Always with an eight-byte length; KV_QG3_WRITE_FAILED on failure.
    KVStatus write(KVIOStreamInf* stream, std::int64_t& lengthPos) const override;
    // Keys A and B, image number, type, flags and the header's size (keyC is not kept, as in a
    // clone; the type of a header read is four bits); a positioned header unpacks to the place
    // in front of its body.
    void pack(DBObjectKey& key) const override;
    void unpack(const DBObjectKey& key, std::int64_t bodyStart) override;

    // The size of the header as write emits it.
    std::int64_t getSize() const;
    // matches, as a predicate for DB searches; false unless both are packet headers.
    static bool compare(const DBObjectType& pattern, const DBObjectType& candidate);
    // The header as a packet header, or null for another kind: the exact type is tested first,
    // as nearly every header asked about is one.
    static const QG3PacketType* asPacketType(const DBObjectType& type) {
        if (typeid(type) == typeid(QG3PacketType)) return static_cast<const QG3PacketType*>(&type);
        return dynamic_cast<const QG3PacketType*>(&type);
    }

    std::uint32_t packetType;
    std::uint8_t flag1;
    std::uint8_t flag2;
    std::uint32_t keyA;
    std::uint32_t keyB;
    std::uint32_t imageNumber;
    std::uint32_t keyC = 0;
    // Where a read found the header, and how many bytes it took.
    bool positioned = false;
    std::int64_t start = 0;
    std::int64_t headerSize = 0;
};

} // namespace Korvel
