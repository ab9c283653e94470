// The decoder information of whole files of the test writer: channel records, subband windows,
// and the runs of points that query boxes select at each level.

#include "WaveletDecoderInfo.h"
#include "LidarMemoryIO.h"
#include "LidarTestFiles.h"
#include "QG4PointReader.h"
#include "RTree.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace Korvel;
using quarn_test::LidarBodyWriter;
using quarn_test::LidarFileWriter;
using quarn_test::ObjectRef;

namespace {

// X 0 ... 99, Y 0 ... 30, Z 0 ... 1, in three levels, the largest subblock subblockSize; ten
// index blocks, block b covering
// X 10b ... 10b + 9 and Y 0 ... 10 (blocks 0 and 2) or 20 ... 30 (the others).
ObjectRef<QG4PointReader> blocksFile(std::int64_t points, std::uint32_t blockSize,
                                     std::uint32_t subblockSize) {
    LidarFileWriter file = quarn_test::sampleFile();
    file.header.numPoints = points;
    file.header.channels = {{"X", 2051, 1, 1, 0, 99, 0, 1, {}},
                            {"Y", 2051, 1, subblockSize, 0, 30, 0, 1, {}},
                            {"Z", 2051, 1, 1, 0, 1, 0, 1, {}}};
    std::vector<quarn_test::LidarBox> boxes;
    for (int b = 0; b < 10; ++b)
        boxes.push_back({10.0 * b, 10.0 * b + 9, b == 0 || b == 2 ? 0.0 : 20.0,
                         b == 0 || b == 2 ? 10.0 : 30.0, 0, 1});
    file.index = LidarBodyWriter().indexHeader(1, blockSize).memoryTree(boxes).bytes();
    auto io = quarn_test::LidarMemoryIO::makeSparse(file.write());
    ObjectRef<QG4PointReader> reader(QG4PointReader::create());
    reader->init(io.get());
    return reader;
}

// The ranges as "start+count" texts.
std::string query(const QG4PointReader& reader, std::uint32_t level, std::array<double, 6> box) {
    BlockRange* ranges = nullptr;
    const std::uint64_t count = reader.getDecoderInfo()->queryBlocks(level, box.data(), ranges);
    std::string text;
    for (std::uint64_t i = 0; i < count; ++i) {
        if (i > 0) text += ' ';
        text += std::to_string(ranges[i].start);
        text += '+';
        text += std::to_string(ranges[i].count);
    }
    XFREE(ranges);
    return text;
}

} // namespace

TEST(WaveletDecoderInfo, KeepsChannelsSubbandsAndIndex) {
    // The sample with a stored (version 2) index of its four blocks and channel records whose
    // coded types are worked out by hand.
    auto file = quarn_test::sampleFile();
    std::vector<std::array<std::uint32_t, 6>> boxes;
    for (std::uint32_t b = 0; b < 4; ++b)
        boxes.push_back({500 + 25 * b, 525 + 25 * b, 0, 100, 100, 120});
    auto tree = quarn_test::LidarDiskTree::pack(boxes);
    tree.offset = {0.0, -50.0, 0.0};
    file.index = LidarBodyWriter().indexHeader(2, 250).diskTree(tree).bytes();
    constexpr std::int64_t Min = std::numeric_limits<std::int64_t>::min();
    constexpr std::int64_t Max = std::numeric_limits<std::int64_t>::max();
    auto& channels = file.header.channels;
    channels[4] = {"GPSTime", 2051, 21, 32, 0, 7, 5.0, 0.5, {}}; // no offset and scale stored
    channels[5] = {"Q", 2051, 1, 64, 0, 7, 5.0, 0.5, {}};
    channels[6] = {"ABCDEFGHIJKLMNOP", 2049, 1, 64, Min, Max, 0, 1, {}};
    channels.push_back({"M", 512, 3, 64, -100, 1000, 0, 1, {}});
    for (std::uint16_t c = 0; c < channels.size(); ++c)
        for (std::uint16_t s = 0; s < 3; ++s)
            file.subbands.push_back({static_cast<std::uint8_t>(1 + c % 3),
                                     c,
                                     s,
                                     std::vector<std::uint8_t>(c + 1u),
                                     0,
                                     {1, 2},
                                     {},
                                     {}});
    const std::vector<std::uint8_t> bytes = file.write().flatten();
    auto io = quarn_test::LidarMemoryIO::make(bytes);
    ObjectRef<QG4PointReader> reader(QG4PointReader::create());
    reader->init(io.get());
    const WaveletDecoderInfo& info = *reader->getDecoderInfo();
    EXPECT_EQ(info.getNumLevels(), 3u);
    EXPECT_EQ(info.getBlockSize(), 250);
    EXPECT_EQ(info.getMaxSubblockSize(), 128u);
    EXPECT_EQ(info.getIndex()->getNumEntries(), 4u);
    const double box[6] = {530, 540, 0, 1, 100, 120};
    EXPECT_EQ(reader->getNumPointsInQuery(box, 1.0), 250.0); // block 1 alone

    // Name, bits, coded type, offset, scale: 4095 takes 12 bits, + 0 for transform 10;
    // 1100 takes 11, + 6 for transform 3 gives 17; the extremes take 64.
    const struct {
        const char* name;
        std::uint32_t bits, coded;
        double offset, scale;
    } expected[] = {{"Intensity", 12, 513, 0, 1},
                    {"GPSTime", 64, 2051, 0, 1},
                    {"Q", 3, 513, 5, 0.5},
                    {"ABCDEFGHIJKLMNOP", 64, 2049, 0, 1},
                    {"M", 11, 1025, 0, 1}};
    for (const auto& e : expected) {
        const KernelChannelInfo& c = info.getChannel(e.name).info;
        EXPECT_TRUE(c.getBits() == e.bits && c.getCodedType() == e.coded &&
                    c.getOffset() == e.offset && c.getScale() == e.scale)
            << e.name;
    }
    EXPECT_EQ(info.getChannel(6).info.getMinimum(), Min);

    // Channel 5 (version 3), subband 2: 6 data bytes, then the headers 1 and 2. Channel 3
    // (version 1): everything after the 5-byte header is data.
    const SubbandLocation& location = info.getChannel(5).subbands[2];
    ASSERT_EQ(location.data.getLength(), 6);
    ASSERT_EQ(location.headers.getLength(), 2);
    EXPECT_EQ(location.headers.getIO(), io.get());
    EXPECT_EQ(bytes[location.data.getOffset() - 21], 3); // the subband version
    EXPECT_EQ(bytes[location.data.getOffset() - 17], 2); // the subband index
    EXPECT_EQ(location.headers.getOffset(), location.data.getOffset() + 6);
    const SubbandLocation& first = info.getChannel(3).subbands[1];
    EXPECT_EQ(first.headers.getIO(), nullptr);
    EXPECT_EQ(first.data.getLength(), 4);
    EXPECT_EQ(bytes[first.data.getOffset() - 5], 1);

    const Error error = quarn_test::kernelError([&] { info.getChannel("x"); });
    EXPECT_STREQ(error.what(), "could not find channel 'x'");
    EXPECT_STREQ(error.getFunction(), "Korvel::WaveletDecoderInfo::getChannel");
    EXPECT_STREQ(error.getFile(), "WaveletDecoder");
}

TEST(WaveletDecoderInfo, QueryBlocksSelectsAndMergesRuns) {
    const std::array<double, 6> all{-1, 200, -1, 40, -1, 2};
    auto reader = blocksFile(100, 10, 10);
    // The level of a fraction: floor(-log2 f), at most levels - 1, 0 when it cannot be computed.
    const std::pair<double, std::uint32_t> levels[] = {{1.0, 0},  {0.5, 1},  {0.3, 1},
                                                       {0.25, 2}, {0.01, 2}, {2.0, 0},
                                                       {0.0, 0},  {-1.0, 0}, {NAN, 0}};
    for (auto [fraction, level] : levels)
        EXPECT_EQ(reader->getDecoderInfo()->getLevel(fraction), level) << fraction;
    EXPECT_EQ(query(*reader, 0, all), "0+100"); // without the index
    EXPECT_EQ(query(*reader, 2, all), "0+25");
    // Touching block 1 on its face only; its run halved at level 1.
    EXPECT_EQ(query(*reader, 0, {19, 19.5, 0, 30, 0, 1}), "10+10");
    EXPECT_EQ(query(*reader, 1, {19, 19.5, 0, 30, 0, 1}), "5+5");
    EXPECT_EQ(query(*reader, 0, {200, 300, 0, 30, 0, 1}), "");
    EXPECT_EQ(reader->getNumPointsInQuery(std::array<double, 6>{200, 300, 0, 30, 0, 1}.data(), 1),
              0.0);
    // Blocks 0 and 2, 10 points apart: merged with subblocks of 10, apart with 9.
    EXPECT_EQ(query(*reader, 0, {0, 99, 0, 5, 0, 1}), "0+30");
    EXPECT_EQ(query(*blocksFile(100, 10, 9), 0, {0, 99, 0, 5, 0, 1}), "0+10 20+10");
    EXPECT_EQ(blocksFile(100, 10, 9)
                  ->getNumPointsInQuery(std::array<double, 6>{0, 99, 0, 5, 0, 1}.data(), 0.5),
              15.0); // 0+5 and 10+5 merge at level 1

    // Blocks 1 and 2 of 5 points: 5+10, then 3+5 and 2+2.
    auto small = blocksFile(50, 5, 4);
    EXPECT_EQ(query(*small, 0, {10, 29, 0, 30, 0, 1}), "5+10");
    EXPECT_EQ(query(*small, 1, {10, 29, 0, 30, 0, 1}), "3+5");
    EXPECT_EQ(query(*small, 2, {10, 29, 0, 30, 0, 1}), "2+2");
    EXPECT_EQ(small->getNumPointsInQuery(std::array<double, 6>{10, 29, 0, 30, 0, 1}.data(), 0.25),
              2.0);

    // Blocks that start past the last point hold none of them.
    auto few = blocksFile(25, 10, 1);
    EXPECT_EQ(query(*few, 0, {20, 99, 0, 30, 0, 1}), "20+5");
    EXPECT_EQ(query(*few, 0, {30, 99, 0, 30, 0, 1}), "");
}
