// Whole LiDAR files of the test writer opened by the generation-4 point reader: what it reports,
// what it reads, and how it refuses broken and hostile files.

#include "QG4PointReader.h"
#include "LidarMemoryIO.h"
#include "LidarTestFiles.h"
#include "Metadata.h"
#include "PointInfo.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

using namespace Korvel;
using quarn_test::kernelError;
using quarn_test::LidarBodyWriter;
using quarn_test::LidarFileLayout;
using quarn_test::LidarFileWriter;
using quarn_test::LidarMemoryIO;
using quarn_test::LidarSparseBytes;
using quarn_test::ObjectRef;

namespace {

ObjectRef<QG4PointReader> open(IO* io) {
    ObjectRef<QG4PointReader> reader(QG4PointReader::create());
    reader->init(io);
    return reader;
}

ObjectRef<QG4PointReader> open(const LidarSparseBytes& image) {
    return open(LidarMemoryIO::makeSparse(image).get());
}

Error openError(const LidarSparseBytes& image) {
    return kernelError([&] { open(image); });
}

// Chunk positions in the sample's layout: 2, 3, 21 subbands, 5, 6, 7.
constexpr std::size_t Index = 1, FirstSubband = 2, Metadata5 = 23, Wkt = 24, ClassNames = 25;

} // namespace

TEST(QG4PointReader, ReportsCountChannelsBoundsAndTexts) {
    auto reader = open(quarn_test::sampleFile().write());
    EXPECT_EQ(reader->getNumPoints(), 1000);
    EXPECT_STREQ(reader->getVersionString(), "QG4 4.1.0.0");
    const PointInfo& info = reader->getPointInfo();
    ASSERT_EQ(info.getNumChannels(), 7u);
    // Name, the file's datatype, bits raised to the known minimum by exact name.
    const struct {
        const char* name;
        std::uint32_t datatype, bits;
    } channels[] = {{"X", 2051, 32},        {"Y", 2051, 32},       {"Z", 2051, 32},
                    {"Intensity", 512, 16}, {"GPSTime", 2051, 64}, {"Red", 512, 16},
                    {"red", 512, 7}};
    for (std::uint64_t c = 0; c < 7; ++c) {
        EXPECT_STREQ(info.getChannel(c).getName(), channels[c].name);
        EXPECT_EQ(info.getChannel(c).getDatatype(), channels[c].datatype) << channels[c].name;
        EXPECT_EQ(info.getChannel(c).getBits(), channels[c].bits) << channels[c].name;
    }
    EXPECT_TRUE(info.hasChannel("Red") && info.hasChannel("GPSTime") && !info.hasChannel("RED"));

    const double bounds[6] = {500, 600, -50, 50, 100, 120};
    for (int i = 0; i < 6; ++i)
        EXPECT_DOUBLE_EQ(reader->getBounds()[i], bounds[i]) << i;
    EXPECT_EQ(reader->getScale()[1], 0.01);
    EXPECT_EQ(reader->getOffset()[2], 100.0);
    EXPECT_STREQ(reader->getWKT(), "LOCAL_CS[\"test\"]");
    ASSERT_EQ(reader->getNumClassNames(), 2u);
    EXPECT_STREQ(reader->getClassNames()[1], "water");
    EXPECT_EQ(reader->getNumPointsInQuery(bounds, 1.0), 1000.0);
    // Its subband chunks are empty: decoding fails at the first subblock header.
    EXPECT_STREQ(kernelError([&] { reader->createIterator(bounds, 1.0, info, nullptr); }).what(),
                 "bad read -- subblock header");
    EXPECT_STREQ(kernelError([&] { reader->init(nullptr); }).what(), "reader already initialised");

    // 20 bits of intensity stay 20; a 4.0.0.1 file has no class names.
    auto file = quarn_test::sampleFile();
    file.version = {4, 0, 0, 1};
    file.header.channels[3].maximum = (1 << 20) - 1;
    auto older = open(file.write());
    EXPECT_EQ(older->getPointInfo().getChannel(3).getBits(), 20u);
    EXPECT_EQ(older->getNumClassNames(), 0u);
    EXPECT_EQ(older->getClassNames(), nullptr);
    EXPECT_STREQ(older->getVersionString(), "QG4 4.0.0.1");
    for (std::uint8_t fourth : {0, 2, 3}) {
        file.version = {4, 0, 0, fourth};
        const std::string text = "QG4 4.0.0." + std::to_string(fourth);
        EXPECT_STREQ(open(file.write())->getVersionString(), text.c_str());
    }
}

TEST(QG4PointReader, LoadsMetadataOnRequestReadingHeadersOnly) {
    // X, Y and Z in three levels over 100 MB of subband data that the IO does not hold.
    auto file = quarn_test::sampleFile();
    file.header.channels.resize(3);
    for (std::uint16_t c = 0; c < 3; ++c)
        for (std::uint16_t s = 0; s < 3; ++s)
            file.subbands.push_back({2, c, s, {1, 2, 3}, 100'000'000 / 9, {4, 5}, {}, {}});
    const LidarSparseBytes image = file.write();
    ASSERT_GT(image.size(), 100'000'000u);
    auto io = LidarMemoryIO::makeSparse(image);
    auto reader = open(io.get());
    Metadata metadata;
    reader->loadMetadata(metadata);
    EXPECT_LT(io->bytesRead, 64 * 1024);

    const void* value = nullptr;
    std::uint64_t count = 0;
    ASSERT_TRUE(metadata.get("PreCompressionPointCount", nullptr, nullptr, &value, &count));
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(static_cast<const double*>(value)[0], 1000000.0);

    // The count stored as a double, as text and as an 8-byte integer comes back as stored.
    const double half = 500000.0;
    const std::pair<std::uint16_t, std::string> forms[] = {
        {3, LidarBodyWriter::doubles({half})},
        {1, std::string("500000", 7)},
        {6, std::string("\0\0\0\0\0\x07\xa1\x20", 8)}};
    for (const auto& [type, bytes] : forms) {
        file.metadata = LidarBodyWriter()
                            .metadataHeader(1)
                            .metadataRecord("PreCompressionPointCount", "", type, bytes)
                            .bytes();
        Metadata stored;
        open(file.write())->loadMetadata(stored);
        std::uint16_t datatype = 0;
        ASSERT_TRUE(stored.get("PreCompressionPointCount", nullptr, &datatype, &value, &count));
        EXPECT_EQ(datatype, type);
        EXPECT_EQ(count, type == 3 ? 1u : bytes.size());
        EXPECT_EQ(std::memcmp(value, type == 3 ? static_cast<const void*>(&half) : bytes.data(),
                              type == 3 ? 8 : bytes.size()),
                  0);
    }

    // An empty metadata chunk adds nothing; a record count beyond the body is refused.
    file.metadata.clear();
    open(file.write())->loadMetadata(metadata);
    EXPECT_TRUE(metadata.has("Software"));
    file.metadata = LidarBodyWriter().metadataHeader(0xFFFFFFFF).bytes();
    EXPECT_STREQ(kernelError([&] { open(file.write())->loadMetadata(metadata); }).what(),
                 "bad read -- numRecords");
}

TEST(QG4PointReader, RefusesBrokenAndHostileFiles) {
    using Change = std::function<void(LidarFileWriter&, LidarFileLayout&)>;
    const auto body = [](std::size_t chunk, std::vector<std::uint8_t> bytes) -> Change {
        return [=](LidarFileWriter&, LidarFileLayout& l) { l.chunks[chunk].body = bytes; };
    };
    const auto length = [](std::size_t chunk, std::uint64_t value) -> Change {
        return [=](LidarFileWriter&, LidarFileLayout& l) { l.chunks[chunk].length = value; };
    };
    const auto version = [](std::array<std::uint8_t, 4> v) -> Change {
        return [=](LidarFileWriter&, LidarFileLayout& l) { l.version = v; };
    };
    constexpr std::uint64_t Huge = std::uint64_t{1} << 63;
    const struct {
        const char* what;
        Change change;
        const char* message;
        std::uint32_t code;
    } cases[] = {
        {"4.0.0.4", version({4, 0, 0, 4}), "unsupported version", 40211},
        {"4.1.0.1", version({4, 1, 0, 1}), "unsupported version", 40211},
        {"4.0.1.0", version({4, 0, 1, 0}), "unsupported version", 40211},
        {"4.2.0.0", version({4, 2, 0, 0}), "unsupported version", 40211},
        {"3.0.0.0", version({3, 0, 0, 0}), "not a LiDAR file", 40211},
        {"magic", [](auto&, auto& l) { l.magic = "qrnD"; }, "not a Quarn file", 40211},
        {"4.0.0.2 without class names",
         [](auto& f, auto& l) {
             f.version = {4, 0, 0, 1};
             l = f.layout();
             l.version = {4, 0, 0, 2};
         },
         "bad read -- chunk id", 40201},
        {"group beyond the stated length", [](auto&, auto& l) { l.fileLength = 100; },
         "chunk length error", 40209},
        {"group of 2^63", [](auto&, auto& l) { l.fileLength = ~0ull, l.groupLength = 1ull << 63; },
         "chunk length error", 40209},
        {"group id", [](auto&, auto& l) { l.groupId = 9; }, "unsupported group type", 40209},
        {"WKT before metadata",
         [](auto&, auto& l) { std::swap(l.chunks[Metadata5], l.chunks[Wkt]); }, "bad chunk order",
         40212},
        {"no index", [](auto&, auto& l) { l.chunks.erase(l.chunks.begin() + Index); },
         "bad chunk order", 40205},
        {"a subband missing", [](auto&, auto& l) { l.chunks.erase(l.chunks.begin() + 4); },
         "bad channel order", 40207},
        {"subbands swapped", [](auto&, auto& l) { std::swap(l.chunks[3], l.chunks[4]); },
         "bad subband order", 40207},
        {"subband version 4", body(FirstSubband, {4, 0, 0, 0, 0}), "unsupported subband version",
         40211},
        {"short subband lengths", body(FirstSubband, {2, 0, 0, 0, 0, 0, 0, 0}),
         "bad read -- subband lengths", 40207},
        {"subband sections beyond the body",
         body(FirstSubband,
              LidarFileWriter::subbandBody({3, 0, 0, {1}, 0, {}, 1ull << 63, 0}).flatten()),
         "subband chunk is the wrong size", 40207},
        {"subband of 2^63", length(FirstSubband + 4, Huge), "chunk length error", 40207},
        {"subband of 2^64 - 1", length(FirstSubband, ~0ull), "chunk length error", 40207},
        {"metadata beyond the group", length(Metadata5, 1ull << 40), "chunk length error", 40212},
        {"class names beyond the group", length(ClassNames, 27), "chunk length error", 40216},
        {"65536 levels",
         [](auto& f, auto& l) {
             f.header.numLevels = 65536;
             l.chunks[0].body = LidarFileWriter::waveletHeaderBody(f.header);
         },
         "chunk length error", 40207},
        {"no Z",
         [](auto& f, auto& l) {
             f.header.channels[2].name = "z";
             l.chunks[0].body = LidarFileWriter::waveletHeaderBody(f.header);
         },
         "could not find channel 'Z'", 0xFFFFFFFF},
        {"integer X",
         [](auto& f, auto& l) {
             f.header.channels[0].datatype = 1025;
             l.chunks[0].body = LidarFileWriter::waveletHeaderBody(f.header);
         },
         "must have x, y, and z channels", 40007},
        {"short wavelet header", body(0, {2, 0, 0, 0, 0}), "bad read -- wavelet header", 40203},
        {"wavelet header version 3", body(0, {3}), "unsupported header version", 40211},
        {"channel count beyond the body", body(0, {1, 0, 0, 0, 0, 0, 0, 0, 9, 0, 0, 0, 2}),
         "bad read -- channel info", 40203},
        {"2^63 points", body(0, {1, 128, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), "bad number of points",
         40203},
        {"cut channel record",
         [](auto&, auto& l) {
             std::vector<std::uint8_t> cut = l.chunks[0].body.flatten();
             cut.pop_back();
             l.chunks[0].body = cut;
         },
         "bad read -- channel info", 40203},
        {"index version 3", body(Index, {3, 0, 0, 0, 1}), "unsupported index version", 40211},
        {"short index", body(Index, {1, 0}), "bad read -- index header", 40205},
        {"short subband", body(FirstSubband, {1, 0, 0}), "bad read -- subband header", 40207},
        {"empty WKT", body(Wkt, {}), "bad read -- version", 40214},
        {"WKT version 2", body(Wkt, LidarFileWriter::wktBody("w", 2)), "unsupported wkt version",
         40211},
        {"WKT with a spare byte", body(Wkt, {1, 0, 0, 0, 2, 'w', 0, 0}),
         "wkt chunk is the wrong size", 40214},
        {"WKT string beyond its body", body(Wkt, {1, 0, 0, 1, 0, 'a'}), "bad read -- wkt data",
         40214},
        {"short class names", body(ClassNames, {1, 0, 0}), "bad read -- count", 40216},
        {"class names version 2", body(ClassNames, LidarFileWriter::classNamesBody({}, 2)),
         "unsupported class names version", 40211},
        {"class names with a spare byte", body(ClassNames, {1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0}),
         "class names chunk is the wrong size", 40216},
        {"4 G class names", body(ClassNames, LidarFileWriter::classNamesBody({"a"}, 1, ~0u)),
         "class names chunk is the wrong size", 40216},
    };
    for (const auto& c : cases) {
        auto file = quarn_test::sampleFile();
        LidarFileLayout layout = file.layout();
        c.change(file, layout);
        const Error error = openError(LidarFileWriter::writeLayout(layout));
        EXPECT_STREQ(error.what(), c.message) << c.what;
        EXPECT_EQ(error.getCode(), c.code) << c.what;
    }
}

TEST(QG4PointReader, EveryTruncationIsAnError) {
    auto file = quarn_test::sampleFile();
    for (std::uint16_t c = 0; c < 7; ++c)
        for (std::uint16_t s = 0; s < 3; ++s)
            file.subbands.push_back(
                {std::uint8_t(1 + (c + s) % 3), c, s, {5, 6, 7}, 0, {7}, {}, {}});
    const std::vector<std::uint8_t> bytes = file.write().flatten();
    open(LidarMemoryIO::make(bytes).get());
    const auto cutError = [&](std::size_t cut) {
        return openError(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + cut));
    };
    EXPECT_STREQ(cutError(7).what(), "bad read -- file header");
    EXPECT_STREQ(cutError(15).what(), "bad read -- file length");
    EXPECT_STREQ(cutError(19).what(), "bad read -- chunk id");
    EXPECT_STREQ(cutError(20).what(), "bad read -- chunk length");
    EXPECT_EQ(cutError(20).getCode(), 40201u);
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        auto io =
            LidarMemoryIO::make(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + cut));
        ObjectRef<QG4PointReader> reader(QG4PointReader::create());
        EXPECT_THROW(reader->init(io.get()), Error) << cut;
    }
}
