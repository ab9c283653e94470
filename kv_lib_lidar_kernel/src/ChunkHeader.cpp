#include "ChunkHeader.h"

#include "BigEndian.h"
#include "BufferedIOReader.h"
#include "Error.h"

namespace Korvel {

std::int64_t ChunkHeader::read(BufferedIOReader& reader) {
    const char* const function = "Korvel::ChunkHeader::read";
    offset = reader.tell();
    if (!BigEndian::read(reader, id))
        KORVEL_FAIL("ChunkHeader", function, ErrorCode::ChunkHeader, "bad read -- chunk id");
    if (!BigEndian::read(reader, length))
        KORVEL_FAIL("ChunkHeader", function, ErrorCode::ChunkHeader, "bad read -- chunk length");
    return Size;
}

} // namespace Korvel
