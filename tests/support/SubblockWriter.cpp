#include "SubblockWriter.h"

#include "ByteBuilder.h"
#include "MQEncoder.h"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <stdexcept>

namespace quarn_test {

namespace {

// Bits of the raw planes, least significant bit of each byte first.
class RawBitWriter {
public:
    void put(unsigned bit) {
        if (count_ % 8 == 0) bytes.push_back(0);
        bytes.back() |= static_cast<std::uint8_t>((bit & 1) << (count_ % 8));
        ++count_;
    }
    std::vector<std::uint8_t> bytes;

private:
    std::uint64_t count_ = 0;
};

std::uint16_t planeLength(std::size_t length) {
    if (length > 0xFFFF) throw std::length_error("plane longer than a u16 length");
    return static_cast<std::uint16_t>(length);
}

} // namespace

SubblockWriter& SubblockWriter::header(std::uint64_t value, unsigned width) {
    appendBE(oneStream_ ? data_ : headers_, value, width);
    return *this;
}

SubblockWriter& SubblockWriter::data(const std::vector<std::uint8_t>& bytes) {
    data_.insert(data_.end(), bytes.begin(), bytes.end());
    return *this;
}

std::uint16_t SubblockWriter::integerHeader(int top, int lowest, int rawTop) {
    return static_cast<std::uint16_t>(2048 + top * (top + 1) * (top + 5) / 6 +
                                      lowest * (2 * top - lowest + 5) / 2 + (rawTop - lowest + 2));
}

SubblockWriter& SubblockWriter::integerSubblock(const std::vector<std::int64_t>& samples,
                                                const IntegerPlanes& planes) {
    const std::size_t n = samples.size();
    std::vector<std::uint64_t> magnitude(n);
    std::vector<unsigned> negative(n);
    int top = planes.lowest;
    for (std::size_t i = 0; i < n; ++i) {
        negative[i] = samples[i] < 0;
        magnitude[i] = negative[i] ? 0 - static_cast<std::uint64_t>(samples[i])
                                   : static_cast<std::uint64_t>(samples[i]);
        if (magnitude[i] & ((std::uint64_t(1) << planes.lowest) - 1))
            throw std::invalid_argument("magnitude bits below the lowest plane");
        if (magnitude[i] != 0) top = std::max(top, 63 - std::countl_zero(magnitude[i]));
    }
    if (planes.top >= 0) top = planes.top;
    const int lowest = planes.lowest;
    const int rawTop = std::min(lowest - 1 + planes.rawPlanes, top);
    if (top >= static_cast<int>(planes.width) || top < lowest)
        throw std::invalid_argument("bad plane range");

    // Codes plane p of every sample through emit(context, bit).
    auto codePlane = [&](int p, auto&& emit) {
        const std::uint64_t above = p >= 63 ? 0 : ~((std::uint64_t(2) << p) - 1);
        auto state = [&](std::size_t j, bool exists) -> unsigned {
            if (!exists || (magnitude[j] & above) == 0) return 1;
            return negative[j] ? 0 : 2;
        };
        for (std::size_t i = 0; i < n; ++i) {
            const unsigned l = state(i - 1, i > 0);
            const unsigned r = state(i + 1, i + 1 < n);
            const unsigned bit = (magnitude[i] >> p) & 1;
            if ((magnitude[i] & above) != 0) {
                emit(18 + 3 * (negative[i] + 2 * l) + r, bit);
            } else {
                emit(3 * l + r, bit);
                if (bit) emit(9 + 3 * l + r, negative[i]);
            }
        }
    };

    std::vector<std::uint16_t> lengths; // plane T first
    MQEncoder encoder;
    std::vector<std::size_t> mqEnds;
    for (int p = top; p > rawTop; --p) {
        codePlane(p, [&](unsigned cx, unsigned bit) { encoder.encode(cx, bit); });
        mqEnds.push_back(encoder.size());
    }
    const std::uint64_t shifts = encoder.shifts();
    std::vector<std::uint8_t> bytes = fitSegment(encoder.flush(true), shifts);
    const std::size_t segment = bytes.size();
    std::size_t done = 0;
    for (std::size_t k = 0; k < mqEnds.size(); ++k) {
        const std::size_t end = k + 1 == mqEnds.size() ? segment : std::min(mqEnds[k], segment);
        lengths.push_back(planeLength(end - done));
        done = end;
    }
    RawBitWriter raw;
    for (int p = rawTop; p >= lowest; --p) {
        codePlane(p, [&](unsigned, unsigned bit) { raw.put(bit); });
        // Without MQ planes the decoder's start still takes in the segment's bytes; they are
        // counted with the first raw plane.
        const std::size_t end = segment + raw.bytes.size();
        lengths.push_back(planeLength(end - done));
        done = end;
    }
    bytes.insert(bytes.end(), raw.bytes.begin(), raw.bytes.end());

    header(integerHeader(top, lowest, rawTop), 2);
    if (planes.wavelet) {
        for (std::size_t k = 0; k < lengths.size(); ++k)
            header(k % 3, 1).header(lengths[k], 2);
    } else {
        header(bytes.size(), 4);
    }
    return data(bytes);
}

SubblockWriter& SubblockWriter::mqPatterns(const std::vector<std::uint64_t>& patterns,
                                           unsigned width) {
    MQEncoder encoder;
    for (std::uint64_t pattern : patterns)
        for (unsigned b = 0; b < 8 * width; ++b)
            encoder.encode(b, (pattern >> b) & 1);
    const std::vector<std::uint8_t> bytes = encoder.flush(true);
    return header(2048 + bytes.size(), 4).data(bytes);
}

SubblockWriter& SubblockWriter::mqFloatSubblock(const std::vector<float>& values) {
    std::vector<std::uint64_t> patterns;
    for (float value : values)
        patterns.push_back(std::bit_cast<std::uint32_t>(value));
    return mqPatterns(patterns, 4);
}

SubblockWriter& SubblockWriter::mqFloatSubblock(const std::vector<double>& values) {
    std::vector<std::uint64_t> patterns;
    for (double value : values)
        patterns.push_back(std::bit_cast<std::uint64_t>(value));
    return mqPatterns(patterns, 8);
}

SubblockWriter& SubblockWriter::gzBytes(const std::vector<std::uint8_t>& bigEndian) {
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::runtime_error("deflateInit2");
    std::vector<std::uint8_t> bytes(deflateBound(&stream, bigEndian.size()));
    stream.next_in = const_cast<Bytef*>(bigEndian.data());
    stream.avail_in = static_cast<uInt>(bigEndian.size());
    stream.next_out = bytes.data();
    stream.avail_out = static_cast<uInt>(bytes.size());
    const int result = deflate(&stream, Z_FINISH);
    bytes.resize(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END) throw std::runtime_error("deflate");
    return header(2048 + bytes.size(), 4).data(bytes);
}

SubblockWriter& SubblockWriter::gzFloatSubblock(const std::vector<float>& values) {
    std::vector<std::uint8_t> bytes;
    for (float value : values)
        appendBE(bytes, std::bit_cast<std::uint32_t>(value), 4);
    return gzBytes(bytes);
}

SubblockWriter& SubblockWriter::gzFloatSubblock(const std::vector<double>& values) {
    std::vector<std::uint8_t> bytes;
    for (double value : values)
        appendBE(bytes, std::bit_cast<std::uint64_t>(value), 8);
    return gzBytes(bytes);
}

} // namespace quarn_test
