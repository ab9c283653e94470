// Subblock readers through create: every family against the test writer (integer planes, MQ and
// raw, in every sample width; floating-point bit patterns, MQ and deflate), runs of empty
// subblocks and skipping, damaged or hostile streams, which must end in the kernel's error and
// never read or allocate beyond what the stream holds, and the MQ families on any bytes against
// the plain procedure on the bit-serial MQ decoder.

#include "SubblockReader.h"
#include "BufferedIOReader.h"
#include "Error.h"
#include "LidarMemoryIO.h"
#include "SerialMQDecoder.h"
#include "SubblockWriter.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace Korvel;
using quarn_test::LidarMemoryIO;
using quarn_test::ObjectRef;
using quarn_test::SubblockWriter;
using Bytes = std::vector<std::uint8_t>;

namespace {

using Reader = std::unique_ptr<SubblockReader>;

// Readers over a header stream and a data stream (the same reader for one stream).
struct Streams {
    Streams(const Bytes& headerBytes, const Bytes& bytes, bool oneStream = false)
        : headerIO(LidarMemoryIO::make(headerBytes)), dataIO(LidarMemoryIO::make(bytes)),
          one(oneStream) {
        headers.attach(headerIO.get(), true, 64);
        data.attach(dataIO.get(), true, 64);
    }
    Streams(const SubblockWriter& writer, bool oneStream = false)
        : Streams(writer.headers(), writer.dataBytes(), oneStream) {}
    BufferedIOReader& header() { return one ? data : headers; }
    template <class T>
    std::uint64_t load(SubblockReader& reader, std::vector<T>& out, std::uint64_t pending = 0) {
        return reader.loadSubblock(header(), data, out.data(), out.size(), pending);
    }

    ObjectRef<LidarMemoryIO> headerIO, dataIO;
    BufferedIOReader headers, data;
    bool one;
};

template <class F> void expectError(F&& call, std::uint32_t code, const std::string& message) {
    try {
        call();
        ADD_FAILURE() << "no error, expected " << message;
    } catch (const Error& error) {
        EXPECT_EQ(error.getCode(), code);
        EXPECT_EQ(std::string(error.what()).substr(0, message.size()), message);
    }
}

// Three coded subblocks of random integers with a run of two empty ones among them.
template <class T> void integerRoundTrip(std::uint32_t datatype, unsigned seed) {
    const unsigned width = 8 * sizeof(T);
    std::mt19937_64 random(seed);
    for (std::uint32_t transform : {1u, 80u})
        for (int lowest : {0, 3})
            for (int rawPlanes : {0, 1, 4, 64})
                for (bool one : {false, true}) {
                    SubblockWriter writer(one);
                    std::vector<std::vector<T>> expected;
                    for (int k = 0; k < 5; ++k) {
                        if (k == 2) {
                            writer.integerRun(1);
                            expected.insert(expected.end(), 2, std::vector<T>(37, T(0)));
                            continue;
                        }
                        const unsigned bits = 1 + random() % (width - 1);
                        std::vector<std::int64_t> samples(k == 4 ? 30 : 37);
                        for (auto& s : samples) {
                            s = static_cast<std::int64_t>(random() >> (64 - bits));
                            s = (random() % 3 == 0 ? -s : s) >> lowest << lowest;
                        }
                        if (k == 0) samples[3] = std::numeric_limits<T>::min();
                        writer.integerSubblock(samples,
                                               {width, -1, lowest, rawPlanes, transform == 1});
                        expected.emplace_back(samples.begin(), samples.end());
                    }
                    Reader reader(SubblockReader::create(datatype, transform, "Z", 37));
                    Streams streams(writer, one);
                    std::uint64_t pending = 0;
                    for (const auto& subblock : expected) {
                        std::vector<T> got(subblock.size(), T(99));
                        pending = streams.load(*reader, got, pending);
                        ASSERT_EQ(got, subblock) << "transform " << transform << " lowest "
                                                 << lowest << " raw " << rawPlanes;
                    }
                }
}

template <class T> bool sameBits(const std::vector<T>& a, const std::vector<T>& b) {
    return std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

// Special values, a run of two empty subblocks and a ramp; transforms 21 and 90 are MQ-coded,
// 61 and 110 deflate-coded.
template <class T> void floatRoundTrip(std::uint32_t transform, bool one) {
    using L = std::numeric_limits<T>;
    std::vector<T> values = {T(0),          T(-0.0),        T(1.5),         T(-3.25e7),
                             L::infinity(), -L::infinity(), L::quiet_NaN(), L::denorm_min(),
                             L::max(),      L::lowest(),    L::epsilon(),   T(1) / T(3)};
    std::vector<T> ramp(values.size()), zeros(values.size(), T(0)), out(values.size());
    for (std::size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = T(i) * T(0.125) - T(1000);
    const bool gz = transform == 61 || transform == 110;
    SubblockWriter writer(one);
    gz ? writer.gzFloatSubblock(values) : writer.mqFloatSubblock(values);
    writer.floatRun(1);
    gz ? writer.gzFloatSubblock(ramp) : writer.mqFloatSubblock(ramp);
    Reader reader(SubblockReader::create(sizeof(T) == 4 ? 1027 : 2051, transform, "I", 12));
    Streams streams(writer, one);
    std::uint64_t pending = 0;
    for (const auto* expected : {&values, &zeros, &zeros, &ramp}) {
        pending = streams.load(*reader, out, pending);
        EXPECT_TRUE(sameBits(out, *expected)) << transform;
    }
}

// The integer planes of a subblock by the plain procedure, on the bit-serial MQ decoder and a
// raw bit reader (least significant bit first, zeros past the end, which sets exhausted).
std::vector<std::int64_t> plainIntegers(const Bytes& data, std::size_t n, int t, int l, int s,
                                        unsigned width, bool& exhausted) {
    std::vector<std::uint64_t> magnitude(n + 2);
    std::vector<unsigned> sign(n + 2);
    quarn_test::SerialMQDecoder mq;
    mq.init(data.data(), data.size());
    std::size_t rawByte = 0;
    unsigned rawBit = 8;
    exhausted = false;
    auto rawRead = [&]() -> unsigned {
        if (rawBit == 8) {
            rawBit = 0;
            if (rawByte++ >= data.size()) exhausted = true;
        }
        return rawByte <= data.size() ? (data[rawByte - 1] >> rawBit++) & 1 : 0;
    };
    for (int p = t; p >= l; --p) {
        if (p == s) rawByte = mq.bytesTakenIn(); // the raw planes start where the intake stopped
        const bool raw = p <= s;
        auto bit = [&](unsigned cx) { return raw ? rawRead() : mq.decode(cx); };
        auto state = [&](std::size_t j) -> unsigned {
            if ((magnitude[j] >> p >> 1) == 0) return 1;
            return sign[j] != 0 ? 0 : 2;
        };
        std::vector<unsigned> states(n + 2);
        for (std::size_t j = 0; j < n + 2; ++j)
            states[j] = j == 0 || j == n + 1 ? 1 : state(j);
        for (std::size_t i = 1; i <= n; ++i) {
            const unsigned left = states[i - 1], right = states[i + 1];
            if (states[i] != 1) {
                if (bit(18 + 3 * (sign[i] + 2 * left) + right))
                    magnitude[i] |= std::uint64_t(1) << p;
            } else if (bit(3 * left + right)) {
                sign[i] = bit(9 + 3 * left + right);
                magnitude[i] |= std::uint64_t(1) << p;
            }
        }
    }
    std::vector<std::int64_t> out;
    for (std::size_t i = 1; i <= n; ++i) {
        // The low width bits, two's complement.
        const std::uint64_t v = sign[i] != 0 ? 0 - magnitude[i] : magnitude[i];
        out.push_back(static_cast<std::int64_t>(v << (64 - width)) >> (64 - width));
    }
    return out;
}

// Calls f with a value of the signed sample type of a width.
template <class F> void withSigned(unsigned width, F&& f) {
    if (width == 16) return f(std::int16_t{});
    if (width == 32) return f(std::int32_t{});
    f(std::int64_t{});
}

} // namespace

TEST(MQInteger, EqualsThePlainProcedureOnRandomBytes) {
    // Any data bytes under any plane range, for 1, 2, 3 and random sample counts: the samples
    // of the plain procedure, or the error when its raw bits run past the data.
    std::mt19937 random(77);
    constexpr std::size_t size = 41;
    for (auto [datatype, width] : {std::pair{513u, 16u}, {1025u, 32u}, {2049u, 64u}}) {
        Reader reader(SubblockReader::create(datatype, 80, "Z", size));
        for (int round = 0; round < 400; ++round) {
            const std::size_t n = round < 3 ? round + 1 : 1 + random() % size;
            const int t = static_cast<int>(random() % width);
            const int l = static_cast<int>(random() % (t + 1));
            const int s = l - 1 + static_cast<int>(random() % (t - l + 2));
            const Bytes data =
                quarn_test::randomMQBytes(random, 1 + random() % (size * width / 16 * 3 / 2));
            SubblockWriter writer;
            writer.header(SubblockWriter::integerHeader(t, l, s), 2)
                .header(data.size(), 4)
                .data(data);
            Streams streams(writer);
            bool exhausted = false;
            const std::vector<std::int64_t> want =
                plainIntegers(data, n, t, l, s, width, exhausted);
            SCOPED_TRACE(testing::Message() << "width " << width << " round " << round);
            if (exhausted) {
                std::vector<std::int64_t> out(n);
                expectError([&] { streams.load(*reader, out); }, 40207,
                            "raw bits past the end of subblock data");
                continue;
            }
            std::vector<std::int64_t> got(n);
            withSigned(width, [&]<class T>(T) {
                std::vector<T> samples(n);
                streams.load(*reader, samples);
                got.assign(samples.begin(), samples.end());
            });
            ASSERT_EQ(got, want) << "planes " << t << " " << l << " " << s;
        }
    }
}

TEST(MQFloatingPoint, EqualsThePlainProcedureOnRandomBytes) {
    // Every bit of each pattern in the context of its position, least significant first.
    std::mt19937 random(78);
    for (unsigned width : {32u, 64u}) {
        Reader reader(SubblockReader::create(width == 32 ? 1027 : 2051, 21, "I", 23));
        for (int round = 0; round < 300; ++round) {
            const std::size_t n = round < 3 ? round + 1 : 1 + random() % 23;
            const Bytes data =
                quarn_test::randomMQBytes(random, 1 + random() % (23 * width / 8 * 3 / 2));
            SubblockWriter writer;
            writer.header(2048 + data.size(), 4).data(data);
            Streams streams(writer);
            quarn_test::SerialMQDecoder mq;
            mq.init(data.data(), data.size());
            std::vector<std::uint64_t> want(n), got(n);
            for (std::uint64_t& pattern : want)
                for (unsigned b = 0; b < width; ++b)
                    pattern |= std::uint64_t(mq.decode(b)) << b;
            if (width == 32) {
                std::vector<float> samples(n);
                streams.load(*reader, samples);
                for (std::size_t i = 0; i < n; ++i)
                    got[i] = std::bit_cast<std::uint32_t>(samples[i]);
            } else {
                std::vector<double> samples(n);
                streams.load(*reader, samples);
                for (std::size_t i = 0; i < n; ++i)
                    got[i] = std::bit_cast<std::uint64_t>(samples[i]);
            }
            ASSERT_EQ(got, want) << "round " << round;
        }
    }
}

TEST(MQInteger, RoundTripsEverySampleWidth) {
    integerRoundTrip<std::int16_t>(513, 1);
    integerRoundTrip<std::int32_t>(1025, 2);
    integerRoundTrip<std::int64_t>(2049, 3);
}

TEST(MQInteger, HeaderValuesGiveThePlaneRange) {
    // The packing's published corners, then every range of 16-bit samples and the corners of
    // wider ones through the reader.
    EXPECT_EQ(SubblockWriter::integerHeader(0, 0, -1), 2049);
    EXPECT_EQ(SubblockWriter::integerHeader(0, 0, 0), 2050);
    EXPECT_EQ(SubblockWriter::integerHeader(1, 0, -1), 2051);
    EXPECT_EQ(SubblockWriter::integerHeader(15, 15, 15), 3000);
    EXPECT_EQ(SubblockWriter::integerHeader(31, 31, 31), 8560);
    EXPECT_EQ(SubblockWriter::integerHeader(63, 63, 63), 49888);
    for (auto [datatype, tops] :
         {std::pair{513u, std::vector<int>{}}, {1025u, {0, 30, 31}}, {2049u, {0, 1, 62, 63}}}) {
        for (int t = 0; t < 16 && datatype == 513; ++t)
            tops.push_back(t);
        Reader reader(SubblockReader::create(datatype, 1, "Z", 3));
        for (int t : tops)
            for (int l = 0; l <= t; ++l)
                for (int s = l - 1; s <= t; ++s) {
                    const std::vector<std::int64_t> samples = {
                        static_cast<std::int64_t>(std::uint64_t(1) << t), 0,
                        static_cast<std::int64_t>(0 - (std::uint64_t(1) << l))};
                    SubblockWriter writer;
                    writer.integerSubblock(samples, {(datatype >> 8) * 8, t, l, s - l + 1});
                    Streams streams(writer);
                    std::vector<std::int64_t> got(3);
                    reader->loadSubblock(streams.headers, streams.data, got.data(), 3, 0);
                    ASSERT_EQ(reader->getTopPlane(), t);
                    ASSERT_EQ(reader->getLowestPlane(), l);
                    ASSERT_EQ(reader->getRawTopPlane(), s);
                    ASSERT_TRUE(datatype != 2049 || got == samples);
                }
    }
}

TEST(MQInteger, RawBitsPastTheDataFail) {
    // One data byte: the MQ start takes it in and the raw plane finds nothing left.
    SubblockWriter oneByte;
    oneByte.integerRun(2050).header(0, 1).header(1, 2).data({0xAB});
    // A raw plane whose last byte is cut (transform 80 keeps a single length).
    SubblockWriter whole;
    whole.integerSubblock({5, -3, 7, 1, -6, 2, 0, 4}, {16, -1, 0, 3, false});
    Bytes headers = whole.headers(), data = whole.dataBytes();
    headers.back() -= 1;
    data.pop_back();
    std::vector<std::int16_t> out(8);
    for (auto [transform, streams] : {std::pair{1u, std::make_shared<Streams>(oneByte)},
                                      std::pair{80u, std::make_shared<Streams>(headers, data)}}) {
        Reader reader(SubblockReader::create(513, transform, "Z", 8));
        // Copied into the lambda: clang 14 cannot capture a structured binding.
        expectError([&, streams = streams] { streams->load(*reader, out); }, 40207,
                    "raw bits past the end of subblock data");
    }
}

TEST(MQFloatingPoint, RoundTripsEveryBitPattern) {
    floatRoundTrip<float>(21, false);
    floatRoundTrip<double>(90, true);
}

TEST(GZFloatingPoint, RoundTripsEveryBitPattern) {
    floatRoundTrip<float>(110, true);
    floatRoundTrip<double>(61, false);
}

TEST(GZFloatingPoint, DataThatDoesNotEndWithTheSubblockFails) {
    for (std::size_t count : {4u, 6u}) {
        Reader reader(SubblockReader::create(2051, 61, "X", 8));
        Streams streams(SubblockWriter().gzFloatSubblock(std::vector<double>{1, 2, 3, 4, 5}));
        std::vector<double> out(count);
        expectError([&] { streams.load(*reader, out); }, 40230, "inflate(Z_NO_FLUSH): ");
    }
    Reader reader(SubblockReader::create(1027, 110, "X", 8));
    Streams streams(SubblockWriter().floatRun(2048 + 4).data({0xFF, 0xFF, 0x01, 0x02}));
    std::vector<float> out(8);
    expectError([&] { streams.load(*reader, out); }, 40230, "inflate(Z_NO_FLUSH): ");
}

TEST(SubblockReader, CreateChoosesTheFamilyOrRefuses) {
    for (auto [datatype, transform] : {std::pair{513u, 1u},
                                       {1025u, 80u},
                                       {2049u, 13u},
                                       {1027u, 21u},
                                       {2051u, 90u},
                                       {1027u, 110u},
                                       {2051u, 73u}})
        EXPECT_EQ(Reader(SubblockReader::create(datatype, transform, "X", 9))->getSampleWidth(),
                  datatype >> 8);
    expectError([] { Reader(SubblockReader::create(1027, 1, "X", 9)); }, 40007, "unkown datatype");
    expectError([] { Reader(SubblockReader::create(513, 61, "X", 9)); }, 40007, "unkown datatype");
    expectError([] { Reader(SubblockReader::create(513, 2, "X", 9)); }, 0xFFFFFFFFu,
                "bad transform type");
    // Sizes that would ask for nothing or for gigabytes are refused before any allocation.
    for (std::uint64_t size : {std::uint64_t(0), SubblockReader::MaxSubblockSize + 1,
                               std::uint64_t(0xFFFFFFFF), std::uint64_t(1) << 62})
        expectError([&] { Reader(SubblockReader::create(2049, 1, "X", size)); }, 40207,
                    "bad subblock size");
}

TEST(SubblockReader, RunsAndSkippingKeepTheirCount) {
    // Subblock 0 coded, a run of 5 (1 to 5), subblock 6 coded, 2048 empty ones, subblock 2055.
    const std::vector<float> a = {1, 2}, b = {5, 6}, c = {-1, -2}, zero = {0, 0};
    struct Case {
        std::uint64_t skip;
        std::vector<float> first;
        std::uint64_t pending;
    };
    for (bool one : {false, true}) {
        SubblockWriter writer(one);
        writer.mqFloatSubblock(a).floatRun(4).mqFloatSubblock(b).floatRun(2047).mqFloatSubblock(c);
        for (const Case& test : {Case{0, a, 0}, Case{2, zero, 3}, Case{5, zero, 0}, Case{6, b, 0},
                                 Case{7, zero, 2047}, Case{2055, c, 0}}) {
            Reader reader(SubblockReader::create(1027, 21, "X", 2));
            Streams streams(writer, one);
            std::vector<float> out(2, 99.0f);
            EXPECT_EQ(
                reader->skipSubblocks(streams.header(), streams.data, test.skip, out.data(), 2),
                test.pending);
            EXPECT_EQ(out, test.first) << test.skip;
        }
    }
}

TEST(SubblockReader, HostileLengthsAndHeadersFail) {
    auto load = [](std::uint32_t datatype, std::uint32_t transform, const SubblockWriter& writer,
                   std::uint64_t count = 16) {
        return [=, &writer] {
            Reader reader(SubblockReader::create(datatype, transform, "X", 16));
            Streams streams(writer);
            std::vector<double> out(count);
            std::uint64_t pending = 0;
            for (int k = 0; k < 4; ++k)
                pending = streams.load(*reader, out, pending);
        };
    };
    // Coded lengths of 0 bytes, and beyond the decoding buffer (1.5 x 16 x 4 bytes, or the
    // deflate bound).
    for (std::uint32_t transform : {21u, 61u})
        for (std::uint32_t v : {2048u, 2048u + 200u, 0xFFFFFFFFu})
            expectError(load(1027, transform, SubblockWriter().floatRun(v), 8), 40207,
                        "bad subblock data length");
    expectError(load(513, 80, SubblockWriter().integerRun(2049).header(0xFFFFFFFF, 4), 4), 40207,
                "bad subblock data length");
    expectError(load(513, 1, SubblockWriter().integerRun(2049).header(0, 3), 4), 40207,
                "bad subblock data length");
    // Header values with no plane range: 2048 and above the largest for the width.
    for (auto [datatype, v] :
         {std::pair{513u, 2048u}, {513u, 3001u}, {1025u, 8561u}, {2049u, 49889u}, {2049u, 65535u}})
        expectError(load(datatype, 1, SubblockWriter().integerRun(static_cast<std::uint16_t>(v))),
                    40207, "bad subblock header");
    // Cut headers and data, and more samples than a subblock holds.
    expectError(load(513, 1, SubblockWriter().header(8, 1)), 40207, "bad read -- subblock header");
    expectError(load(1027, 21, SubblockWriter().header(8, 3)), 40207,
                "bad read -- subblock header");
    expectError(load(513, 1, SubblockWriter().integerRun(2051).header(0, 1).header(2, 2)), 40207,
                "bad read -- plane layer header");
    expectError(load(513, 1, SubblockWriter().integerRun(2049).header(0, 1).header(2, 1)), 40207,
                "bad read -- plane length header");
    expectError(load(1027, 21, SubblockWriter().floatRun(2048 + 10).data({1, 2, 3}), 8), 40207,
                "bad read -- subblock data");
    expectError(load(1027, 21, SubblockWriter().floatRun(0), 17), 40207,
                "bad subblock sample count");
}

TEST(SubblockReader, DataBeyondItsWindowIsNotRead) {
    // The IO holds the data, but the data window ends 3 bytes short of it.
    SubblockWriter writer;
    writer.mqFloatSubblock(std::vector<float>{1, 2, 3});
    Streams streams(writer);
    BufferedIOReader window;
    const auto length = static_cast<std::int64_t>(writer.dataBytes().size()) - 3;
    window.attach(IO::Location(streams.dataIO.get(), 0, length), 16384);
    float out[3];
    Reader reader(SubblockReader::create(1027, 21, "X", 3));
    expectError([&] { reader->loadSubblock(streams.headers, window, out, 3, 0); }, 40207,
                "bad read -- subblock data");
    streams.headers.seek(0, BufferedIOReader::FromStart);
    window.seek(0, BufferedIOReader::FromStart);
    expectError([&] { reader->skipSubblocks(streams.headers, window, 1, out, 3); }, 40207,
                "bad read -- subblock data");
}

TEST(SubblockReader, DamagedStreamsEndInTheKernelError) {
    // Valid streams of every family with bytes changed or cut at random: each load decodes or
    // throws Korvel::Error; the sanitizers catch any access beyond the buffers.
    std::mt19937 random(2024);
    std::vector<std::int64_t> ints(24);
    std::vector<double> doubles(24);
    for (std::size_t i = 0; i < ints.size(); ++i)
        doubles[i] = 0.37 * (ints[i] = static_cast<std::int64_t>(random() % 1001) * 2 - 1000);
    const std::vector<float> floats(doubles.begin(), doubles.end());
    std::vector<double> out(24);
    for (auto [datatype, transform] : {std::pair{513u, 1u},
                                       {1025u, 80u},
                                       {2049u, 3u},
                                       {1027u, 21u},
                                       {2051u, 90u},
                                       {1027u, 61u},
                                       {2051u, 110u}}) {
        SubblockWriter writer;
        for (int k = 0; k < 3; ++k) {
            if (transform == 21) writer.mqFloatSubblock(floats);
            if (transform == 90) writer.mqFloatSubblock(doubles);
            if (transform == 61) writer.gzFloatSubblock(floats);
            if (transform == 110) writer.gzFloatSubblock(doubles);
            if (transform < 21 || transform == 80)
                writer.integerSubblock(ints,
                                       {(datatype >> 8) * 8, -1, k % 2, 2 * k, transform != 80});
        }
        for (int trial = 0; trial < 300; ++trial) {
            Bytes headers = writer.headers(), data = writer.dataBytes();
            Bytes& target = trial % 2 ? headers : data;
            for (int flips = 1 + trial % 4; flips > 0; --flips)
                target[random() % target.size()] ^= static_cast<std::uint8_t>(1 + random() % 255);
            if (trial % 5 == 0) target.resize(random() % target.size());
            Reader reader(SubblockReader::create(datatype, transform, "X", 24));
            Streams streams(headers, data);
            try {
                std::uint64_t pending =
                    reader->skipSubblocks(streams.headers, streams.data, trial % 2, out.data(), 24);
                for (int k = 0; k < 2; ++k)
                    pending = streams.load(*reader, out, pending);
            } catch (const Error& error) {
                EXPECT_TRUE(error.getCode() == 40207 || error.getCode() == 40230) << error.what();
            }
        }
    }
}
