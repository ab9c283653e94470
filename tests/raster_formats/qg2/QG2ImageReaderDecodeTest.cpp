// Generation-2 images read through their reader: scenes at several magnifications and places,
// the stored region with its level offset, the dither the metadata switches off, and the bytes
// that opening and decoding read.

#include "QG2Harness.h"
#include "QG2ImageReader.h"
#include "support/KVBigEndian.h"
#include "support/KVIRef.h"

#include <gtest/gtest.h>

#include <numeric>

namespace Korvel {
namespace {

using namespace qg2test;

QG2ImageSpec spec(bool noDither, std::optional<std::array<std::uint32_t, 5>> region = {}) {
    QG2ImageSpec s;
    s.levels = 2;
    for (std::uint32_t b = 0; b < 3; ++b) {
        QG2Plane p{45, 38, {}};
        for (std::uint32_t y = 0; y < 38; ++y)
            for (std::uint32_t x = 0; x < 45; ++x)
                p.samples.push_back(b == 0 ? 30.0 + 4.0 * x + 2.5 * y + (x * y % 7) * 3.0
                                           : 20.0 * std::sin(0.2 * x + b) - 0.5 * y);
        s.bands.push_back(std::move(p));
    }
    s.steps = {0.5f, 1.0f, 1.0f};
    s.blockWidth = 8;
    s.blockHeight = 6;
    s.regionsAcross = 2;
    s.noDither = noDither;
    s.region = region;
    return s;
}

struct Reader {
    explicit Reader(const std::vector<std::uint8_t>& bytes) : stream(bytes, false) {
        EXPECT_EQ(reader->initialize(&stream, nullptr, 1, 3), KV_OK);
        reader->setStripHeight(7);
    }
    // The scene read into a buffer of its size, band by band.
    std::vector<std::vector<float>> read(const KVIScene& scene) {
        const auto w = static_cast<std::uint32_t>(scene.getNumCols());
        const auto h = static_cast<std::uint32_t>(scene.getNumRows());
        KVISceneBuffer buffer(reader->getPixelProps(), w, h);
        EXPECT_EQ(reader->read(scene, buffer), KV_OK);
        std::vector<std::vector<float>> bands(3);
        for (std::uint16_t b = 0; b < 3; ++b)
            for (std::uint32_t i = 0; i < w * h; ++i)
                bands[b].push_back(buffer.getWindowBandData(b)[i]);
        return bands;
    }
    quarn_test::VectorStream stream;
    KVIRef<QG2ImageReader> reader{QG2ImageReader::create()};
};

// The decoder's pixels of a rectangle, as bands.
std::vector<std::vector<float>> decoded(const QG2Image& image, const KVIRect& rect,
                                        std::int32_t level, bool dither) {
    DecodeOptions o;
    o.dither = dither;
    return decode(image.file.bytes, rect, level, o).bands;
}

TEST(QG2ImageReaderDecode, ScenesAtEachMagnificationAreTheDecodersRectangles) {
    const QG2Image image = quarn_test::writeQG2Image(spec(true));
    Reader r(image.file.bytes);
    ASSERT_FALSE(r.reader->getDither());
    EXPECT_EQ(r.read(KVIScene(0, 0, 45, 38, 1.0)), decoded(image, {0, 0, 44, 37}, 0, false));
    EXPECT_EQ(r.read(KVIScene(5, 3, 20, 11, 1.0)), decoded(image, {5, 3, 24, 13}, 0, false));
    EXPECT_EQ(r.read(KVIScene(0, 0, 23, 19, 0.5)), decoded(image, {0, 0, 22, 18}, 1, false));
    EXPECT_EQ(r.read(KVIScene(2, 1, 10, 9, 0.25)), decoded(image, {2, 1, 11, 9}, 2, false));
    EXPECT_EQ(r.read(KVIScene(10, 4, 60, 50, 2.0)), decoded(image, {10, 4, 69, 53}, -1, false));
    // And what the decoder gives is the picture: its first pixel within the quantisation.
    const std::vector<std::vector<float>> full = r.read(KVIScene(0, 0, 45, 38, 1.0));
    const std::vector<QG2Plane> planes = referencePlanes(spec(true), image, 0, false);
    EXPECT_NEAR(full[0][0], referencePixel(planes, 0, 0, KVI_DATATYPE_UINT8)[0], 1.0);
}

TEST(QG2ImageReaderDecode, TheStoredRegionPlacesTheScene) {
    // At level 0 of the file: the reader's image is the region.
    const QG2Image image =
        quarn_test::writeQG2Image(spec(true, std::array<std::uint32_t, 5>{4, 2, 40, 30, 0}));
    Reader r(image.file.bytes);
    ASSERT_EQ(r.reader->getWidth() * 100 + r.reader->getHeight(), 3729u);
    EXPECT_EQ(r.read(KVIScene(0, 0, 37, 29, 1.0)), decoded(image, {4, 2, 40, 30}, 0, false));
    EXPECT_EQ(r.read(KVIScene(3, 3, 16, 12, 0.5)), decoded(image, {5, 4, 20, 15}, 1, false));

    // A region lying at level 1 of the file: the reader's level 0 is the file's level 1.
    const QG2Image deeper =
        quarn_test::writeQG2Image(spec(true, std::array<std::uint32_t, 5>{2, 1, 20, 14, 1}));
    Reader d(deeper.file.bytes);
    ASSERT_EQ(d.reader->getWidth() * 100 + d.reader->getHeight(), 1914u);
    EXPECT_EQ(d.read(KVIScene(0, 0, 19, 14, 1.0)), decoded(deeper, {2, 1, 20, 14}, 1, false));
    EXPECT_EQ(d.read(KVIScene(0, 0, 10, 7, 0.5)), decoded(deeper, {1, 0, 10, 6}, 2, false));
    EXPECT_EQ(d.read(KVIScene(4, 2, 30, 20, 2.0)), decoded(deeper, {8, 4, 37, 23}, 0, false));
}

TEST(QG2ImageReaderDecode, DitherUnlessTheMetadataSwitchesItOff) {
    const QG2Image image = quarn_test::writeQG2Image(spec(false));
    Reader r(image.file.bytes);
    ASSERT_TRUE(r.reader->getDither());
    const auto read = r.read(KVIScene(0, 0, 45, 38, 1.0));
    EXPECT_EQ(read, decoded(image, {0, 0, 44, 37}, 0, true));
    EXPECT_NE(read, decoded(image, {0, 0, 44, 37}, 0, false));
    // A second read of the same reader gives the same pixels.
    EXPECT_EQ(r.read(KVIScene(0, 0, 45, 38, 1.0)), read);
}

// One band of 256 x 256 over three levels, cut into blocks 16 wide and of each height below, in
// subbands of one region or of a grid of 8 x 8.
std::vector<quarn_test::QG2WrittenFile> layouts() {
    constexpr std::uint32_t kSize = 256;
    QG2Plane plane{kSize, kSize, {}};
    for (std::uint32_t y = 0; y < kSize; ++y)
        for (std::uint32_t x = 0; x < kSize; ++x)
            plane.samples.push_back(128 + 90 * std::sin(0.05 * x + 0.02 * y) + (x * y % 13));
    std::vector<quarn_test::QG2WrittenFile> files;
    for (const std::uint32_t blockHeight : {8u, 16u, 64u, 256u}) {
        for (const std::uint32_t grid : {1u, 8u}) {
            QG2ImageSpec s;
            s.levels = 3;
            s.bands = {plane};
            s.steps = {1.0f};
            s.blockWidth = 16;
            s.blockHeight = blockHeight;
            s.regionsAcross = s.regionsDown = grid;
            files.push_back(quarn_test::writeQG2Image(s).file);
        }
    }
    return files;
}

std::uint64_t bytesRead(const quarn_test::VectorStream& stream) {
    return std::accumulate(stream.readRequests.begin(), stream.readRequests.end(),
                           std::uint64_t{0});
}

// Opening reads the header and the region records once, in a few reads whatever the number of
// regions.
TEST(QG2ImageReaderDecode, OpeningReadsTheHeaderAndTheRecordsOnce) {
    for (const quarn_test::QG2WrittenFile& file : layouts()) {
        // The header with the two bytes after its segments, and each subband's head and records
        // (of one band).
        std::uint64_t once = file.afterSegments + 2;
        std::size_t subbands = 0;
        for (const std::size_t at : file.subbandAt) {
            if (at == 0) continue;
            ++subbands;
            once += 8 + std::uint64_t{loadBE<std::uint32_t>(file.bytes.data() + at + 4)} * 20;
        }
        quarn_test::VectorStream stream(file.bytes, false);
        KVIRef<QG2ImageReader> reader(QG2ImageReader::create());
        ASSERT_EQ(reader->initialize(&stream, nullptr, 1, 3), KV_OK);
        EXPECT_EQ(bytesRead(stream), once);
        // Two reads per subband, its head and its records, and a few for the header.
        EXPECT_LE(stream.readRequests.size(), 2 * subbands + 8);
    }
}

// A whole decode reads each byte of the file about once, however blocks and strips fall: a block
// that spans strips is continued from its bytes kept in the block cache, and each band's
// directory is read once.
TEST(QG2ImageReaderDecode, DecodingReadsEachByteAboutOnce) {
    for (const quarn_test::QG2WrittenFile& file : layouts()) {
        for (const std::uint32_t stripHeight : {16u, 64u}) {
            SCOPED_TRACE(stripHeight);
            quarn_test::VectorStream stream(file.bytes, false);
            KVIRef<QG2ImageReader> reader(QG2ImageReader::create());
            ASSERT_EQ(reader->initialize(&stream, nullptr, 1, 3), KV_OK);
            stream.readRequests.clear();
            reader->setStripHeight(stripHeight);
            const auto width = reader->getWidth(), height = reader->getHeight();
            KVISceneBuffer buffer(reader->getPixelProps(), width, height);
            ASSERT_EQ(reader->read(KVIScene(0, 0, width, height, 1.0), buffer), KV_OK);
            EXPECT_LE(bytesRead(stream), 1.2 * file.bytes.size());
        }
    }
}

} // namespace
} // namespace Korvel
