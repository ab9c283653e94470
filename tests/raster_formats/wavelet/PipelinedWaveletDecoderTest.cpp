// The row-pipelined inverse wavelet against the plain whole-image inverse of the test support:
// random images through the forward wavelet, decoded over random windows, resolutions, band counts
// and strip heights from a source that holds one row of subblocks per subband, as the strip cache
// does.

#include "wavelet/PipelinedWaveletDecoder.h"
#include "RasterForwardWavelet.h"
#include "buffers/KVISceneBuffer.h"
#include "qg3/container/QG3DataType.h"
#include "qg3/container/QG3ImageInfo.h"
#include "qg3/container/QG3Status.h"
#include "support/KVStatusGuard.h"
#include "wavelet/PipeSeg.h"
#include "wavelet/SubbandRowSource.h"
#include "wavelet/WaveletKernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <random>
#include <sstream>

using namespace Korvel;
using quarn_test::RasterSubband;
using quarn_test::RasterSubbands;

namespace {

// Subband rows from whole subband arrays, through a model of the strip cache: per subband one
// strip of one row of subblocks over the columns asked for. A strip that moves is reallocated, so
// a pointer kept across the move reads freed memory (caught by the sanitizer) or wrong samples.
class StripCacheSource : public SubbandRowSource {
public:
    StripCacheSource(std::uint32_t width, std::uint32_t height, std::uint8_t levels,
                     std::uint16_t subblockSize, std::vector<RasterSubbands> planes)
        : planes_(std::move(planes)) {
        info_.width = width;
        info_.height = height;
        info_.numLevels = levels;
        info_.subblockSize = subblockSize;
        EXPECT_EQ(info_.bandSet.resizeAll(static_cast<std::uint16_t>(planes_.size())), KV_OK);
        EXPECT_EQ(info_.computeSubbands(), KV_OK);
        strips_.resize(info_.numSubbands);
        rowsFetched_.resize(info_.numSubbands);
        // The forward wavelet's subbands have the image information's sizes.
        for (const RasterSubbands& plane : planes_)
            for (std::size_t s = 0; s < plane.size(); ++s) {
                EXPECT_EQ(plane[s].width, info_.subbands[s].width) << "subband " << s;
                EXPECT_EQ(plane[s].height, info_.subbands[s].height) << "subband " << s;
            }
    }

    const QG3ImageInfo& getImageInfo() const override { return info_; }
    QG3ImageInfo& info() { return info_; }
    std::uint16_t getSubblockSize() const override { return info_.subblockSize; }
    std::uint16_t getBandCount() const override {
        return static_cast<std::uint16_t>(planes_.size());
    }

    KVStatus getSubbandRow(std::int32_t** rows, std::uint8_t subband, std::uint32_t row,
                           std::uint32_t x0, std::uint32_t x1) override {
        if (subband >= info_.numSubbands) return KV_OK;
        const QG3Subband& geometry = info_.subbands[subband];
        if (x1 >= geometry.width || row >= geometry.height || x0 > x1) return KV_QG3_NOT_FOUND;
        if (failAfter_ >= 0 && fetches_ >= std::size_t(failAfter_)) return failStatus_;
        ++fetches_;
        rowsFetched_[subband].push_back(row);
        Strip& strip = strips_[subband];
        const std::uint32_t S = info_.subblockSize;
        if (strip.data.empty() || strip.x0 != x0 || strip.x1 != x1 || row < strip.y0 ||
            row > strip.y1) {
            strip.x0 = x0;
            strip.x1 = x1;
            strip.y0 = row - row % S;
            strip.y1 = std::min(strip.y0 + S, geometry.height) - 1;
            ++builds_[{subband, strip.y0 / S}];
            std::vector<std::int32_t> data;
            for (const RasterSubbands& plane : planes_)
                for (std::uint32_t y = strip.y0; y <= strip.y1; ++y)
                    for (std::uint32_t x = x0; x <= x1; ++x)
                        data.push_back(plane[subband].at(x, y));
            strip.data = std::move(data);
        }
        const std::size_t width = x1 - x0 + 1;
        const std::size_t plane = width * (strip.y1 - strip.y0 + 1);
        for (std::size_t b = 0; b < planes_.size(); ++b) {
            rows[b] = strip.data.data() + b * plane + (row - strip.y0) * width;
            if (nullZeroRows_ && std::all_of(rows[b], rows[b] + width, [](auto v) { return !v; }))
                rows[b] = nullptr;
        }
        return KV_OK;
    }

    // Rows of zeros are handed out as null, band by band.
    void setNullZeroRows(bool on) { nullZeroRows_ = on; }

    void failAfter(int fetches, KVStatus status) {
        failAfter_ = fetches;
        failStatus_ = status;
    }
    std::size_t fetches() const { return fetches_; }
    const std::vector<std::uint32_t>& rowsFetched(std::uint8_t subband) const {
        return rowsFetched_[subband];
    }
    // Each row of subblocks of each subband was decoded at most once, and every subband's rows
    // were asked for in increasing order, each once.
    void expectStripsBuiltOnce() const {
        for (const auto& [key, count] : builds_)
            EXPECT_EQ(count, 1) << "subband " << int(key.first) << " subblock row " << key.second;
        for (std::size_t s = 0; s < rowsFetched_.size(); ++s)
            EXPECT_TRUE(
                std::is_sorted(rowsFetched_[s].begin(), rowsFetched_[s].end(), std::less_equal<>()))
                << "subband " << s << " rows out of order";
    }

private:
    struct Strip {
        std::uint32_t x0 = 0, x1 = 0, y0 = 0, y1 = 0;
        std::vector<std::int32_t> data;
    };
    QG3ImageInfo info_;
    std::vector<RasterSubbands> planes_;
    std::vector<Strip> strips_;
    std::map<std::pair<std::uint8_t, std::uint32_t>, int> builds_;
    std::vector<std::vector<std::uint32_t>> rowsFetched_;
    std::size_t fetches_ = 0;
    int failAfter_ = -1;
    KVStatus failStatus_ = KV_OK;
    bool nullZeroRows_ = false;
};

struct LevelSize {
    std::uint32_t width;
    std::uint32_t height;
};
LevelSize levelSize(std::uint32_t width, std::uint32_t height, std::uint8_t skipped) {
    for (int i = 0; i < skipped; ++i) {
        width = (width + 1) / 2;
        height = (height + 1) / 2;
    }
    return {width, height};
}

template <class T> std::vector<T> samplesAs(const std::vector<std::uint8_t>& bytes) {
    std::vector<T> out(bytes.size() / sizeof(T));
    std::memcpy(out.data(), bytes.data(), bytes.size());
    return out;
}

// Decoded rows of every band into a buffer of the rectangle, strip by strip.
struct StripsOut {
    StripsOut(const KVIRect& rect, std::uint16_t bands, std::uint32_t code)
        : rect(rect), buffer(KVIPixel(0xFF01, bands, getSampleDataType(code)),
                             std::uint32_t(rect.width()), std::uint32_t(rect.height()), nullptr) {}
    KVStatus decode(PipelinedWaveletDecoder& decoder, std::uint32_t stripHeight) {
        KV_RETURN_IF_FAILED(decoder.decodeBegin());
        for (std::int32_t y = rect.y0; y <= rect.y1; y += std::int32_t(stripHeight)) {
            const KVIRect strip{rect.x0, y, rect.x1,
                                std::min(rect.y1, y + std::int32_t(stripHeight) - 1)};
            KV_RETURN_IF_FAILED(decoder.decodeStrip(strip, &buffer, 0, std::uint32_t(y - rect.y0)));
        }
        return KV_OK;
    }
    // The samples pixel-interleaved, row by row.
    std::vector<std::uint8_t> interleavedBytes() const {
        std::vector<std::uint8_t> out;
        for (std::size_t i = 0; i < buffer.getWindowSize(); ++i)
            for (std::uint16_t b = 0; b < buffer.getNumBands(); ++b) {
                const std::uint32_t n = buffer.getBytesPerSample(b);
                const std::uint8_t* at = buffer.getWindowBandData(b) + i * n;
                out.insert(out.end(), at, at + n);
            }
        return out;
    }
    KVIRect rect;
    KVISceneBuffer buffer;
};

// Decodes rect in strips as float samples (exact for the small values used), converted back to
// integers, pixel-interleaved. Stops at the first failing status.
KVStatus decodeWindow(StripCacheSource& source, const KVIRect& rect, std::uint8_t levels,
                      std::uint8_t skipped, std::uint32_t stripHeight,
                      std::vector<std::int32_t>& out) {
    const LevelSize size = levelSize(source.info().width, source.info().height, skipped);
    const std::uint16_t bands = source.getBandCount();
    auto decoder = PipelinedWaveletDecoder::create(rect, std::uint8_t(levels - skipped),
                                                   size.height, size.width, bands, skipped, source);
    if (!decoder) return KV_QG3_NOT_FOUND;
    decoder->setOutputRange(0, 0, QG3_DATATYPE_FLOAT32);
    decoder->setStripHeight(stripHeight);
    StripsOut strips(rect, bands, QG3_DATATYPE_FLOAT32);
    KV_RETURN_IF_FAILED(strips.decode(*decoder, stripHeight));
    for (float v : samplesAs<float>(strips.interleavedBytes()))
        out.push_back(static_cast<std::int32_t>(v));
    return decoder->release();
}

// The oracle's images of every band restricted to rect, pixel-interleaved.
std::vector<std::int32_t> expectedWindow(const std::vector<RasterSubband>& images,
                                         const KVIRect& rect) {
    std::vector<std::int32_t> out;
    for (std::int32_t y = rect.y0; y <= rect.y1; ++y)
        for (std::int32_t x = rect.x0; x <= rect.x1; ++x)
            for (const RasterSubband& image : images)
                out.push_back(image.at(std::uint32_t(x), std::uint32_t(y)));
    return out;
}

std::vector<std::vector<std::int32_t>> randomPlanes(std::mt19937& rng, std::uint32_t width,
                                                    std::uint32_t height, std::size_t bands) {
    std::vector<std::vector<std::int32_t>> planes(bands);
    std::uniform_int_distribution<std::int32_t> value(-600, 600);
    for (auto& plane : planes) {
        // Noise over a ramp, so that both the low and the high bands carry something.
        for (std::uint32_t y = 0; y < height; ++y)
            for (std::uint32_t x = 0; x < width; ++x)
                plane.push_back(std::int32_t(3 * x) - std::int32_t(2 * y) + value(rng) / 8 +
                                (rng() % 5 == 0 ? value(rng) : 0));
    }
    return planes;
}

// A span of n: whole, one sample, touching either end, the last few, or anywhere.
void pickSpan(std::mt19937& rng, std::uint32_t n, std::int32_t& a, std::int32_t& b) {
    const auto any = [&] { return std::int32_t(rng() % n); };
    switch (rng() % 7) {
    case 0:
        a = 0, b = std::int32_t(n) - 1;
        break;
    case 1:
        a = b = any();
        break;
    case 2:
        a = 0, b = any();
        break;
    case 3:
        a = any(), b = std::int32_t(n) - 1;
        break;
    case 4:
        a = std::int32_t(n) - 1 - std::int32_t(rng() % std::min(n, 4u)), b = std::int32_t(n) - 1;
        break;
    default:
        a = any(), b = any();
        if (a > b) std::swap(a, b);
    }
}

std::uint32_t pickSide(std::mt19937& rng) {
    switch (rng() % 6) {
    case 0:
        return 3 + rng() % 3; // 3 to 5
    case 1:
        return 60 + rng() % 140; // long side
    default:
        return 3 + rng() % 45;
    }
}

} // namespace

TEST(PipelinedWaveletDecoderTest, RoundingIsToNearestWithTiesToEven) {
    EXPECT_EQ(rne4(-2), 0);
    EXPECT_EQ(rne4(2), 0);
    EXPECT_EQ(rne4(6), 2);
    EXPECT_EQ(rne4(-6), -2);
    EXPECT_EQ(rne4(0), 0);
    EXPECT_EQ(rne2(1), 0);
    EXPECT_EQ(rne2(3), 2);
    EXPECT_EQ(rne2(-1), 0);
    EXPECT_EQ(rne2(-3), -2);
    for (std::int32_t s = -5000; s <= 5000; ++s) {
        ASSERT_EQ(rne4(s), quarn_test::rasterRoundQuarter(s)) << s;
        ASSERT_EQ(rne2(s), quarn_test::rasterRoundHalf(s)) << s;
    }
    for (std::int32_t s : {INT32_MIN, INT32_MIN + 1, INT32_MAX - 1, INT32_MAX}) {
        EXPECT_EQ(rne4(s), quarn_test::rasterRoundQuarter(s)) << s;
        EXPECT_EQ(rne2(s), quarn_test::rasterRoundHalf(s)) << s;
    }
}

TEST(PipelinedWaveletDecoderTest, InverseOfForwardIsTheImage) {
    std::mt19937 rng(7);
    for (int trial = 0; trial < 300; ++trial) {
        const std::uint32_t width = 1 + rng() % 40;
        const std::uint32_t height = 1 + rng() % 40;
        const auto levels = static_cast<std::uint8_t>(rng() % 9);
        const unsigned bits = rng() % 2 ? 0 : rng() % 8;
        const auto plane = randomPlanes(rng, width, height, 1)[0];
        const RasterSubbands subbands =
            quarn_test::rasterForwardWavelet(plane, width, height, levels, bits);
        const RasterSubband back = quarn_test::rasterInverseWavelet(subbands, levels);
        ASSERT_EQ(back.samples, plane) << width << "x" << height << " levels " << int(levels);
        if (bits == 0) {
            for (std::size_t m = 0; m < levels; ++m)
                for (std::int32_t v : subbands[4 * m + 1].samples)
                    ASSERT_EQ(v, 0);
        }
    }
}

// A 3 x 3 image of one level worked by hand; the rounding ties of both steps occur in it.
TEST(PipelinedWaveletDecoderTest, WorkedExampleOfThreeByThree) {
    RasterSubbands subbands(5);
    subbands[0] = {2, 2, {7, 20, 30, 45}};
    subbands[1] = {2, 2, {3, 0, 0, -5}};
    subbands[2] = {1, 2, {2, 6}};
    subbands[3] = {2, 1, {-2, 3}};
    subbands[4] = {1, 1, {1}};
    const std::vector<std::int32_t> expected = {10, 16, 17, 17, 28, 29, 28, 38, 35};
    EXPECT_EQ(quarn_test::rasterInverseWavelet(subbands, 1).samples, expected);

    for (std::uint32_t stripHeight : {1u, 2u, 16u}) {
        StripCacheSource source(3, 3, 1, 16, {subbands});
        std::vector<std::int32_t> out;
        ASSERT_EQ(decodeWindow(source, {0, 0, 2, 2}, 1, 0, stripHeight, out), KV_OK);
        EXPECT_EQ(out, expected);
    }
}

TEST(PipelinedWaveletDecoderTest, CreateNeedsALevelImageOfThreeByThreeAndAMatchingSource) {
    std::mt19937 rng(3);
    auto sourceOf = [&](std::uint32_t w, std::uint32_t h, std::uint8_t levels, std::size_t bands) {
        return StripCacheSource(
            w, h, levels, 16,
            quarn_test::rasterForwardWavelet(randomPlanes(rng, w, h, bands), w, h, levels));
    };
    auto create = [](StripCacheSource& source, KVIRect rect, std::uint8_t run, std::uint8_t skipped,
                     std::uint16_t bands) {
        const LevelSize size = levelSize(source.info().width, source.info().height, skipped);
        return PipelinedWaveletDecoder::create(rect, run, size.height, size.width, bands, skipped,
                                               source);
    };
    StripCacheSource threes = sourceOf(3, 3, 1, 1);
    EXPECT_NE(create(threes, {0, 0, 2, 2}, 1, 0, 1), nullptr);
    EXPECT_NE(create(threes, {1, 2, 1, 2}, 1, 0, 1), nullptr);
    StripCacheSource twos = sourceOf(2, 2, 1, 1);
    EXPECT_EQ(create(twos, {0, 0, 1, 1}, 1, 0, 1), nullptr);
    StripCacheSource narrow = sourceOf(2, 9, 0, 1);
    EXPECT_EQ(create(narrow, {0, 0, 1, 8}, 0, 0, 1), nullptr);
    StripCacheSource low = sourceOf(9, 2, 0, 1);
    EXPECT_EQ(create(low, {0, 0, 8, 1}, 0, 0, 1), nullptr);

    // The limit is on the level image, not the window: a row or a column of a level decodes,
    // a level of 2 x 2 does not.
    StripCacheSource fives = sourceOf(5, 5, 2, 3);
    EXPECT_NE(create(fives, {2, 0, 2, 2}, 1, 1, 3), nullptr);
    EXPECT_NE(create(fives, {0, 1, 2, 1}, 1, 1, 3), nullptr);
    EXPECT_EQ(create(fives, {0, 0, 1, 1}, 0, 2, 3), nullptr);

    // Rectangles outside or empty, no bands, a source of other bands, levels or sizes.
    for (const KVIRect& bad : std::vector<KVIRect>{
             {0, 0, 5, 4}, {0, 0, 4, 5}, {-1, 0, 4, 4}, {0, -1, 4, 4}, {3, 0, 2, 4}, {0, 3, 4, 2}})
        EXPECT_EQ(create(fives, bad, 2, 0, 3), nullptr);
    EXPECT_EQ(create(fives, {0, 0, 4, 4}, 2, 0, 0), nullptr);
    EXPECT_EQ(create(fives, {0, 0, 4, 4}, 2, 0, 2), nullptr);
    EXPECT_EQ(create(fives, {0, 0, 4, 4}, 1, 0, 3), nullptr);
    EXPECT_EQ(PipelinedWaveletDecoder::create({0, 0, 3, 3}, 2, 4, 4, 3, 0, fives), nullptr);
    EXPECT_NE(create(fives, {0, 0, 4, 4}, 2, 0, 3), nullptr);
}

// The contract of the decoder over every shape it meets: each decode equals the whole-image
// inverse at its resolution restricted to the window, strip by strip, and reads each row of
// subblocks of each subband once.
TEST(PipelinedWaveletDecoderTest, EveryWindowMatchesTheWholeImageInverse) {
    std::mt19937 rng(20);
    const std::uint16_t subblockSizes[] = {1, 2, 5, 16, 32, 64};
    const std::uint32_t stripHeights[] = {1, 2, 16, 17};
    int decodes = 0;
    for (int trial = 0; trial < 400; ++trial) {
        std::uint32_t width = pickSide(rng);
        std::uint32_t height = pickSide(rng);
        if (width > 50 && height > 50) (rng() % 2 ? width : height) = 3 + rng() % 8;
        const auto levels = static_cast<std::uint8_t>(rng() % 9);
        const std::size_t bands = 1 + rng() % 5;
        const std::uint16_t S = subblockSizes[rng() % 6];
        const unsigned bits = rng() % 3 == 0 ? 1 + rng() % 6 : 0;
        const auto planes = randomPlanes(rng, width, height, bands);
        const auto coded = quarn_test::rasterForwardWavelet(planes, width, height, levels, bits);

        for (int pass = 0; pass < 3; ++pass) {
            const auto skipped = static_cast<std::uint8_t>(pass == 0 ? 0 : rng() % (levels + 1));
            const LevelSize size = levelSize(width, height, skipped);
            std::vector<RasterSubband> images;
            for (const RasterSubbands& plane : coded)
                images.push_back(quarn_test::rasterInverseWavelet(plane, levels, skipped));
            if (skipped == 0) {
                for (std::size_t b = 0; b < bands; ++b)
                    ASSERT_EQ(images[b].samples, planes[b]);
            }
            KVIRect rect;
            pickSpan(rng, size.width, rect.x0, rect.x1);
            pickSpan(rng, size.height, rect.y0, rect.y1);
            const std::uint32_t stripHeight = stripHeights[rng() % 4];

            std::ostringstream trace;
            trace << width << "x" << height << " levels " << int(levels) << " skipped "
                  << int(skipped) << " bands " << bands << " S " << S << " bits " << bits
                  << " window " << rect.x0 << "," << rect.y0 << "-" << rect.x1 << "," << rect.y1
                  << " strips " << stripHeight;
            SCOPED_TRACE(trace.str());

            StripCacheSource source(width, height, levels, S, coded);
            std::vector<std::int32_t> out;
            const KVStatus status = decodeWindow(source, rect, levels, skipped, stripHeight, out);
            if (size.width < 3 || size.height < 3) {
                EXPECT_EQ(status, KV_QG3_NOT_FOUND);
                continue;
            }
            ASSERT_EQ(status, KV_OK);
            ASSERT_EQ(out, expectedWindow(images, rect));
            source.expectStripsBuiltOnce();
            ++decodes;
        }
    }
    EXPECT_GT(decodes, 700);
}

// Rows of zeros given as null, bands that data reaches late or never, and every kernel table
// this processor runs: each decode is the whole-image inverse's window.
TEST(PipelinedWaveletDecoderTest, NullRowsOfZerosAndEveryKernelTableDecodeAlike) {
    const std::vector<const WaveletKernels*> tables = waveletKernelVariants();
    struct Forced {
        ~Forced() { forceWaveletKernels(nullptr); }
    } forced;
    std::mt19937 rng(23);
    int decodes = 0;
    for (int trial = 0; trial < 150; ++trial) {
        // Every fourth image is small enough for levels of a single sample.
        const std::uint32_t width = trial % 4 ? pickSide(rng) : 3 + rng() % 6;
        const std::uint32_t height = trial % 4 ? 3 + rng() % 40 : 3 + rng() % 6;
        const auto levels = static_cast<std::uint8_t>(rng() % 10);
        const std::size_t bands = 1 + rng() % 4;
        const std::uint16_t S = std::uint16_t(1 + rng() % 20);
        // Subbands of every shape, each of a band zero, nonzero in a few rows, or not zero.
        auto coded = quarn_test::rasterForwardWavelet(
            std::vector<std::vector<std::int32_t>>(
                bands, std::vector<std::int32_t>(std::size_t(width) * height)),
            width, height, levels);
        for (RasterSubbands& band : coded)
            for (RasterSubband& sub : band) {
                const unsigned kind = rng() % 3;
                for (std::size_t i = 0; i < sub.samples.size(); ++i) {
                    const std::size_t row = sub.width ? i / sub.width : 0;
                    const bool filled = kind == 2 || (kind == 1 && (row * 7 + trial) % 5 == 0);
                    sub.samples[i] = filled ? std::int32_t(rng() % 101) - 50 : 0;
                }
            }
        const auto skipped = static_cast<std::uint8_t>(rng() % (levels + 1));
        const LevelSize size = levelSize(width, height, skipped);
        if (size.width < 3 || size.height < 3) continue;
        std::vector<RasterSubband> images;
        for (const RasterSubbands& plane : coded)
            images.push_back(quarn_test::rasterInverseWavelet(plane, levels, skipped));
        KVIRect rect;
        pickSpan(rng, size.width, rect.x0, rect.x1);
        pickSpan(rng, size.height, rect.y0, rect.y1);
        const std::uint32_t stripHeight = 1 + rng() % 17;
        for (const WaveletKernels* table : tables) {
            SCOPED_TRACE(::testing::Message()
                         << table->name << " " << width << "x" << height << " levels "
                         << int(levels) << " skipped " << int(skipped) << " bands " << bands);
            forceWaveletKernels(table);
            StripCacheSource source(width, height, levels, S, coded);
            source.setNullZeroRows(true);
            std::vector<std::int32_t> out;
            ASSERT_EQ(decodeWindow(source, rect, levels, skipped, stripHeight, out), KV_OK);
            ASSERT_EQ(out, expectedWindow(images, rect));
            ++decodes;
        }
    }
    EXPECT_GT(decodes, 100);
}

// Each row of subblocks is decoded once also when the strips are as tall as the format makes
// them and the window starts or ends inside a row of subblocks.
TEST(PipelinedWaveletDecoderTest, StripsOfTheUsualSubblockSizesAreBuiltOnce) {
    std::mt19937 rng(5);
    for (std::uint16_t S : {16, 32, 64}) {
        const std::uint32_t width = 150, height = 300;
        const auto coded =
            quarn_test::rasterForwardWavelet(randomPlanes(rng, width, height, 3), width, height, 5);
        for (const KVIRect& rect : std::vector<KVIRect>{
                 {0, 0, 149, 299}, {17, 33, 96, 250}, {0, 63, 149, 64}, {31, 127, 32, 299}}) {
            StripCacheSource source(width, height, 5, S, coded);
            std::vector<std::int32_t> out;
            ASSERT_EQ(decodeWindow(source, rect, 5, 0, 16, out), KV_OK);
            source.expectStripsBuiltOnce();
        }
    }
}

TEST(PipelinedWaveletDecoderTest, DecodeBeginDecodesOneRowFromAnOddStartAndTwoFromAnEven) {
    std::mt19937 rng(9);
    const auto coded = quarn_test::rasterForwardWavelet(randomPlanes(rng, 6, 8, 1), 6, 8, 0);
    for (std::int32_t y0 : {2, 3}) {
        StripCacheSource source(6, 8, 0, 16, coded);
        auto decoder = PipelinedWaveletDecoder::create({0, y0, 5, 7}, 0, 8, 6, 1, 0, source);
        ASSERT_NE(decoder, nullptr);
        decoder->setOutputRange(0, 255, QG3_DATATYPE_UINT8);
        ASSERT_EQ(decoder->decodeBegin(), KV_OK);
        EXPECT_EQ(source.rowsFetched(0).size(), y0 % 2 ? 1u : 2u);
        EXPECT_EQ(source.rowsFetched(0).front(), std::uint32_t(y0));
    }
}

TEST(PipelinedWaveletDecoderTest, StripsOutOfOrderAndFailuresOfTheSourceEndInAStatus) {
    std::mt19937 rng(11);
    const auto coded = quarn_test::rasterForwardWavelet(randomPlanes(rng, 40, 40, 2), 40, 40, 3);
    StripCacheSource source(40, 40, 3, 4, coded);
    auto decoder = PipelinedWaveletDecoder::create({0, 0, 39, 39}, 3, 40, 40, 2, 0, source);
    ASSERT_NE(decoder, nullptr);
    decoder->setOutputRange(0, 255, QG3_DATATYPE_UINT8);
    decoder->setStripHeight(8);
    KVISceneBuffer buffer(KVIPixel(0xFF01, 2, KVI_DATATYPE_UINT8), 40, 8, nullptr);
    auto strip = [&](const KVIRect& rect) { return decoder->decodeStrip(rect, &buffer, 0, 0); };
    EXPECT_EQ(strip({0, 0, 39, 7}), KV_QG3_NOT_FOUND); // before the begin
    ASSERT_EQ(decoder->decodeBegin(), KV_OK);
    EXPECT_EQ(strip({0, 8, 39, 15}), KV_QG3_NOT_FOUND); // not the next
    EXPECT_EQ(strip({0, 0, 39, 8}), KV_QG3_NOT_FOUND);  // too tall
    EXPECT_EQ(strip({1, 0, 39, 7}), KV_QG3_NOT_FOUND);  // other columns
    ASSERT_EQ(strip({0, 0, 39, 7}), KV_OK);

    // A failing read (or an interrupt) is passed up and stays: the decoder must be rebuilt.
    source.failAfter(int(source.fetches()) + 3, 50001);
    EXPECT_EQ(strip({0, 8, 39, 15}), 50001u);
    EXPECT_EQ(strip({0, 16, 39, 23}), 50001u);
    EXPECT_EQ(decoder->release(), KV_OK);
    EXPECT_EQ(decoder->decodeBegin(), 50001u);
}

TEST(PipelinedWaveletDecoderTest, ExtremeCoefficientsWrapWithoutFault) {
    RasterSubbands subbands(5);
    subbands[0] = {2, 2, {INT32_MAX, INT32_MIN, INT32_MAX, INT32_MIN}};
    subbands[1] = {2, 2, {INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN}};
    subbands[2] = {1, 2, {INT32_MIN, INT32_MAX}};
    subbands[3] = {2, 1, {INT32_MAX, INT32_MIN}};
    subbands[4] = {1, 1, {INT32_MIN}};
    StripCacheSource source(3, 3, 1, 16, {subbands});
    auto decoder = PipelinedWaveletDecoder::create({0, 0, 2, 2}, 1, 3, 3, 1, 0, source);
    ASSERT_NE(decoder, nullptr);
    decoder->setOutputRange(0, 255, QG3_DATATYPE_UINT8);
    decoder->setStripHeight(3);
    StripsOut strips({0, 0, 2, 2}, 1, QG3_DATATYPE_UINT8);
    EXPECT_EQ(strips.decode(*decoder, 3), KV_OK);
}

namespace {

// Bands of eight samples each, decoded with one output code: they fill the top two rows of a
// 4 x 3 image without levels (the decoder needs a level image of three rows).
using Bands = std::vector<std::vector<std::int32_t>>;
KVStatus convert(const Bands& bands, std::uint32_t minimum, std::uint32_t maximum,
                 std::uint32_t code, std::vector<std::uint8_t>& out,
                 void (*adjust)(QG3ImageInfo&) = nullptr) {
    std::vector<RasterSubbands> planes;
    for (const auto& band : bands) {
        planes.push_back({{4, 3, band}});
        planes.back()[0].samples.resize(12);
    }
    StripCacheSource source(4, 3, 0, 16, planes);
    if (adjust) adjust(source.info());
    const auto n = static_cast<std::uint16_t>(bands.size());
    auto decoder = PipelinedWaveletDecoder::create({0, 0, 3, 1}, 0, 3, 4, n, 0, source);
    decoder->setOutputRange(minimum, maximum, code);
    decoder->setStripHeight(2);
    // An output type without a sample type gets a buffer of bytes, never written.
    const std::uint32_t type = getSampleDataType(code) != KVI_DATATYPE_NONE ? code : 5;
    StripsOut strips({0, 0, 3, 1}, n, type);
    KV_RETURN_IF_FAILED(strips.decode(*decoder, 2));
    out = strips.interleavedBytes();
    return KV_OK;
}

// Pixel-interleaved samples of the bands through f.
template <class F> auto interleaved(const Bands& bands, F f) {
    std::vector<decltype(f(0, 0))> out;
    for (std::size_t i = 0; i < bands[0].size(); ++i)
        for (std::size_t b = 0; b < bands.size(); ++b)
            out.push_back(f(bands[b][i], b));
    return out;
}

// The range [minimum, maximum] held to what T holds.
template <class T>
void expectClamped(const Bands& bands, std::uint32_t code, std::int32_t minimum,
                   std::int32_t maximum) {
    std::vector<std::uint8_t> bytes;
    ASSERT_EQ(convert(bands, std::uint32_t(minimum), std::uint32_t(maximum), code, bytes), KV_OK);
    const std::int32_t lo = std::max<std::int32_t>(minimum, std::numeric_limits<T>::min());
    const std::int32_t hi = std::min<std::int32_t>(maximum, std::numeric_limits<T>::max());
    EXPECT_EQ(samplesAs<T>(bytes),
              interleaved(bands, [&](std::int32_t v,
                                     std::size_t) { return T(std::min(std::max(v, lo), hi)); }))
        << "code " << code << " bands " << bands.size();
}

} // namespace

TEST(PipelinedWaveletDecoderTest, OutputConversionsClampOrScale) {
    const std::vector<std::int32_t> samples = {300, -4, 0, 255, 70000, -70000, 128, -129};
    std::vector<std::uint8_t> bytes;
    ASSERT_EQ(convert({samples}, 0, 255, QG3_DATATYPE_UINT8, bytes), KV_OK);
    EXPECT_EQ(bytes[0], 255); // 300
    EXPECT_EQ(bytes[1], 0);   // -4

    Bands bands;
    for (std::size_t n = 1; n <= 4; ++n) {
        bands.push_back(samples);
        std::rotate(bands.back().begin(), bands.back().begin() + n, bands.back().end());
        expectClamped<std::uint8_t>(bands, QG3_DATATYPE_UINT8, 0, 255);
        expectClamped<std::uint8_t>(bands, QG3_DATATYPE_UINT8, 2, 200);
        // A range wider than the type is held to the type.
        expectClamped<std::uint8_t>(bands, QG3_DATATYPE_UINT8, -1000, 100000);
        expectClamped<std::int8_t>(bands, QG3_DATATYPE_SINT8, -128, 127);
        expectClamped<std::uint16_t>(bands, QG3_DATATYPE_UINT16, 0, 65535);
        expectClamped<std::int16_t>(bands, QG3_DATATYPE_SINT16, -32768, 32767);
        for (std::uint32_t code : {1u, 4u, 9u, 10u, 14u, 99u})
            EXPECT_EQ(convert(bands, 0, 255, code, bytes), KV_QG3_NOT_SUPPORTED) << code;
    }

    // Float: value x scale + offset of each band; with a band selection, of the selected bands.
    bands.resize(2);
    const auto expected = interleaved(bands, [](std::int32_t v, std::size_t b) {
        return b == 0 ? float(v) * 0.5f + 10.0f : float(v) * 2.0f - 1.0f;
    });
    ASSERT_EQ(convert(bands, 0, 0, QG3_DATATYPE_FLOAT32, bytes,
                      [](QG3ImageInfo& info) {
                          info.bandScale.reset(new float[2]{0.5f, 2.0f});
                          info.bandOffset.reset(new float[2]{10.0f, -1.0f});
                      }),
              KV_OK);
    EXPECT_EQ(samplesAs<float>(bytes), expected);
    ASSERT_EQ(convert(bands, 0, 0, QG3_DATATYPE_FLOAT32, bytes,
                      [](QG3ImageInfo& info) {
                          // Three bands, the first and the last selected.
                          ASSERT_EQ(info.bandSet.resizeAll(3), KV_OK);
                          info.bandSet.clearAll();
                          info.bandSet.set(0);
                          info.bandSet.set(2);
                          info.bandScale.reset(new float[3]{0.5f, 100.0f, 2.0f});
                          info.bandOffset.reset(new float[3]{10.0f, 100.0f, -1.0f});
                      }),
              KV_OK);
    EXPECT_EQ(samplesAs<float>(bytes), expected);
}
