#include "BaseChunkReader.h"

#include "ChunkHeader.h"
#include "Error.h"
#include "XAlloc.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace Korvel {

namespace {

constexpr const char* kFile = "ChunkReader";

bool isAcceptedVersion(std::uint8_t minor, std::uint8_t third, std::uint8_t fourth) {
    if (minor == 0) return third == 0 && fourth <= 3;
    if (minor == 1) return third == 0 && fourth == 0;
    return false;
}

} // namespace

std::uint64_t BaseChunkReader::readMagic(std::uint8_t version[4]) {
    const char* const function = "Korvel::BaseChunkReader::readMagic";
    unsigned char start[8];
    if (reader_.read(start, sizeof start) != static_cast<std::int64_t>(sizeof start))
        KORVEL_FAIL(kFile, function, ErrorCode::FileHeader, "bad read -- file header");
    if (std::memcmp(start, "qrnd", 4) != 0)
        KORVEL_FAIL(kFile, function, ErrorCode::Unsupported, "not a Quarn file");
    if (start[4] != 4) KORVEL_FAIL(kFile, function, ErrorCode::Unsupported, "not a LiDAR file");
    if (!isAcceptedVersion(start[5], start[6], start[7]))
        KORVEL_FAIL(kFile, function, ErrorCode::Unsupported, "unsupported version");
    for (int i = 0; i < 4; ++i)
        version[i] = start[4 + i];
    std::uint64_t fileLength = 0;
    if (!BigEndian::read(reader_, fileLength))
        KORVEL_FAIL(kFile, function, ErrorCode::FileHeader, "bad read -- file length");
    return fileLength;
}

std::uint32_t BaseChunkReader::packVersion(const std::uint8_t version[4]) {
    return BigEndian::decode<std::uint32_t>(version);
}

void BaseChunkReader::readChunkHeader(ChunkHeader& header, std::int64_t& remaining,
                                      std::uint32_t expectedId, std::uint32_t errorCode) {
    const char* const function = "Korvel::BaseChunkReader::readChunkHeader";
    header.read(reader_);
    // The length is compared unsigned, so that no length at or above 2^63 passes as negative.
    if (remaining < ChunkHeader::Size ||
        header.length > static_cast<std::uint64_t>(remaining - ChunkHeader::Size))
        KORVEL_FAIL(kFile, function, errorCode, "chunk length error");
    remaining -= ChunkHeader::Size + static_cast<std::int64_t>(header.length);
    if (header.id != expectedId) KORVEL_FAIL(kFile, function, errorCode, "bad chunk order");
}

void BaseChunkReader::recordAndSkip(std::uint64_t length, IO::Location& location) {
    if (length > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        KORVEL_FAIL(kFile, "Korvel::BaseChunkReader::recordAndSkip", ErrorCode::FileHeader,
                    "chunk length error");
    const auto bodyLength = static_cast<std::int64_t>(length);
    location.set(reader_.getIO(), reader_.tell(), bodyLength);
    reader_.seek(bodyLength, BufferedIOReader::FromCurrent);
}

std::int64_t BaseChunkReader::bodyEnd(std::uint64_t bodyLength) const {
    constexpr std::int64_t maximum = std::numeric_limits<std::int64_t>::max();
    const std::int64_t start = reader_.tell();
    if (bodyLength > static_cast<std::uint64_t>(maximum - start)) return maximum;
    return start + static_cast<std::int64_t>(bodyLength);
}

std::int64_t BaseChunkReader::readString(char*& text, std::uint32_t errorCode, const char* field,
                                         std::int64_t end) {
    const char* const function = "Korvel::BaseChunkReader::readString";
    text = nullptr;
    std::uint32_t length = 0;
    if (!readWithin(end, length))
        KORVEL_FAIL(kFile, function, errorCode, "bad read -- %s length", field);
    if (length == 0) return 4;
    // The bytes must lie in the body and in the file before a block is sized by them.
    const std::int64_t wanted = length;
    if (wanted > end - reader_.tell() || wanted > reader_.remaining())
        KORVEL_FAIL(kFile, function, errorCode, "bad read -- %s data", field);
    char* block = static_cast<char*>(XALLOC(length));
    if (reader_.read(block, wanted) != wanted) {
        XFREE(block);
        KORVEL_FAIL(kFile, function, errorCode, "bad read -- %s data", field);
    }
    block[length - 1] = '\0';
    text = block;
    return 4 + wanted;
}

void BaseChunkReader::readWKT(std::uint64_t bodyLength, char*& text) {
    const char* const function = "Korvel::BaseChunkReader::readWKT";
    text = nullptr;
    const std::int64_t end = bodyEnd(bodyLength);
    std::uint8_t version = 0;
    if (!readWithin(end, version))
        KORVEL_FAIL(kFile, function, ErrorCode::WKT, "bad read -- version");
    if (version != 1)
        KORVEL_FAIL(kFile, function, ErrorCode::Unsupported, "unsupported wkt version");
    char* wkt = nullptr;
    const std::int64_t consumed = readString(wkt, ErrorCode::WKT, "wkt", end);
    if (static_cast<std::uint64_t>(consumed) != bodyLength - 1) {
        XFREE(wkt);
        KORVEL_FAIL(kFile, function, ErrorCode::WKT, "wkt chunk is the wrong size");
    }
    text = wkt;
}

void BaseChunkReader::readClassNames(std::uint64_t bodyLength, char**& names,
                                     std::uint64_t& count) {
    const char* const function = "Korvel::BaseChunkReader::readClassNames";
    names = nullptr;
    count = 0;
    const std::int64_t end = bodyEnd(bodyLength);
    std::uint8_t version = 0;
    if (!readWithin(end, version))
        KORVEL_FAIL(kFile, function, ErrorCode::ClassNames, "bad read -- version");
    if (version != 1)
        KORVEL_FAIL(kFile, function, ErrorCode::Unsupported, "unsupported class names version");
    std::uint32_t stored = 0;
    if (!readWithin(end, stored))
        KORVEL_FAIL(kFile, function, ErrorCode::ClassNames, "bad read -- count");
    // Every name takes at least its 4-byte length, in the body and in the file.
    std::int64_t remaining = end - reader_.tell();
    const std::int64_t available = std::min(remaining, reader_.remaining());
    if (static_cast<std::int64_t>(stored) > available / 4)
        KORVEL_FAIL(kFile, function, ErrorCode::ClassNames, "class names chunk is the wrong size");
    if (stored == 0) {
        if (remaining != 0)
            KORVEL_FAIL(kFile, function, ErrorCode::ClassNames,
                        "class names chunk is the wrong size");
        return;
    }

    char** array = static_cast<char**>(XALLOC(stored * sizeof(char*)));
    for (std::uint32_t i = 0; i < stored; ++i)
        array[i] = nullptr;
    try {
        for (std::uint32_t i = 0; i < stored; ++i)
            remaining -= readString(array[i], ErrorCode::ClassNames, "name", end);
        if (remaining != 0)
            KORVEL_FAIL(kFile, function, ErrorCode::ClassNames,
                        "class names chunk is the wrong size");
    } catch (...) {
        for (std::uint32_t i = 0; i < stored; ++i)
            XFREE(array[i]);
        XFREE(array);
        throw;
    }
    names = array;
    count = stored;
}

} // namespace Korvel
