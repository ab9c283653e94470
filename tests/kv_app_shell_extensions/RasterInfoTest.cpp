// The handler on raster files: the compression text from the reader's data size, the file's
// length and the modification flags; library statuses passed through; headers read only.

#include "ClassicalMetadataWriter.h"
#include "HandlerTestSupport.h"
#include "HeapProbe.h"
#include "KVIO_IStreamStream.h"
#include "QG2FileWriter.h"
#include "QuarnInfoPaths.h"
#include "RasterFileWriter.h"

#include <gtest/gtest.h>

#include <iostream>

using namespace quarn_test;

namespace {

HeaderBody rgbImage(std::uint32_t width, std::uint32_t height, std::uint8_t colorSpace = 10) {
    HeaderBody b;
    b.width = width;
    b.height = height;
    b.numLevels = 2;
    b.bands = colorSpace & 0x40 ? 4 : 3;
    b.colorSpace = colorSpace;
    b.dataType = 5; // unsigned 8
    return b;
}

RasterPacket modifications(const char* text) {
    return metadataPacket(
        1, 0, 1, ClassicalMetadataWriter().texts("IMAGE::MODIFICATIONS", {text}, {}).eom().bytes());
}

// A file of one image padded with plane data to exactly length bytes.
Bytes imageOfLength(const Version& version, const HeaderBody& body,
                    const std::vector<RasterPacket>& more, std::size_t length) {
    const std::size_t bare = singleImageFile(version, body, more, 0).size();
    std::vector<RasterPacket> packets{headerPacket(1, body)};
    const std::size_t planeData = length - bare;
    packets.push_back(planesetPacket(1, planeData, Bytes(planeData, 0x5A)));
    packets.insert(packets.end(), more.begin(), more.end());
    Bytes file = rasterFile(version, packets);
    EXPECT_EQ(length, file.size());
    return file;
}

TEST(RasterInfo, RatioFromDataSizeOverLength) {
    // 1000 x 1000 x 3 bytes: 20 in 150,000 bytes, 18.75 rounds to 19 in 160,000.
    const auto lossy = modifications("COMPRESSED");
    HandlerResult r =
        runHandler(imageOfLength(kGen3Version, rgbImage(1000, 1000), {lossy}, 150000));
    EXPECT_EQ(S_OK, r.initialize);
    EXPECT_EQ(u"QG3 Raster", r.generation);
    EXPECT_EQ(u"20:1", r.compression);
    r = runHandler(imageOfLength(kGen4Version, rgbImage(1000, 1000), {lossy}, 160000));
    EXPECT_EQ(u"QG4 Raster", r.generation);
    EXPECT_EQ(u"19:1", r.compression);
    // An alpha band does not count: four bands, three of colour.
    r = runHandler(imageOfLength(kGen3Version, rgbImage(1000, 1000, 10 | 0x40), {lossy}, 150000));
    EXPECT_EQ(u"20:1", r.compression);
}

TEST(RasterInfo, LosslessOnlyWithoutModifications) {
    HandlerResult r = runHandler(
        imageOfLength(kGen3Version, rgbImage(100, 100), {modifications("LOSSLESS")}, 6000));
    EXPECT_EQ(S_OK, r.initialize);
    EXPECT_EQ(u"Lossless", r.compression);
    r = runHandler(
        imageOfLength(kGen4Version, rgbImage(100, 100), {modifications("LOSSLESS")}, 6000));
    EXPECT_EQ(u"Lossless", r.compression);
    // No modification record: unknown, so a ratio (30,000 / 6,000).
    r = runHandler(imageOfLength(kGen3Version, rgbImage(100, 100), {}, 6000));
    EXPECT_EQ(u"5:1", r.compression);
    r = runHandler(
        imageOfLength(kGen4Version, rgbImage(100, 100), {modifications("CROPPED")}, 6000));
    EXPECT_EQ(u"5:1", r.compression);
}

TEST(RasterInfo, Generation2IsAlwaysARatio) {
    QG2FileLayout layout;
    layout.bands = 3;
    layout.width = 200;
    layout.height = 100;
    layout.subbands = {std::nullopt};
    QG2WrittenFile qg2 = writeQG2File(layout);
    HandlerResult r = runHandler(qg2.bytes);
    EXPECT_EQ(S_OK, r.initialize);
    EXPECT_EQ(u"QG2 Raster", r.generation);
    // No modification record is looked at below generation 3: always a ratio.
    const float quotient = 200.0f * 100.0f * 3.0f / static_cast<float>(qg2.bytes.size());
    const std::string number = std::to_string(roundedRatio(quotient));
    EXPECT_EQ(std::u16string(number.begin(), number.end()) + u":1", r.compression);
}

TEST(RasterInfo, FilesOfSeveralImagesShowTheMosaicsRatio) {
    // Two lossless images: 300 x 200 at ground resolution 1 with its origin at (0, 200), and
    // 200 x 100 at resolution 0.5 at (400, 150). The mosaic covers x 0 to 500 and y 0 to 200 at
    // the finer resolution: 1000 x 400 pixels of 3 bytes. Its full scene touches both images, so
    // it is mosaicked: a ratio, not "Lossless".
    const auto lossless = [](std::uint32_t image) {
        return metadataPacket(1, 0, image,
                              ClassicalMetadataWriter()
                                  .texts("IMAGE::MODIFICATIONS", {"LOSSLESS"}, {})
                                  .eom()
                                  .bytes());
    };
    const Bytes file = rasterFile(
        kGen4Version, {headerPacket(1, rgbImage(300, 200)), planesetPacket(1, 0, Bytes(9000, 7)),
                       placementPacket(1, 0, 200, 1, -1), lossless(1),
                       headerPacket(2, rgbImage(200, 100)), planesetPacket(2, 0, Bytes(5000, 7)),
                       placementPacket(2, 400, 150, 0.5, -0.5), lossless(2)});
    const HandlerResult r = runHandler(file);
    EXPECT_EQ(S_OK, r.initialize);
    EXPECT_EQ(u"QG4 Raster", r.generation);
    const std::string number =
        std::to_string(roundedRatio(1000.0f * 400.0f * 3.0f / static_cast<float>(file.size())));
    EXPECT_EQ(std::u16string(number.begin(), number.end()) + u":1", r.compression);
}

TEST(RasterInfo, AQuarterMillionImagesAnswerInMemoryBoundedPerImage) {
    // 16 x 16 grey images in a 500 x 500 grid: an 8000 x 8000 mosaic of one byte per pixel. The
    // heap holds, per image, its three packets listed by the database, its header and planeset
    // packets loaded by the memory estimate, its extras loaded by its reader, and its place in the
    // mosaic's index; no reader is kept.
    constexpr std::uint32_t kImages = 500 * 500;
    Bytes file = imageGridFile(kGen3Version, 500, 16);
    const std::size_t length = file.size();
    SparseStream stream({{0, std::move(file)}}, length);
    const std::uint64_t before = heapInUse();
    std::uint64_t peak = 0, reads = 0;
    // Every 64th read: sampling the heap costs more than a read.
    stream.beforeRead = [&] {
        if (++reads % 64 == 0) peak = std::max(peak, heapInUse() - before);
    };
    const HandlerResult r = runHandler(&stream);
    EXPECT_EQ(S_OK, r.initialize);
    const std::string number = std::to_string(roundedRatio(64.0e6f / static_cast<float>(length)));
    EXPECT_EQ(std::u16string(number.begin(), number.end()) + u":1", r.compression);
    EXPECT_LT(peak, std::uint64_t{kImages} * 2500);
    std::cout << "[ figures  ] 250,000 images in " << length << " bytes: at most " << peak / kImages
              << " bytes per image while the handler answers" << std::endl;
}

TEST(RasterInfo, LibraryStatusesPassUnchangedAndLeaveTheTextEmpty) {
    // A header body with 0 bands: the container refuses it with its own status.
    HeaderBody broken = rgbImage(64, 64);
    broken.bands = 0;
    HandlerResult r = runHandler(singleImageFile(kGen3Version, broken));
    EXPECT_EQ(2006, r.initialize) << "a positive status that callers read as success";
    EXPECT_EQ(u"QG3 Raster", r.generation);
    EXPECT_EQ(u"", r.compression);
    // Two images, the second with a colour space of its own: the mosaic refuses to merge them.
    r = runHandler(singleImageFile(kGen3Version, rgbImage(16, 16),
                                   {headerPacket(2, rgbImage(16, 16, 1)), planesetPacket(2, 0)}));
    EXPECT_GT(r.initialize, 0);
    EXPECT_EQ(u"", r.compression);
    // Only a header: the stream ends before any packet.
    r = runHandler(fileHeader(kGen3Version));
    EXPECT_GT(r.initialize, 0);
    EXPECT_EQ(u"", r.compression);
}

TEST(RasterInfo, RatiosBeyondThirtyTwoBitsAreHeld) {
    EXPECT_EQ(20u, roundedRatio(19.6f));
    EXPECT_EQ(0x7FFFFFFFu, roundedRatio(3.0e10f));
    EXPECT_EQ(0x7FFFFFFFu, roundedRatio(1.0f / 0.0f));
    EXPECT_EQ(0u, roundedRatio(0.0f / 0.0f));
}

TEST(RasterInfo, ReadsHeadersOnly) {
    // A header packet, then a planeset packet whose body holds 100 MB of plane data that the
    // stream only pretends to have.
    constexpr std::uint64_t planeData = 100u << 20;
    Bytes head = rasterFile(kGen3Version, {headerPacket(1, rgbImage(20000, 20000))});
    const Bytes planesetFields = planesetBody(1, 0, planeData);
    const Bytes planesetHeader =
        packetHeader(planesetPacket(1, planeData).header, planesetFields.size() + planeData);
    head.insert(head.end(), planesetHeader.begin(), planesetHeader.end());
    head.insert(head.end(), planesetFields.begin(), planesetFields.end());
    SparseStream stream({{0, head}}, head.size() + planeData);
    HandlerResult r = runHandler(&stream);
    EXPECT_EQ(S_OK, r.initialize);
    EXPECT_EQ(u"QG3 Raster", r.generation);
    EXPECT_EQ(u"11:1", r.compression) << "1.2 GB of pixels in 100 MB";
    EXPECT_LT(stream.bytesRead, 64u * 1024u);
}

TEST(RasterInfo, AnExceptionFromTheLibraryIsEFail) {
    Bytes file = imageOfLength(kGen3Version, rgbImage(10, 10), {}, 1000);
    SparseStream stream({{0, file}}, file.size());
    stream.throwOnRead = true;
    DWORD ratio = 7, kind = 2;
    KVIO_IStreamStream adapter(&stream);
    EXPECT_EQ(E_FAIL, readRasterInfo(adapter, ratio, kind));
    EXPECT_EQ(7u, ratio);
    EXPECT_EQ(2u, kind);
}

} // namespace
