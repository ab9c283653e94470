#pragma once
// Packet type 6: the contents identifier and, with flag1 = 1, a table of the headers of every
// packet of the file, so that a reader can list the packets without walking them. While the
// packet lives, its memory stream is its database's table stream: every header the database
// writes is copied into it, and the packet writes the collected table last.

#include "qg3/container/QG3Packet.h"

#include <cstdint>

namespace Korvel {

class DB;

class QG3ContentsPacket : public QG3Packet {
public:
    // db may be null: such a packet cannot write a table.
    QG3ContentsPacket(const DBObjectType& type, DB* db);
    ~QG3ContentsPacket() override;

    // A packet of the same database, whose stream then takes over as the table stream.
    DBObject* clone() const override;
    // KV_QG3_READ_FAILED when short (or, without a table, when the body is not exactly 4 bytes),
    // KV_QG3_BAD_FORMAT for a flag1 above 1, KV_QG3_NO_OBJECT without a type, KV_QG3_OUT_OF_MEMORY
    // when the table cannot be held.
    KVStatus readBody(KVIOStreamInf* stream, std::int64_t length) override;
    // With a table, the first call reserves the body and answers KV_QG3_WRITE_AGAIN; the second,
    // once every other packet is written, fills it in.
    KVStatus writeBody(KVIOStreamInf* stream, std::int64_t headerPos) override;
    bool isEqual(const QG3Packet& other) const override;

    std::uint32_t identifier = 0xFFFFFFFF;

private:
    KVStatus copyTable(KVIOStreamInf* stream, std::int64_t count);
    KVStatus writeTable(KVIOStreamInf* stream);

    KVIOStreamInf* table_ = nullptr;
    DB* db_;
    std::int64_t reserved_ = 0;
};

} // namespace Korvel
