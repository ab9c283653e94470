// Written generation-2 images decoded strip by strip: against the tests' own double-precision
// decode, against one strip over the whole rectangle, block by block through the cache, and with
// damaged files.

#include "ByteBuilder.h"
#include "HeapProbe.h"
#include "QG2Harness.h"
#include "qg2/QG2Status.h"
#include "streams/KVIODynamicMemStream.h"

#include <atomic>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <string>
#include <thread>

namespace Korvel {
namespace {

using namespace qg2test;
using quarn_test::Bytes;
using quarn_test::writeQG2Image;

// Smooth shapes with texture and a few steep edges, values spilling a little beyond 0..255.
QG2Plane picture(std::uint32_t width, std::uint32_t height, std::uint32_t seed, double centre,
                 double swing) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> noise(-12.0, 12.0);
    QG2Plane p{width, height, {}};
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            p.samples.push_back(centre + swing * std::sin(x * 0.3 + seed) * std::cos(y * 0.2) +
                                ((x / 7 + y / 5) % 3 == 0 ? 0.4 * swing : 0.0) + noise(rng));
    return p;
}

QG2ImageSpec spec(std::uint32_t bands, std::uint32_t width, std::uint32_t height,
                  std::uint32_t levels) {
    QG2ImageSpec s;
    s.levels = levels;
    s.bands.push_back(picture(width, height, 1, 128.0, 120.0));
    if (bands >= 3) {
        s.bands.push_back(picture(width, height, 2, 0.0, 40.0)); // I
        s.bands.push_back(picture(width, height, 3, 0.0, 30.0)); // Q
    }
    if (bands == 4) s.bands.push_back(picture(width, height, 4, 60.0, 60.0)); // K
    s.steps.assign(bands, 0.5f);
    if (bands >= 3) s.steps[1] = s.steps[2] = 1.5f;
    s.blockWidth = 6;
    s.blockHeight = 5;
    s.regionsAcross = 2;
    s.regionsDown = 3;
    s.ditherColumn = 17;
    s.ditherRow = 101;
    return s;
}

KVIRect whole(std::uint32_t width, std::uint32_t height, std::int32_t level) {
    const auto size = [&](std::uint32_t n) {
        return level >= 0 ? std::int32_t(((n - 1) >> level) + 1) : std::int32_t(n << -level);
    };
    return KVIRect{0, 0, size(width) - 1, size(height) - 1};
}

// Every pixel within one grey level of the tests' own decode.
void expectNearReference(const Decoded& d, const QG2ImageSpec& s, const QG2Image& image,
                         std::int32_t level, std::uint32_t dataType, bool dither,
                         const KVIRect& rect) {
    const std::vector<QG2Plane> planes = referencePlanes(s, image, level, dither);
    ASSERT_EQ(d.status, KV_OK);
    double worst = 0.0;
    for (std::uint32_t y = 0; y < d.height; ++y)
        for (std::uint32_t x = 0; x < d.width; ++x) {
            const std::vector<double> want =
                referencePixel(planes, x + rect.x0, y + rect.y0, dataType);
            for (std::uint32_t b = 0; b < want.size(); ++b)
                worst = std::max(worst, std::fabs(d.at(b, x, y) - want[b]));
        }
    EXPECT_LE(worst, 1.0) << "level " << level << " bands " << s.bands.size();
}

TEST(QG2Decoder, WrittenImagesDecodeToTheReferenceWithinOneGreyLevel) {
    struct Case {
        std::uint32_t bands, width, height, levels;
    };
    for (const Case& c : {Case{1, 37, 29, 3}, Case{3, 40, 33, 2}, Case{4, 23, 41, 1},
                          Case{1, 9, 1, 2}, Case{3, 1, 12, 2}, Case{1, 16, 16, 0}}) {
        const QG2ImageSpec s = spec(c.bands, c.width, c.height, c.levels);
        const QG2Image image = writeQG2Image(s);
        for (std::int32_t level = -1; level <= std::int32_t(c.levels); ++level) {
            const KVIRect rect = whole(c.width, c.height, level);
            for (std::uint32_t type :
                 {KVI_DATATYPE_UINT8, KVI_DATATYPE_UINT16, KVI_DATATYPE_FLOAT32}) {
                if (type == KVI_DATATYPE_FLOAT32 && c.bands == 4) continue;
                DecodeOptions o;
                o.dataType = type;
                o.stripHeight = 7;
                expectNearReference(decode(image.file.bytes, rect, level, o), s, image, level, type,
                                    false, rect);
            }
        }
        // And the full-size decode is the picture itself, within the quantisation.
        if (c.bands != 1) continue;
        const Decoded d = decode(image.file.bytes, whole(c.width, c.height, 0), 0);
        double worst = 0.0;
        for (std::uint32_t y = 0; y < c.height; ++y)
            for (std::uint32_t x = 0; x < c.width; ++x)
                worst = std::max(
                    worst, std::fabs(d.at(0, x, y) - std::clamp(s.bands[0].at(x, y), 0.0, 255.0)));
        EXPECT_LE(worst, 3.0);
    }
}

// The tree's union of rows for each leaf over all strips, and what decoding those rows of the
// written blocks costs: blocks met and coefficient rows.
QG2DecodeCounts expectedCounts(const QG2ImageSpec& s, const QG2Image& image, const KVIRect& rect,
                               std::int32_t level, std::uint32_t stripHeight) {
    std::map<std::uint32_t, KVIRect> unions;
    for (std::int32_t y = rect.y0; y <= rect.y1; y += std::int32_t(stripHeight)) {
        const KVIRect strip{rect.x0, y, rect.x1,
                            std::min(rect.y1, y + std::int32_t(stripHeight) - 1)};
        auto tree =
            QG2Subband::buildTree(strip, level, s.levels, s.bands[0].width, s.bands[0].height, 1);
        tree->forEachLeaf([&](QG2Subband& leaf) {
            const KVIRect& r = leaf.getRect();
            if (r.isEmpty() || leaf.getLeafNumber() >= image.sizes.size()) return;
            auto [it, fresh] = unions.emplace(leaf.getLeafNumber(), r);
            it->second.y0 = std::min(it->second.y0, r.y0);
            it->second.y1 = std::max(it->second.y1, r.y1);
        });
    }
    QG2DecodeCounts counts;
    for (const auto& [leaf, u] : unions) {
        const QG2Plane& size = image.sizes[leaf];
        for (std::uint32_t by = 0; by < size.height; by += s.blockHeight)
            for (std::uint32_t bx = 0; bx < size.width; bx += s.blockWidth) {
                const KVIRect block{std::int32_t(bx), std::int32_t(by),
                                    std::int32_t(std::min(bx + s.blockWidth, size.width) - 1),
                                    std::int32_t(std::min(by + s.blockHeight, size.height) - 1)};
                const KVIRect met = block.intersect(u);
                if (met.isEmpty()) continue;
                counts.blocksStarted += s.bands.size();
                counts.rowsDecoded += s.bands.size() * met.height();
            }
    }
    return counts;
}

TEST(QG2Decoder, StripsGiveTheSamePixelsAsOneStripAndDecodeEachRowOnce) {
    QG2ImageSpec s = spec(3, 61, 53, 3);
    s.regionsAcross = s.regionsDown = 1;
    s.blockWidth = 7;
    s.blockHeight = 4;
    const QG2Image image = writeQG2Image(s);
    std::mt19937 rng(5);
    for (std::int32_t level : {0, 1, 2, -1}) {
        const KVIRect all = whole(61, 53, level);
        DecodeOptions one;
        one.stripHeight = std::uint32_t(all.height());
        const Decoded reference = decode(image.file.bytes, all, level, one);
        ASSERT_EQ(reference.status, KV_OK);
        for (int trial = 0; trial < 4; ++trial) {
            // The whole image, then smaller rectangles.
            KVIRect rect = all;
            if (trial > 0) {
                rect.x0 = std::int32_t(rng() % all.width());
                rect.y0 = std::int32_t(rng() % all.height());
                rect.x1 = rect.x0 + std::int32_t(rng() % (all.x1 - rect.x0 + 1));
                rect.y1 = rect.y0 + std::int32_t(rng() % (all.y1 - rect.y0 + 1));
            }
            for (std::uint32_t h : {1u, 7u, 16u, 64u}) {
                DecodeOptions o;
                o.stripHeight = h;
                // Blocks continued from the bytes kept in the block cache, and, with nothing
                // kept, from bytes read again from where they stopped.
                o.keptByteLimit = trial % 2 == 0 ? std::nullopt : std::optional<std::uint64_t>(0);
                const Decoded d = decode(image.file.bytes, rect, level, o);
                EXPECT_LE(d.bytesKept, o.keptByteLimit.value_or(256 * 1024));
                ASSERT_EQ(d.status, KV_OK);
                for (std::uint32_t b = 0; b < 3; ++b)
                    for (std::uint32_t y = 0; y < d.height; ++y)
                        for (std::uint32_t x = 0; x < d.width; ++x)
                            ASSERT_EQ(d.at(b, x, y), reference.at(b, x + rect.x0, y + rect.y0))
                                << "level " << level << " strip " << h << " at " << x << "," << y;
                // Each block is started once and each of its rows decoded once.
                const QG2DecodeCounts want = expectedCounts(s, image, rect, level, h);
                EXPECT_EQ(d.counts.blocksStarted, want.blocksStarted) << level << " " << h;
                EXPECT_EQ(d.counts.rowsDecoded, want.rowsDecoded) << level << " " << h;
                if (trial == 0) {
                    EXPECT_EQ(d.cacheAfterStrip.back(), 0u);
                }
            }
        }
    }
}

TEST(QG2Decoder, ABlockSpanningTwoStripsResumesFromTheCacheAndLeavesIt) {
    QG2ImageSpec s = spec(1, 8, 8, 0);
    s.blockWidth = s.blockHeight = 8;
    s.regionsAcross = s.regionsDown = 1;
    const QG2Image image = writeQG2Image(s);
    DecodeOptions o;
    o.stripHeight = 5;
    const Decoded d = decode(image.file.bytes, KVIRect{0, 0, 7, 7}, 0, o);
    ASSERT_EQ(d.status, KV_OK);
    EXPECT_EQ(d.cacheAfterStrip, (std::vector<std::size_t>{1, 0}));
    EXPECT_EQ(d.counts.blocksStarted, 1u);
    EXPECT_EQ(d.counts.blocksResumed, 1u);
    EXPECT_EQ(d.counts.rowsDecoded, 8u);
    // The block's bytes were kept for the second strip; with a limit below their size only the
    // state is, and the same pixels come from the bytes read again.
    ASSERT_GT(d.bytesKept, 0u);
    o.keptByteLimit = d.bytesKept - 1;
    const Decoded reread = decode(image.file.bytes, KVIRect{0, 0, 7, 7}, 0, o);
    EXPECT_EQ(reread, d);
    EXPECT_EQ(reread.bytesKept, 0u);
    EXPECT_EQ(reread.cacheAfterStrip, d.cacheAfterStrip);
    o.keptByteLimit.reset();
    o.stripHeight = 8;
    EXPECT_EQ(decode(image.file.bytes, KVIRect{0, 0, 7, 7}, 0, o), d);
    // Columns short of the block's last keep the entry to the end of the decode.
    o.stripHeight = 5;
    EXPECT_EQ(decode(image.file.bytes, KVIRect{0, 0, 6, 7}, 0, o).cacheAfterStrip,
              (std::vector<std::size_t>{1, 1}));
}

// The heap a decode of the whole image holds at its fullest strip, beyond what it began with.
std::int64_t decodeHeap(const Bytes& bytes, std::uint32_t width, std::uint32_t height) {
    KVIODynamicMemStream stream; // a stream that keeps no record of its reads
    const auto size = static_cast<std::uint32_t>(bytes.size());
    EXPECT_EQ(stream.initialize(size, 2.0f), KV_OK);
    EXPECT_EQ(stream.open(), KV_OK);
    EXPECT_EQ(stream.write(bytes.data(), size), size);
    QG2FileDBInfo info(&stream, false, true, false);
    EXPECT_EQ(info.readHeader(), KV_OK);
    QG2Decoder decoder(&info);
    constexpr std::uint32_t kStrip = 16;
    KVISceneBuffer buffer(KVIPixel(KVI_COLORSPACE_GREY, 1, KVI_DATATYPE_UINT8), width, kStrip);
    const auto before = static_cast<std::int64_t>(quarn_test::heapInUse());
    std::int64_t peak = 0;
    EXPECT_EQ(decoder.decodeBegin(KVIRect{0, 0, std::int32_t(width) - 1, std::int32_t(height) - 1},
                                  0, kStrip),
              KV_OK);
    for (std::uint32_t k = 0; k < decoder.getNumStrips(); ++k) {
        KVISceneBuffer window(buffer, 0, 0, width, std::min(kStrip, height - k * kStrip));
        EXPECT_EQ(decoder.decodeStrip(window), KV_OK);
        peak = std::max(peak, static_cast<std::int64_t>(quarn_test::heapInUse()) - before);
    }
    EXPECT_EQ(decoder.decodeEnd(), KV_OK);
    return peak;
}

TEST(QG2Decoder, MemoryIsBoundedByTheStripNotTheImage) {
    const std::int64_t shortImage =
        decodeHeap(writeQG2Image(spec(1, 256, 64, 3)).file.bytes, 256, 64);
    const std::int64_t tallImage =
        decodeHeap(writeQG2Image(spec(1, 256, 1024, 3)).file.bytes, 256, 1024);
    EXPECT_GT(shortImage, 256 * 16 * 4);
    EXPECT_LE(tallImage, shortImage + shortImage / 4);
}

TEST(QG2Decoder, DitherIsDeterministicAndWithinItsAmplitude) {
    const QG2ImageSpec s = spec(3, 45, 38, 2);
    const QG2Image image = writeQG2Image(s);
    for (std::int32_t level : {0, 1}) {
        const KVIRect rect = whole(45, 38, level);
        DecodeOptions on;
        on.dither = true;
        on.stripHeight = 9;
        const Decoded first = decode(image.file.bytes, rect, level, on);
        const Decoded second = decode(image.file.bytes, rect, level, on);
        ASSERT_EQ(first.status, KV_OK);
        EXPECT_EQ(first, second);
        expectNearReference(first, s, image, level, KVI_DATATYPE_UINT8, true, rect);
        // Against the decode without dither: no further than the dither itself reaches (the two
        // references' largest difference) and one grey level of rounding.
        const Decoded off = decode(image.file.bytes, rect, level);
        const std::vector<QG2Plane> withDither = referencePlanes(s, image, level, true);
        const std::vector<QG2Plane> without = referencePlanes(s, image, level, false);
        double amplitude = 0.0, moved = 0.0;
        for (std::uint32_t y = 0; y < first.height; ++y)
            for (std::uint32_t x = 0; x < first.width; ++x) {
                const auto a = referencePixel(withDither, x, y, KVI_DATATYPE_FLOAT32);
                const auto b = referencePixel(without, x, y, KVI_DATATYPE_FLOAT32);
                for (std::uint32_t c = 0; c < 3; ++c) {
                    amplitude = std::max(amplitude, std::fabs(a[c] - b[c]));
                    moved = std::max(moved, double(std::fabs(first.at(c, x, y) - off.at(c, x, y))));
                }
            }
        EXPECT_GT(moved, 0.0);
        EXPECT_LE(moved, amplitude + 1.0);
    }
}

struct CountingInterrupt : KVIInterruptDelegate {
    int calls = 0;
    int stopAt = 0;
    KVStatus checkInterrupt() override { return ++calls == stopAt ? 77 : 0; }
};

TEST(QG2Decoder, StatusesOfTheEntryPoints) {
    QG2ImageSpec s = spec(1, 30, 20, 2);
    s.region = std::array<std::uint32_t, 5>{2, 3, 25, 17, 0};
    const QG2Image image = writeQG2Image(s);
    const Bytes& bytes = image.file.bytes;
    // Outside the stored region (at the level: halved at level 1), or not.
    EXPECT_EQ(decode(bytes, KVIRect{2, 3, 25, 17}, 0).status, KV_OK);
    EXPECT_EQ(decode(bytes, KVIRect{1, 3, 25, 17}, 0).status, KV_QG2_OUTSIDE_REGION);
    EXPECT_EQ(decode(bytes, KVIRect{2, 3, 26, 17}, 0).status, KV_QG2_OUTSIDE_REGION);
    EXPECT_EQ(decode(bytes, KVIRect{1, 1, 12, 8}, 1).status, KV_OK);
    EXPECT_EQ(decode(bytes, KVIRect{1, 1, 13, 8}, 1).status, KV_QG2_OUTSIDE_REGION);
    const Decoded empty = decode(bytes, KVIRect{}, 0);
    EXPECT_EQ(empty.status, KV_OK);
    EXPECT_EQ(empty.width * empty.height, 0u);
    // A level above the image's: the tree's status at the first strip.
    EXPECT_EQ(decode(bytes, KVIRect{0, 0, 0, 0}, 3).status, KV_QG2_LEVEL_TOO_HIGH);
    // Four bands as floats; a data type the conversion does not write.
    const QG2Image four = writeQG2Image(spec(4, 8, 8, 1));
    DecodeOptions o;
    o.dataType = KVI_DATATYPE_FLOAT32;
    EXPECT_EQ(decode(four.file.bytes, KVIRect{0, 0, 7, 7}, 0, o).status, KV_QG2_FOUR_BANDS_FLOAT);
    o.dataType = KVI_DATATYPE_SINT32;
    EXPECT_EQ(decode(bytes, KVIRect{2, 3, 25, 17}, 0, o).status, KV_UNSUPPORTED_DATA_TYPE);
    // A stream that cannot be opened, or that stops short.
    o = {};
    o.prepare = [](quarn_test::VectorStream& stream) { stream.openFailStatus = 9; };
    EXPECT_EQ(decode(bytes, KVIRect{2, 3, 25, 17}, 0, o).status, KV_QG2_SEEK_FAILED);
    o.prepare = [](quarn_test::VectorStream& stream) { stream.failReadsAfter(200); };
    EXPECT_EQ(decode(bytes, KVIRect{2, 3, 25, 17}, 0, o).status, KV_QG2_SHORT_READ);
    // Interrupted inside the block decoding or the synthesis, at any of its questions.
    CountingInterrupt counter;
    o = {};
    o.interrupt = &counter;
    o.stripHeight = 4;
    ASSERT_EQ(decode(bytes, KVIRect{2, 3, 25, 17}, 0, o).status, KV_OK);
    ASSERT_GT(counter.calls, 20);
    for (int stopAt = 1; stopAt <= counter.calls; stopAt += 1 + counter.calls / 20) {
        CountingInterrupt interrupt;
        interrupt.stopAt = stopAt;
        o.interrupt = &interrupt;
        EXPECT_EQ(decode(bytes, KVIRect{2, 3, 25, 17}, 0, o).status, KV_QG2_INTERRUPTED);
    }
}

// Information in shared use that notes each lock and unlock with the size of a decoder's block
// cache at that moment.
class WatchedInfo : public QG2FileDBInfo {
public:
    using QG2FileDBInfo::QG2FileDBInfo;
    KVStatus lockIfShared() override {
        note("lock");
        return QG2FileDBInfo::lockIfShared();
    }
    KVStatus unlockIfShared() override {
        note("unlock");
        return QG2FileDBInfo::unlockIfShared();
    }
    const QG2Decoder* decoder = nullptr;
    std::vector<std::string> events;

private:
    void note(const char* what) {
        if (decoder != nullptr)
            events.push_back(what + std::string(" ") +
                             std::to_string(decoder->getBlockCache().size()));
    }
};

// One whole-image read through a decoder, in strips of 7 rows: band 0's samples.
std::vector<std::uint8_t> readThrough(QG2Decoder& decoder, std::uint32_t width,
                                      std::uint32_t height) {
    KVISceneBuffer buffer(KVIPixel(KVI_COLORSPACE_RGB, 3, KVI_DATATYPE_UINT8), width, height);
    if (decoder.decodeBegin(KVIRect{0, 0, std::int32_t(width) - 1, std::int32_t(height) - 1}, 0,
                            7) != KV_OK)
        return {};
    for (std::uint32_t k = 0; k < decoder.getNumStrips(); ++k) {
        KVISceneBuffer window(buffer, 0, 7 * k, width, std::min(7u, height - 7 * k));
        if (decoder.decodeStrip(window) != KV_OK) return {};
    }
    if (decoder.decodeEnd() != KV_OK) return {};
    std::vector<std::uint8_t> samples;
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* row =
            buffer.getWindowBandData(0) + std::size_t{y} * buffer.getTotalWidth();
        samples.insert(samples.end(), row, row + width);
    }
    return samples;
}

// With shared use a decode takes the lock before it touches its decoder's state, and holds it to
// its end: a decode begun over an unfinished one finds that one's block still cached when it
// locks, and reads of one decoder from several threads follow one another whole.
TEST(QG2Decoder, SharedUseLocksBeforeItTouchesTheDecodersState) {
    QG2ImageSpec s = spec(3, 61, 53, 2);
    s.blockWidth = s.blockHeight = 8;
    const QG2Image image = writeQG2Image(s);
    quarn_test::VectorStream stream(image.file.bytes, false);
    WatchedInfo info(&stream, false, false, true);
    ASSERT_EQ(info.readHeader(), KV_OK);
    QG2Decoder decoder(&info);
    info.decoder = &decoder;
    KVISceneBuffer buffer(KVIPixel(KVI_COLORSPACE_RGB, 3, KVI_DATATYPE_UINT8), 61, 7);
    ASSERT_EQ(decoder.decodeBegin(KVIRect{0, 0, 60, 52}, 0, 7), KV_OK);
    ASSERT_EQ(decoder.decodeStrip(buffer), KV_OK);
    const std::size_t cached = decoder.getBlockCache().size();
    ASSERT_GT(cached, 0u);
    ASSERT_EQ(decoder.decodeBegin(KVIRect{0, 0, 60, 52}, 0, 7), KV_OK);
    EXPECT_EQ(decoder.getBlockCache().size(), 0u);
    ASSERT_EQ(decoder.decodeEnd(), KV_OK);
    EXPECT_EQ(info.events, (std::vector<std::string>{"lock 0", "lock " + std::to_string(cached),
                                                     "unlock 0", "unlock 0"}));
    info.decoder = nullptr;

    const std::vector<std::uint8_t> alone = readThrough(decoder, 61, 53);
    ASSERT_EQ(alone.size(), 61u * 53u);
    std::atomic<int> differing{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 10; ++i)
                differing += readThrough(decoder, 61, 53) != alone;
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(differing, 0);
}

TEST(QG2Decoder, AFailedStripFailsTheRestAndAnotherDecodeStartsClean) {
    const QG2ImageSpec s = spec(1, 20, 20, 1);
    const QG2Image image = writeQG2Image(s);
    quarn_test::VectorStream stream(image.file.bytes, false);
    QG2FileDBInfo info(&stream, false, false, false);
    ASSERT_EQ(info.readHeader(), KV_OK);
    CountingInterrupt interrupt;
    interrupt.stopAt = 3;
    QG2Decoder decoder(&info, &interrupt);
    KVISceneBuffer buffer(KVIPixel(KVI_COLORSPACE_GREY, 1, KVI_DATATYPE_UINT8), 20, 20);
    ASSERT_EQ(decoder.decodeBegin(KVIRect{0, 0, 19, 19}, 0, 10), KV_OK);
    EXPECT_EQ(decoder.decodeStrip(buffer), KV_QG2_INTERRUPTED);
    EXPECT_EQ(decoder.decodeStrip(buffer), KV_QG2_INTERRUPTED);
    // A new decode without decodeEnd drops what was left and decodes as a first one does.
    decoder.setInterruptDelegate(nullptr);
    ASSERT_EQ(decoder.decodeBegin(KVIRect{0, 0, 19, 19}, 0, 20), KV_OK);
    EXPECT_EQ(decoder.decodeStrip(buffer), KV_OK);
    EXPECT_EQ(decoder.decodeEnd(), KV_OK);
    std::vector<float> pixels;
    for (std::uint32_t y = 0; y < 20; ++y)
        for (std::uint32_t x = 0; x < 20; ++x)
            pixels.push_back(buffer.getWindowBandData(0)[y * 20 + x]);
    EXPECT_EQ(pixels, decode(image.file.bytes, KVIRect{0, 0, 19, 19}, 0).bands[0]);
}

// Damaged blocks and directories end in a status or in pixels, never in a crash, a hang or an
// allocation sized by the damage (the sanitizers watch).
TEST(QG2Decoder, DamagedFilesEndInAStatus) {
    QG2ImageSpec s = spec(3, 24, 19, 2);
    s.blockWidth = 9;
    s.blockHeight = 3;
    const QG2Image image = writeQG2Image(s);
    std::mt19937 rng(13);
    int failed = 0;
    for (int round = 0; round < 300; ++round) {
        Bytes bytes = image.file.bytes;
        const auto& place = image.file.directories[rng() % image.file.directories.size()];
        for (int k = 0; k < 3; ++k) {
            // Within a directory (its table, step, sizes, offsets) or a block.
            const std::size_t at = round % 2 == 0
                                       ? place.at + rng() % (place.tableAt - place.at + 8)
                                       : place.blocksAt[0] + rng() % 40;
            if (at < bytes.size()) bytes[at] = static_cast<std::uint8_t>(rng());
        }
        DecodeOptions o;
        o.stripHeight = 1 + rng() % 8;
        const Decoded d = decode(bytes, whole(24, 19, round % 3), round % 3, o);
        failed += d.status != KV_OK;
    }
    EXPECT_GT(failed, 0);
    // A block size of 0, and a block that would end before it begins.
    const auto& place = image.file.directory(0, 0, 0);
    Bytes noSize = image.file.bytes;
    quarn_test::putBE(noSize, place.tableAt - 8, 0, 4);
    EXPECT_EQ(decode(noSize, whole(24, 19, 0), 0).status, KV_QG2_BAD_STRUCTURE);
    Bytes backwards = image.file.bytes;
    quarn_test::putBE(backwards, place.tableAt, 0xFFFFFF00, 4);
    EXPECT_NE(decode(backwards, whole(24, 19, 0), 0).status, KV_OK);
}

TEST(QG2Decoder, BandCountsOtherThanOneThreeAndFourWriteNothing) {
    QG2ImageSpec s = spec(3, 8, 8, 1);
    s.bands.pop_back();
    s.steps.pop_back();
    const QG2Image image = writeQG2Image(s);
    quarn_test::VectorStream stream(image.file.bytes, false);
    QG2FileDBInfo info(&stream, false, false, false);
    ASSERT_EQ(info.readHeader(), KV_OK);
    QG2Decoder decoder(&info);
    KVISceneBuffer buffer(KVIPixel(KVI_COLORSPACE_MULTIBAND, 2, KVI_DATATYPE_UINT8), 8, 8);
    ASSERT_EQ(decoder.decodeBegin(KVIRect{0, 0, 7, 7}, 0, 8), KV_OK);
    EXPECT_EQ(decoder.decodeStrip(buffer), KV_OK);
    EXPECT_EQ(decoder.decodeEnd(), KV_OK);
    for (std::uint16_t b = 0; b < 2; ++b)
        for (int i = 0; i < 64; ++i)
            EXPECT_EQ(buffer.getWindowBandData(b)[i], 0);
}

} // namespace
} // namespace Korvel
