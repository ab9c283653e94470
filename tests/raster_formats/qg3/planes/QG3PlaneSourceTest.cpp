// The plane source's memory model: the environment's names, the estimate's boundary, and the
// planesets that only the full table can hold.

#include "../../RasterRead.h"
#include "RasterImageWriter.h"
#include "qg3/container/QG3FileSimpleContainer.h"
#include "qg3/container/QG3FileSimpleImageSource.h"
#include "qg3/planes/QG3FileSimplePlaneSource.h"

#include <gtest/gtest.h>

using namespace Korvel;
using namespace quarn_test;

namespace {

// The model a plane source over the file's image 1 chooses, given `given`.
std::uint32_t modelFor(const Bytes& file, std::uint32_t given) {
    VectorStream stream(file, false);
    QG3FileSimpleContainer container(&stream, false);
    EXPECT_EQ(container.open(), KV_OK);
    QG3FileSimpleImageSource image(&container, 1);
    EXPECT_EQ(image.open(), KV_OK);
    QG3FileSimplePlaneSource planes(image, given);
    EXPECT_EQ(container.openStream(), KV_OK);
    EXPECT_EQ(planes.QG3PlaneSource::initialize(), KV_OK);
    EXPECT_EQ(planes.chooseMemoryModel(), KV_OK);
    return planes.getMemoryModel();
}

Bytes codedFile(std::uint8_t kind, std::uint8_t layout) {
    RasterImage im;
    im.width = im.height = 24;
    im.levels = 1;
    im.subblockSize = 8;
    im.planes = {std::vector<std::int32_t>(24 * 24, 9)};
    im.format.kind = kind;
    im.format.layout = layout;
    return RasterImageCoder(im).file(kGen3Version);
}

// One band without planes: the estimate is the planeset total times 3.4.
Bytes fileOfTotal(std::uint64_t total) {
    HeaderBody body;
    body.estimateFactor = 0;
    return rasterFile(kGen3Version, {headerPacket(1, body), planesetPacket(1, total, {}, 1, 2)});
}

constexpr std::uint32_t kFull = QG3_MEMORY_MODEL_FULL;
constexpr std::uint32_t kPartial = QG3_MEMORY_MODEL_PARTIAL;
constexpr std::uint32_t kAutomatic = QG3_MEMORY_MODEL_AUTOMATIC;

} // namespace

TEST(QG3PlaneSourceTest, TheEnvironmentNamesAModelByItsFirstLetters) {
    const Bytes pipeDataFirst = codedFile(1, 2);
    const struct {
        const char* value;
        std::uint32_t given;
        std::uint32_t chosen;
    } cases[] = {{nullptr, kPartial, kPartial}, {nullptr, kFull, kFull},
                 {"partia", kFull, kPartial},   {"partial please", kFull, kPartial},
                 {"part", kFull, kFull},        {"Partial", kFull, kFull},
                 {"fullest", kPartial, kFull},  {"Full", kPartial, kPartial},
                 {"defaults", kPartial, kFull}, {"", kPartial, kPartial}};
    for (const auto& c : cases) {
        const ScopedEnv env("KV_QG3_MEMORY_MODEL", c.value);
        EXPECT_EQ(modelFor(pipeDataFirst, c.given), c.chosen) << (c.value ? c.value : "unset");
    }
}

TEST(QG3PlaneSourceTest, PartialHoldsOnlyPipeOrderDataFirstPlanesets) {
    const ScopedEnv env("KV_QG3_MEMORY_MODEL", nullptr);
    EXPECT_EQ(modelFor(codedFile(1, 2), kPartial), kPartial);
    EXPECT_EQ(modelFor(codedFile(1, 0), kPartial), kFull);
    EXPECT_EQ(modelFor(codedFile(1, 3), kPartial), kFull);
    EXPECT_EQ(modelFor(codedFile(5, 2), kPartial), kFull);
}

TEST(QG3PlaneSourceTest, TheEstimateChoosesPartialFrom256MiB) {
    const ScopedEnv env("KV_QG3_MEMORY_MODEL", nullptr);
    constexpr std::uint64_t kBoundary = 268435456;
    std::uint64_t total = std::uint64_t((kBoundary - 11814) / 3.4) - 3;
    while (std::uint64_t(double(total) * 3.4) + 11814 < kBoundary)
        ++total;
    ASSERT_EQ(std::uint64_t(double(total) * 3.4) + 11814, kBoundary);
    EXPECT_EQ(modelFor(fileOfTotal(total), kAutomatic), kPartial);
    EXPECT_EQ(modelFor(fileOfTotal(total - 1), kAutomatic), kFull);
    EXPECT_EQ(modelFor(fileOfTotal(0), kAutomatic), kFull);
}
