#pragma once
// Writes the subblocks of a LiDAR subband from the layouts: a header stream and a data stream
// (or one stream with each header before its data, as subband chunks of version 1 store them).
//
//   integer, MQ-coded:  u16 v; v < 2048: v + 1 empty subblocks; else v = 2048 + T(T + 1)(T + 5)/6
//                       + L(2T - L + 5)/2 + (S - L + 2) for planes T down to L, of which S down
//                       to L are raw; then per plane (T first) u8 layer and u16 byte length, or
//                       without a wavelet transform one u32 total length.
//     data:             MQ segment of planes T .. S + 1, then the raw bits of planes S .. L,
//                       least significant bit of each byte first. Per plane and sample: a
//                       sample significant above the plane codes its refinement bit (context
//                       18 + 3(sign + 2l) + r), any other its significance bit (3l + r) and,
//                       when that is 1, its sign (9 + 3l + r); l and r are the states of its
//                       neighbours judged by the bits above the plane (1 not significant, 0
//                       negative, 2 positive).
//   floating point:     u32 v; v < 2048: v + 1 empty subblocks; else v - 2048 data bytes:
//     MQ:               every bit of each sample's pattern, least significant first, in the
//                       context of its bit position
//     deflate:          raw deflate (no wrapper) of the samples' big-endian bytes

#include <cstdint>
#include <vector>

namespace quarn_test {

class SubblockWriter {
public:
    struct IntegerPlanes {
        unsigned width = 16; // bits of a sample: 16, 32 or 64
        int top = -1;        // T; -1: the highest plane with a magnitude bit (or the lowest)
        int lowest = 0;      // L; magnitudes must have no bits below it
        int rawPlanes = 0;   // planes coded raw, from L up (all when there are fewer)
        bool wavelet = true; // per-plane lengths; else one u32 length
    };

    SubblockWriter() = default;
    // oneStream: each header goes into the data stream, directly before its data.
    explicit SubblockWriter(bool oneStream) : oneStream_(oneStream) {}

    // v + 1 empty subblocks.
    SubblockWriter& integerRun(std::uint16_t v) { return header(v, 2); }
    SubblockWriter& floatRun(std::uint32_t v) { return header(v, 4); }

    SubblockWriter& integerSubblock(const std::vector<std::int64_t>& samples,
                                    const IntegerPlanes& planes);
    SubblockWriter& mqFloatSubblock(const std::vector<float>& values);
    SubblockWriter& mqFloatSubblock(const std::vector<double>& values);
    SubblockWriter& gzFloatSubblock(const std::vector<float>& values);
    SubblockWriter& gzFloatSubblock(const std::vector<double>& values);

    // Raw fields, for broken subblocks: the low width bytes of value, big-endian.
    SubblockWriter& header(std::uint64_t value, unsigned width);
    SubblockWriter& data(const std::vector<std::uint8_t>& bytes);

    static std::uint16_t integerHeader(int top, int lowest, int rawTop);

    const std::vector<std::uint8_t>& headers() const { return oneStream_ ? data_ : headers_; }
    const std::vector<std::uint8_t>& dataBytes() const { return data_; }

private:
    SubblockWriter& mqPatterns(const std::vector<std::uint64_t>& patterns, unsigned width);
    SubblockWriter& gzBytes(const std::vector<std::uint8_t>& bigEndian);

    bool oneStream_ = false;
    std::vector<std::uint8_t> headers_;
    std::vector<std::uint8_t> data_;
};

} // namespace quarn_test
