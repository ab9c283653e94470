// Whole LiDAR files written from known point clouds (integer and floating-point channels, MQ and
// deflate coding, one and several levels, several index blocks) decoded through the point
// reader's iterators: every point back, exactly the points of a box, the thinning of fractions,
// progress and cancellation, and hostile sizes that must end in the kernel's error.

#include "WaveletDecoder.h"
#include "Error.h"
#include "LidarBodyWriter.h"
#include "LidarMemoryIO.h"
#include "LidarPointCloudWriter.h"
#include "LidarTestFiles.h"
#include "PointData.h"
#include "PointInfo.h"
#include "ProgressDelegate.h"
#include "QG4PointReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

using namespace Korvel;
using namespace quarn_test;

namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();
const double Everything[6] = {-Inf, Inf, -Inf, Inf, -Inf, Inf};

using Family = LidarCloudFamily;

struct File {
    explicit File(const LidarFileWriter& writer)
        : io(LidarMemoryIO::makeSparse(writer.write())), reader(QG4PointReader::create()) {
        reader->init(io.get());
    }
    ObjectRef<LidarMemoryIO> io;
    ObjectRef<QG4PointReader> reader;
};

double valueAt(const ChannelData& channel, std::uint64_t i) {
    const void* data = channel.getData();
    switch (channel.getDatatype()) {
    case 256:
        return static_cast<const std::uint8_t*>(data)[i];
    case 512:
        return static_cast<const std::uint16_t*>(data)[i];
    case 1027:
        return static_cast<const float*>(data)[i];
    default:
        return static_cast<const double*>(data)[i];
    }
}

using Points = std::vector<std::vector<double>>; // per channel

// Every point that an iterator hands out, through outputs of the given capacity.
Points iterate(QG4PointReader& reader, const double* box, double fraction, std::uint64_t capacity,
               const PointInfo* info = nullptr, ProgressDelegate* delegate = nullptr) {
    const PointInfo& channels = info != nullptr ? *info : reader.getPointInfo();
    ObjectRef<PointIterator> iterator(reader.createIterator(box, fraction, channels, delegate));
    PointData out;
    out.init(channels, capacity);
    Points points(channels.getNumChannels());
    for (std::uint64_t n; (n = iterator->getNextPoints(out)) > 0;) {
        EXPECT_LE(n, capacity);
        for (std::uint64_t c = 0; c < points.size(); ++c)
            for (std::uint64_t i = 0; i < n; ++i)
                points[c].push_back(valueAt(out.getChannel(c), i));
    }
    return points;
}

// What the decoder must give at the level: each channel's level signal, kept where X, Y and Z
// lie in the box (every face inclusive) and the thinning by fraction accepts the point.
Points expected(const LidarPointCloud& cloud, std::uint32_t level, const double* box,
                double fraction) {
    Points all;
    for (const LidarCloudChannel& channel : cloud.channels)
        all.push_back(cloud.decoded(channel, level));
    Points kept(all.size());
    double accumulator = 1.0 - fraction;
    const double limit = 1.0 - fraction / 2;
    for (std::size_t i = 0; i < all[0].size(); ++i) {
        bool inside = true;
        for (int axis = 0; axis < 3; ++axis)
            inside = inside && all[axis][i] >= box[2 * axis] && all[axis][i] <= box[2 * axis + 1];
        if (!inside) continue;
        accumulator += fraction;
        if (accumulator <= limit) continue;
        accumulator -= 1.0;
        for (std::size_t c = 0; c < all.size(); ++c)
            kept[c].push_back(all[c][i]);
    }
    return kept;
}

} // namespace

TEST(WaveletDecoder, DecodesWholeFilesOfEveryFamily) {
    struct Layout {
        std::uint32_t levels;
        std::uint8_t subbandVersion, indexVersion;
        std::size_t points;
    };
    for (Family family : {Family::MQInteger, Family::MQFloat, Family::GZFloat}) {
        for (const Layout& layout :
             {Layout{1, 2, 1, 700}, Layout{3, 1, 2, 1501}, Layout{5, 2, 1, 1000}}) {
            LidarPointCloud cloud =
                surveyCloud(family, layout.points, layout.levels, layout.points);
            cloud.blockSize = 250;
            cloud.subbandVersion = layout.subbandVersion;
            cloud.indexVersion = layout.indexVersion;
            File file(cloud.file());
            const Points points = iterate(*file.reader, Everything, 1.0, 1000);
            SCOPED_TRACE(testing::Message()
                         << "family " << int(family) << " levels " << layout.levels);
            ASSERT_EQ(points[0].size(), layout.points);
            for (std::size_t c = 0; c < cloud.channels.size(); ++c) {
                const LidarCloudChannel& channel = cloud.channels[c];
                EXPECT_EQ(points[c], cloud.decoded(channel)) << channel.name;
                // Integer channels and those without lifting give back the very values written.
                std::vector<double> written = channel.values;
                for (std::int64_t v : channel.integers)
                    written.push_back((channel.datatype & 2)
                                          ? static_cast<double>(v) * channel.scale + channel.offset
                                          : static_cast<double>(v));
                if (!channel.integers.empty() || channel.transform % 10 == 0) {
                    EXPECT_EQ(points[c], written) << channel.name;
                }
            }
        }
    }

    // Channels in another order than the file's, and only some of them.
    LidarPointCloud cloud = surveyCloud(Family::MQInteger, 600, 3, 5);
    File file(cloud.file());
    PointInfo info;
    info.init(4);
    info.getChannel(0).set("ClassId", 256, 0);
    info.getChannel(1).set("Z", 2051, 0);
    info.getChannel(2).set("X", 2051, 0);
    info.getChannel(3).set("Y", 2051, 0);
    const Points points = iterate(*file.reader, Everything, 1.0, 256, &info);
    for (auto [c, source] : {std::pair{0, 4}, {1, 2}, {2, 0}, {3, 1}})
        EXPECT_EQ(points[c], cloud.decoded(cloud.channels[source]));
}

TEST(WaveletDecoder, BoxQueriesKeepExactlyThePointsInside) {
    std::mt19937_64 rng(3);
    for (Family family : {Family::MQInteger, Family::GZFloat}) {
        for (std::uint8_t indexVersion : {1, 2}) {
            LidarPointCloud cloud = surveyCloud(family, 2000, 3, 17);
            cloud.blockSize = 100;
            cloud.indexVersion = indexVersion;
            File file(cloud.file());
            const std::vector<double> xs = cloud.decoded(cloud.channels[0]);
            const std::vector<double> ys = cloud.decoded(cloud.channels[1]);
            const std::vector<double> zs = cloud.decoded(cloud.channels[2]);
            for (int round = 0; round < 6; ++round) {
                // Point a lies on a face of every axis, so the faces must count as inside.
                const std::size_t a = rng() % 2000, b = rng() % 2000, c = rng() % 2000;
                const double box[6] = {std::min(xs[a], xs[b]), std::max(xs[a], xs[b]),
                                       std::min(ys[a], ys[c]), std::max(ys[a], ys[c]),
                                       std::min(zs[a], zs[b]), std::max(zs[a], zs[b])};
                const Points want = expected(cloud, 0, box, 1.0);
                ASSERT_FALSE(want[0].empty());
                // Small outputs continue where the previous call stopped.
                const std::uint64_t capacity = round % 2 == 0 ? 7 : 4096;
                EXPECT_EQ(iterate(*file.reader, box, 1.0, capacity), want) << "round " << round;
            }
            // A box beside every block gives nothing.
            const double beside[6] = {0, 1, -Inf, Inf, -Inf, Inf};
            EXPECT_TRUE(iterate(*file.reader, beside, 1.0, 64)[0].empty());
        }
    }
}

TEST(WaveletDecoder, FractionsDecodeCoarserLevelsAndThin) {
    // X, Y and Z without lifting: the level-l signal is every 2^l-th point as written.
    for (std::uint32_t levels : {2u, 3u}) {
        LidarPointCloud cloud = surveyCloud(Family::MQInteger, 1001, levels, 9);
        for (int c = 0; c < 3; ++c)
            cloud.channels[c].transform = 10;
        cloud.blockSize = 100;
        File file(cloud.file());
        const double box[6] = {1500 * 0.01 + 500, 2500 * 0.01 + 500, -Inf, Inf, -Inf, Inf};
        struct Case {
            double fraction;
            std::uint32_t level;
            double remaining;
        };
        const std::vector<Case> cases =
            levels == 3
                ? std::vector<Case>{{1.0, 0, 1.0}, {0.5, 1, 1.0}, {0.3, 1, 0.6},  {0.25, 2, 1.0},
                                    {0.2, 2, 0.8}, {4.0, 0, 4.0}, {0.01, 2, 0.04}}
                : std::vector<Case>{{0.25, 1, 0.5}, {0.75, 0, 0.75}};
        for (const Case& c : cases) {
            ObjectRef<PointIterator> iterator(
                file.reader->createIterator(box, c.fraction, file.reader->getPointInfo(), nullptr));
            auto* decoder = dynamic_cast<WaveletDecoder*>(iterator.get());
            ASSERT_NE(decoder, nullptr);
            EXPECT_EQ(decoder->getNumLevelsUsed(), levels - c.level);
            EXPECT_DOUBLE_EQ(decoder->getFraction(), c.remaining);
            const Points got = iterate(*file.reader, box, c.fraction, 33);
            EXPECT_EQ(got, expected(cloud, c.level, box, c.remaining)) << "fraction " << c.fraction;
            if (c.level == 1 && c.remaining == 1.0) {
                // Every other point as written, those inside the box.
                std::vector<double> evens;
                for (std::size_t i = 0; i < 1001; i += 2) {
                    const double x =
                        static_cast<double>(cloud.channels[0].integers[i]) * 0.01 + 500;
                    if (x >= box[0] && x <= box[1]) evens.push_back(x);
                }
                EXPECT_EQ(got[0], evens);
            }
        }
    }

    // 2^35 does not fit 32 bits, yet f = 2^-35 at level 35 leaves f' = 1; the bands of the
    // coarsest stages hold one sample or none.
    LidarPointCloud deep = surveyCloud(Family::MQInteger, 100, 40, 1);
    File file(deep.file());
    const double tiny = std::ldexp(1.0, -35);
    ObjectRef<PointIterator> iterator(
        file.reader->createIterator(Everything, tiny, file.reader->getPointInfo(), nullptr));
    EXPECT_EQ(iterator->getFraction(), 1.0);
    EXPECT_EQ(iterate(*file.reader, Everything, tiny, 8), expected(deep, 35, Everything, 1.0));
}

TEST(WaveletDecoder, ReportsProgressAndStopsWhenCancelled) {
    struct Delegate : ProgressDelegate {
        void reportProgress(double fraction) override { reports.push_back(fraction); }
        bool isCancelled() override { return cancel; }
        std::vector<double> reports;
        bool cancel = false;
    };
    LidarPointCloud cloud = surveyCloud(Family::GZFloat, 1000, 2, 4);
    File file(cloud.file());
    Delegate whole;
    EXPECT_EQ(iterate(*file.reader, Everything, 1.0, 300, nullptr, &whole)[0].size(), 1000u);
    EXPECT_EQ(whole.getTotal(), 1000.0);
    EXPECT_EQ(whole.getDone(), 1000.0);
    ASSERT_EQ(whole.reports.size(), 10u); // blocks of the largest subblock size, 100 points
    EXPECT_EQ(whole.reports.back(), 1.0);

    Delegate cancelled;
    cancelled.cancel = true;
    const Error error =
        kernelError([&] { iterate(*file.reader, Everything, 1.0, 300, nullptr, &cancelled); });
    EXPECT_EQ(error.getCode(), 40006u);
    EXPECT_STREQ(error.what(), "operation cancelled.");
    EXPECT_STREQ(error.getFunction(), "Korvel::WaveletDecoder::getNextPoints");
    EXPECT_EQ(cancelled.getDone(), 100.0);
}

TEST(WaveletDecoder, EmptyRangesAndBlocksBeyondThePointsEndTheIteration) {
    // Blocks of one point: a box around point 101 alone selects {101, 1}, which at level 1
    // becomes {51, 0} and decodes nothing.
    LidarPointCloud cloud = surveyCloud(Family::MQInteger, 200, 3, 2);
    cloud.blockSize = 1;
    File file(cloud.file());
    const double x = cloud.decoded(cloud.channels[0])[101];
    const double point[6] = {x, x, -Inf, Inf, -Inf, Inf};
    EXPECT_EQ(iterate(*file.reader, point, 1.0, 16)[0], std::vector<double>{x});
    EXPECT_TRUE(iterate(*file.reader, point, 0.5, 16)[0].empty());

    // An index with blocks past the last point: they select nothing; the others still decode.
    LidarPointCloud four = surveyCloud(Family::MQInteger, 1000, 2, 6);
    LidarFileWriter writer = four.file();
    std::vector<LidarBox> boxes;
    for (int b = 0; b < 8; ++b)
        boxes.push_back({510.0 + 7.5 * b, 517.5 + 7.5 * b, -Inf, Inf, -Inf, Inf});
    writer.index = LidarBodyWriter().indexHeader(1, 250).memoryTree(boxes).bytes();
    File beyond(writer);
    const double far[6] = {550, 600, -Inf, Inf, -Inf, Inf},
                 part[6] = {530, 600, -Inf, Inf, -Inf, Inf};
    EXPECT_TRUE(iterate(*beyond.reader, far, 1.0, 64)[0].empty());
    EXPECT_EQ(iterate(*beyond.reader, part, 1.0, 64), expected(four, 0, part, 1.0));
}

TEST(WaveletDecoder, HostileSizesEndInTheKernelsError) {
    auto createError = [](const LidarFileWriter& writer) {
        File file(writer);
        return kernelError([&] {
            ObjectRef<PointIterator> iterator(
                file.reader->createIterator(Everything, 1.0, file.reader->getPointInfo(), nullptr));
            PointData out;
            out.init(file.reader->getPointInfo(), 100);
            while (iterator->getNextPoints(out) > 0) {
            }
        });
    };
    LidarFileWriter header;
    header.header.numPoints = 1000;
    header.header.channels = {{"X", 2051, 1, 64, 0, 10, 0.0, 1.0, {}},
                              {"Y", 2051, 1, 64, 0, 10, 0.0, 1.0, {}},
                              {"Z", 2051, 1, 64, 0, 10, 0.0, 1.0, {}}};

    LidarFileWriter huge = header; // a subblock of 2^32 - 1 samples
    huge.header.channels[1].subblockSize = 0xFFFFFFFFu;
    Error error = createError(huge);
    EXPECT_EQ(error.getCode(), 40207u);
    EXPECT_STREQ(error.what(), "bad subblock size 4294967295");

    LidarFileWriter narrow = header; // four-tap stages over windows of 4
    narrow.header.numLevels = 2;
    for (auto& channel : narrow.header.channels) {
        channel.transform = 3;
        channel.subblockSize = 4;
    }
    EXPECT_STREQ(createError(narrow).what(), "bad window size 4");

    LidarFileWriter deep = header; // 65 levels
    deep.header.numLevels = 65;
    error = createError(deep);
    EXPECT_EQ(error.getCode(), 40203u);

    LidarFileWriter wide = header; // 2^40 points over 40 levels and windows of 2^20 samples
    wide.header.numPoints = std::uint64_t{1} << 40;
    wide.header.numLevels = 40;
    wide.header.channels[0].subblockSize = 1u << 20;
    for (auto& channel : wide.header.channels) { // 64-bit samples
        channel.minimum = -(std::int64_t{1} << 40);
        channel.maximum = std::int64_t{1} << 40;
    }
    error = createError(wide);
    EXPECT_EQ(error.getCode(), 40207u);
    EXPECT_STREQ(error.what(), "decoder buffers too large");

    // More points than the subbands hold: the subblocks no longer fit their samples.
    LidarPointCloud cloud = surveyCloud(Family::MQInteger, 300, 2, 8);
    LidarFileWriter longer = cloud.file();
    longer.header.numPoints = 100000;
    error = createError(longer);
    EXPECT_EQ(error.getCode(), 40207u);
}

namespace {

// Calls f with a value of the sample type of a datatype code.
template <class F> void withSampleType(std::uint32_t datatype, F&& f) {
    switch (datatype) {
    case 256:
        return f(std::uint8_t{});
    case 257:
        return f(std::int8_t{});
    case 512:
        return f(std::uint16_t{});
    case 513:
        return f(std::int16_t{});
    case 1024:
        return f(std::uint32_t{});
    case 1025:
        return f(std::int32_t{});
    case 2048:
        return f(std::uint64_t{});
    case 2049:
        return f(std::int64_t{});
    case 1027:
        return f(float{});
    default:
        return f(double{});
    }
}

} // namespace

TEST(WaveletDecoder, AChannelAskedForInAnotherTypeConvertsByItsStoredType) {
    // A probe channel of every stored datatype coded as integers (transform 1; floating-point
    // ones with a scale and offset), and floating-point ones coded as they are (MQ and deflate),
    // each asked for in every datatype. The conversion is chosen by the stored type against the
    // coded one: of one kind, plain casts of the coded samples, and a caller asking for the other
    // kind gets "isFloat(dst) != isFloat(src)"; a floating-point channel coded as integers gives
    // integer * scale + offset, and asked for as integers "isFloat(dst) == isFloat(src)".
    const std::uint32_t types[] = {256, 257, 512, 513, 1024, 1025, 2048, 2049, 1027, 2051};
    struct Probe {
        std::uint16_t stored;
        std::uint8_t transform;
    };
    std::vector<Probe> probes;
    for (std::uint32_t stored : types)
        probes.push_back({static_cast<std::uint16_t>(stored), 1});
    probes.push_back({1027, 21});
    probes.push_back({2051, 61});

    constexpr std::size_t n = 60;
    LidarPointCloud cloud = surveyCloud(Family::MQInteger, n, 2, 3);
    cloud.channels.resize(3);
    std::mt19937_64 rng(8);
    for (const Probe& probe : probes) {
        LidarCloudChannel channel;
        channel.name = "P" + std::to_string(cloud.channels.size());
        channel.datatype = probe.stored;
        channel.transform = probe.transform;
        channel.subblockSize = 16;
        const bool isSigned = (probe.stored & 1) != 0, isFloat = (probe.stored & 2) != 0;
        // Values across the stored type's range (up to 40 bits), both signs where signed.
        const int bits = isFloat ? 21 : std::min(8 * (probe.stored >> 8), 40);
        for (std::size_t i = 0; i < n; ++i) {
            const auto v = static_cast<std::int64_t>(rng() >> (64 - bits));
            const std::int64_t value = isSigned ? v - (std::int64_t{1} << (bits - 1)) : v;
            if (probe.transform == 1)
                channel.integers.push_back(value);
            else
                channel.values.push_back(static_cast<float>(value) * 0.375f);
        }
        channel.scale = isFloat && probe.transform == 1 ? 0.25 : 1.0;
        channel.offset = isFloat && probe.transform == 1 ? -10.0 : 0.0;
        cloud.channels.push_back(channel);
    }
    File file(cloud.file());

    for (std::size_t p = 3; p < cloud.channels.size(); ++p) {
        const LidarCloudChannel& channel = cloud.channels[p];
        const bool codedFloat = channel.transform != 1;
        const bool storedFloat = (channel.datatype & 2) != 0;
        const std::vector<double> codedValues =
            codedFloat ? cloud.decoded(channel) : std::vector<double>{};
        for (std::uint32_t asked : types) {
            SCOPED_TRACE(testing::Message() << "stored " << channel.datatype << " transform "
                                            << int(channel.transform) << " asked " << asked);
            PointInfo info;
            info.init(4);
            for (int c = 0; c < 3; ++c)
                info.getChannel(c).set(cloud.channels[c].name.c_str(), 2051, 0);
            info.getChannel(3).set(channel.name.c_str(), asked, 0);
            ObjectRef<PointIterator> iterator(
                file.reader->createIterator(Everything, 1.0, info, nullptr));
            PointData out;
            out.init(info, 2 * n);
            const bool askedFloat = (asked & 2) != 0;
            const bool sameKind = storedFloat == codedFloat;
            if (askedFloat != (sameKind ? codedFloat : true)) {
                const Error error = kernelError([&] { iterator->getNextPoints(out); });
                EXPECT_EQ(error.getCode(), 40007u);
                EXPECT_STREQ(error.getFile(), "PointData");
                EXPECT_STREQ(error.what(), sameKind ? "isFloat(dst) != isFloat(src)"
                                                    : "isFloat(dst) == isFloat(src)");
                continue;
            }
            ASSERT_EQ(iterator->getNextPoints(out), n);
            withSampleType(asked, [&]<class A>(A) {
                const A* got = static_cast<const A*>(out.getChannel(3).getData());
                for (std::size_t i = 0; i < n; ++i) {
                    A want;
                    if (codedFloat)
                        want = static_cast<A>(codedValues[i]);
                    else if (storedFloat)
                        want = static_cast<A>(static_cast<double>(channel.integers[i]) *
                                                  channel.scale +
                                              channel.offset);
                    else
                        want = static_cast<A>(channel.integers[i]);
                    ASSERT_EQ(got[i], want) << "point " << i;
                }
            });
        }
    }
}
