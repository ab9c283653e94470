#pragma once
// The 12-byte framing of a chunk of a LiDAR file: a u32 id and the u64 length of the body that
// follows. The header also records the file offset at which it was read.

#include <cstdint>

namespace Korvel {

class BufferedIOReader;

class ChunkHeader {
public:
    enum : std::uint32_t {
        Group = 1,
        WaveletHeader = 2,
        Index = 3,
        Subband = 4,
        Metadata = 5,
        WKT = 6,
        ClassNames = 7,
    };
    static constexpr std::int64_t Size = 12;

    // Reads id and length at the reader's position; returns the bytes consumed (12). Short reads
    // throw "bad read -- chunk id" or "bad read -- chunk length" (code 40201).
    std::int64_t read(BufferedIOReader& reader);

    std::uint32_t id = 0;
    std::uint64_t length = 0;
    std::int64_t offset = 0;
};

} // namespace Korvel
