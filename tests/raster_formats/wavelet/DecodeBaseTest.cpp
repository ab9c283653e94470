// The strip cache behind the wavelet decoder, over a file written by the test writer: subband
// rows of any columns equal the coded coefficients (colour transformed back when every band is
// decoded), a subband holds one row of subblocks, and a failing read is retried.

#include "wavelet/DecodeBase.h"
#include "../RasterRead.h"
#include "qg3/container/QG3FileSimpleContainer.h"
#include "qg3/container/QG3FileSimpleImageSource.h"
#include "qg3/container/QG3ImageInfo.h"
#include "qg3/container/QG3Status.h"
#include "qg3/planes/QG3FilePlaneStoreClient.h"
#include "qg3/planes/QG3FileSimplePlaneSource.h"
#include "qg3/planes/QG3PlaneRecord.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>

using namespace Korvel;
using namespace quarn_test;

namespace {

// Passes reads to a client until `failAt` reads were made, then fails once with 2001.
class FailingClient : public QG3PlaneStoreClient {
public:
    FailingClient(QG3PlaneStore& store, QG3FilePlaneStoreClient& inner)
        : QG3PlaneStoreClient(store), inner_(inner) {}
    bool hasSubblocks(std::uint8_t s, std::uint32_t a, std::uint32_t b) override {
        return inner_.hasSubblocks(s, a, b);
    }
    KVStatus readSubblock(std::uint8_t s, std::uint32_t k, QG3PlaneRecord* records) override {
        return reads++ == failAt ? KV_QG3_READ_FAILED : inner_.readSubblock(s, k, records);
    }
    int reads = 0;
    int failAt = -1;

private:
    QG3FilePlaneStoreClient& inner_;
};

// Every subband row asked for, over random columns, against the coded coefficients (colour
// transformed back when the image has a transform); a read failing now and then is retried.
// Gives the largest magnitude of a coefficient in `largest`.
void checkRows(const RasterImage& im, std::mt19937& random, std::int64_t& largest) {
    const RasterImageCoder coder(im);
    // The coefficients the decoder sees, with the transform undone as the strip cache does.
    std::vector<RasterSubbands> want = coder.decodedCoefficients();
    if (im.colorTransform != 1)
        for (std::size_t s = 0; s < want[0].size(); ++s)
            for (std::size_t i = 0; i < want[0][s].samples.size(); ++i)
                rasterColorInverse(want[0][s].samples[i], want[1][s].samples[i],
                                   want[2][s].samples[i]);
    largest = 0;
    for (const RasterSubbands& band : want)
        for (const RasterSubband& sub : band)
            for (const std::int32_t v : sub.samples)
                largest = std::max<std::int64_t>(largest, std::abs(std::int64_t(v)));

    VectorStream stream(coder.file(kGen3Version), false);
    QG3FileSimpleContainer container(&stream, false);
    ASSERT_EQ(container.open(), KV_OK);
    QG3FileSimpleImageSource image(&container, 1);
    ASSERT_EQ(image.open(), KV_OK);
    QG3FileSimplePlaneSource planes(image, QG3_MEMORY_MODEL_FULL);
    ASSERT_EQ(planes.initialize(), KV_OK);
    std::unique_ptr<QG3FilePlaneStoreClient> client = planes.createFilePlaneStoreClient();
    FailingClient failing(*planes.getPlaneStore(), *client);
    DecodeBase base(*planes.getImageInfo(), failing, nullptr);
    const QG3ImageInfo& info = *planes.getImageInfo();
    const auto subbands = std::uint8_t(info.numSubbands);

    std::int32_t* rows[3] = {};
    EXPECT_EQ(base.getSubbandRow(rows, subbands, 0, 0, 0), KV_OK) << "beyond the subbands";
    EXPECT_EQ(rows[0], nullptr);
    const QG3Subband& lastSub = info.subbands[subbands - 1];
    EXPECT_EQ(base.getSubbandRow(rows, subbands - 1, lastSub.height, 0, 0), KV_QG3_NOT_FOUND);
    EXPECT_EQ(base.getSubbandRow(rows, subbands - 1, 0, 3, lastSub.width), KV_QG3_NOT_FOUND);

    const auto matches = [&](std::int32_t* const* got, std::uint8_t s, std::uint32_t row,
                             std::uint32_t x0, std::uint32_t x1) {
        for (unsigned b = 0; b < 3; ++b)
            for (std::uint32_t x = x0; x <= x1; ++x)
                // A row of zeros may come as null.
                if ((got[b] ? got[b][x - x0] : 0) != want[b][s].at(x, row)) return false;
        return true;
    };
    for (int i = 0; i < 300; ++i) {
        const auto s = std::uint8_t(random() % subbands);
        const QG3Subband& sub = info.subbands[s];
        const std::uint32_t row = random() % sub.height, x0 = random() % sub.width;
        const std::uint32_t x1 = x0 + random() % (sub.width - x0);
        if (i % 50 == 7) {
            failing.failAt = failing.reads;
            base.clearStripCache();
            EXPECT_EQ(base.getSubbandRow(rows, s, row, x0, x1), KV_QG3_READ_FAILED);
        }
        ASSERT_EQ(base.getSubbandRow(rows, s, row, x0, x1), KV_OK);
        ASSERT_TRUE(matches(rows, s, row, x0, x1)) << int(s) << " " << row;
        // The row stays valid while the next row of its subband is asked for, in the same row
        // of subblocks or the next one.
        if (row + 1 < sub.height) {
            std::int32_t* next[3] = {};
            ASSERT_EQ(base.getSubbandRow(next, s, row + 1, x0, x1), KV_OK);
            ASSERT_TRUE(matches(next, s, row + 1, x0, x1)) << int(s) << " " << row + 1;
            ASSERT_TRUE(matches(rows, s, row, x0, x1)) << int(s) << " " << row << " held";
        }
        // At most four bytes a coefficient for one row of subblocks per subband, two rows per
        // subband, one subblock of scratch, the records and the zero rows.
        const std::uint64_t S = im.subblockSize;
        std::uint64_t widest = 0;
        for (std::uint8_t k = 0; k < subbands; ++k)
            widest = std::max<std::uint64_t>(widest, info.subbands[k].width);
        std::uint64_t bound =
            3 * S * S * 4 + 32ull * 3 * sizeof(QG3PlaneRecord) + 8ull * widest * 4 * 2;
        for (std::uint8_t k = 0; k < subbands; ++k)
            bound += 3 * (S + 2) * info.subbands[k].width * 4;
        EXPECT_LE(base.getStripCacheMemory(), bound);
    }
}

} // namespace

// 8-bit content under a colour transform, lossy: coefficients of one and two bytes.
TEST(DecodeBaseTest, RowsOfAnyColumnsAreTheCodedCoefficients) {
    std::mt19937 random(4);
    RasterImage im;
    im.width = 90;
    im.height = 70;
    im.levels = 2;
    im.subblockSize = 16;
    im.colorTransform = 13;
    im.colorSpace = 10;
    im.droppedPlanes = 2;
    appendPlanes(im, 3, [&](std::uint32_t) { return std::int32_t(random() % 256); });
    std::int64_t largest = 0;
    checkRows(im, random, largest);
}

// 16-bit content in three column bands: full-range noise (coefficients beyond 16 bits), a
// small ripple (coefficients of one byte) and flat zero (subblocks of zeros), with data in the
// refinement subbands; each row of subblocks mixes them, so every stored width meets the others.
TEST(DecodeBaseTest, CoefficientsOfEveryWidthDecodeExactly) {
    std::mt19937 random(9);
    RasterImage im;
    im.width = 200;
    im.height = 75;
    im.levels = 2;
    im.subblockSize = 16;
    im.dataType = 7;
    im.sampleMax = 65535;
    im.colorSpace = 5;
    im.refinementBits = 2;
    appendPlanes(im, 3, [&](std::uint32_t x) {
        return x < 60    ? std::int32_t(random() % 65536)
               : x < 130 ? 300 + std::int32_t(random() % 4)
                         : 0;
    });
    std::int64_t largest = 0;
    checkRows(im, random, largest);
    EXPECT_GT(largest, INT16_MAX) << "no coefficient beyond 16 bits";
}
