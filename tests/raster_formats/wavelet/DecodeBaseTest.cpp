// The strip cache behind the wavelet decoder, over a file written by the test writer: subband
// rows of any columns equal the coded coefficients (colour transformed back when every band is
// decoded), a subband holds one row of subblocks, and a failing read is retried.

#include "wavelet/DecodeBase.h"
#include "../RasterRead.h"
#include "qg3/QG3FilePlaneStoreClient.h"
#include "qg3/QG3FileSimpleContainer.h"
#include "qg3/QG3FileSimpleImageSource.h"
#include "qg3/QG3FileSimplePlaneSource.h"
#include "qg3/QG3ImageInfo.h"
#include "qg3/QG3PlaneRecord.h"
#include "qg3/QG3Status.h"

#include <gtest/gtest.h>

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

} // namespace

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
    for (int b = 0; b < 3; ++b) {
        std::vector<std::int32_t> plane(90 * 70);
        for (std::int32_t& v : plane)
            v = std::int32_t(random() % 256);
        im.planes.push_back(plane);
    }
    const RasterImageCoder coder(im);
    // The coefficients the decoder sees, with the transform undone as the strip cache does.
    std::vector<RasterSubbands> want = coder.decodedCoefficients();
    for (std::size_t s = 0; s < want[0].size(); ++s)
        for (std::size_t i = 0; i < want[0][s].samples.size(); ++i)
            rasterColorInverse(want[0][s].samples[i], want[1][s].samples[i], want[2][s].samples[i]);

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

    std::int32_t* rows[3] = {};
    EXPECT_EQ(base.getSubbandRow(rows, 9, 0, 0, 0), KV_OK) << "beyond the subbands";
    EXPECT_EQ(rows[0], nullptr);
    EXPECT_EQ(base.getSubbandRow(rows, 8, 35, 0, 0), KV_QG3_NOT_FOUND);
    EXPECT_EQ(base.getSubbandRow(rows, 8, 0, 3, 45), KV_QG3_NOT_FOUND);

    for (int i = 0; i < 300; ++i) {
        const auto s = std::uint8_t(random() % 9);
        const QG3Subband& sub = info.subbands[s];
        const std::uint32_t row = random() % sub.height, x0 = random() % sub.width;
        const std::uint32_t x1 = x0 + random() % (sub.width - x0);
        if (i % 50 == 7) {
            failing.failAt = failing.reads;
            base.clearStripCache();
            EXPECT_EQ(base.getSubbandRow(rows, s, row, x0, x1), KV_QG3_READ_FAILED);
        }
        ASSERT_EQ(base.getSubbandRow(rows, s, row, x0, x1), KV_OK);
        for (unsigned b = 0; b < 3; ++b)
            for (std::uint32_t x = x0; x <= x1; ++x)
                ASSERT_EQ(rows[b][x - x0], want[b][s].at(x, row))
                    << int(s) << " " << row << " " << x;
        // One row of subblocks per subband, one subblock of scratch, and the records.
        std::uint64_t bound = 3ull * 16 * 16 * 4 + 32ull * 3 * sizeof(QG3PlaneRecord) + 8 * 45 * 4;
        for (const QG3Subband& each :
             std::vector<QG3Subband>(info.subbands.get(), info.subbands.get() + 9))
            bound += 3ull * 16 * each.width * 4;
        EXPECT_LE(base.getStripCacheMemory(), bound);
    }
}
