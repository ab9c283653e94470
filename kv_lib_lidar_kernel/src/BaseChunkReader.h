#pragma once
// Reads the framing of a LiDAR file through a buffered reader: the file header, the chunk headers
// inside the group chunk, strings, and the WKT and class-names bodies. Every problem throws
// Korvel::Error with the code of the chunk being read. Every read of a body stays inside the
// body: a field that the body is too short to hold is a bad read, never bytes of the next chunk.

#include "BigEndian.h"
#include "BufferedIOReader.h"
#include "IO.h"

#include <cstdint>

namespace Korvel {

class ChunkHeader;

class BaseChunkReader {
public:
    // The packed version from which files carry the class-names chunk.
    static constexpr std::uint32_t ClassNamesVersion = 0x04000002;

    explicit BaseChunkReader(BufferedIOReader& reader) : reader_(reader) {}
    BaseChunkReader(const BaseChunkReader&) = delete;
    BaseChunkReader& operator=(const BaseChunkReader&) = delete;

    // Reads and checks the 16-byte file header at the reader's position: magic "qrnd", major
    // version 4, one of the versions 4.0.0.0 to 4.0.0.3 and 4.1.0.0. Hands out the four version
    // bytes; returns the file length that the header states.
    std::uint64_t readMagic(std::uint8_t version[4]);
    // (major << 24) | (minor << 16) | (third << 8) | fourth.
    static std::uint32_t packVersion(const std::uint8_t version[4]);

    // Reads a chunk header inside the group and takes the chunk (header and body) off remaining,
    // the group's bytes not yet framed. A chunk that does not fit in remaining throws "chunk
    // length error", one with another id "bad chunk order", both with errorCode.
    void readChunkHeader(ChunkHeader& header, std::int64_t& remaining, std::uint32_t expectedId,
                         std::uint32_t errorCode);

    // Records the body of length bytes at the reader's position (IO, offset, length) and moves
    // the reader past it without reading it.
    void recordAndSkip(std::uint64_t length, IO::Location& location);

    // A u32 byte length and that many bytes, which must lie before end; the last byte becomes
    // the terminator. Length 0 gives null. Returns the bytes consumed (4 + length). Throws
    // "bad read -- <field> length" or "bad read -- <field> data" with errorCode.
    std::int64_t readString(char*& text, std::uint32_t errorCode, const char* field,
                            std::int64_t end);

    // WKT body: u8 version 1, one string filling the rest of the body. text is an XALLOC block
    // (or null) owned by the caller.
    void readWKT(std::uint64_t bodyLength, char*& text);
    // Class-names body: u8 version 1, u32 count, count strings filling the rest of the body.
    // The array and each name are XALLOC blocks owned by the caller (null for count 0).
    void readClassNames(std::uint64_t bodyLength, char**& names, std::uint64_t& count);

    // Reads one big-endian field that must end at or before end.
    template <class T>
    static bool readWithin(BufferedIOReader& reader, std::int64_t end, T& value) {
        if (end - reader.tell() < static_cast<std::int64_t>(sizeof(T))) return false;
        return BigEndian::read(reader, value);
    }

protected:
    // The file offset just past a body of bodyLength bytes that starts at the reader's position.
    std::int64_t bodyEnd(std::uint64_t bodyLength) const;
    template <class T> bool readWithin(std::int64_t end, T& value) {
        return readWithin(reader_, end, value);
    }

    BufferedIOReader& reader_;
};

} // namespace Korvel
