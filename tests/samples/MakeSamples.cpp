// Writes the files of samples/ with the test-side writers: raster files of each generation,
// lossless and lossy, and one of two images. Run from the project root: make-samples samples
//
// Raster plane data is filler of a plausible size (the handler reads headers only); point
// clouds are coded for real.

#include "ClassicalMetadataWriter.h"
#include "LidarBodyWriter.h"
#include "LidarFileWriter.h"
#include "LidarPointCloudWriter.h"
#include "QG2FileWriter.h"
#include "RasterFileWriter.h"

#include <cstdio>
#include <fstream>
#include <random>
#include <string>

using namespace quarn_test;

namespace {

HeaderBody rgbImage(std::uint32_t width, std::uint32_t height) {
    HeaderBody b;
    b.width = width;
    b.height = height;
    b.numLevels = 3;
    b.bands = 3;
    b.colorSpace = 10; // RGB
    b.dataType = 5;    // unsigned 8 bits
    return b;
}

Bytes filler(std::size_t length, std::uint32_t seed) {
    std::mt19937 random(seed);
    Bytes bytes(length);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(random());
    return bytes;
}

Bytes rasterSample(const Version& version, const char* modifications, std::size_t planeData,
                   std::uint32_t seed) {
    const HeaderBody body = rgbImage(512, 384);
    const Bytes metadata =
        ClassicalMetadataWriter().texts("IMAGE::MODIFICATIONS", {modifications}, {}).eom().bytes();
    return rasterFile(version,
                      {headerPacket(1, body), planesetPacket(1, planeData, filler(planeData, seed)),
                       metadataPacket(1, 0, 1, metadata)});
}

// Two 256 x 192 lossless images side by side, placed by their georeferencing: one 512 x 192
// mosaic, whose full scene is mosaicked and so shows a ratio.
Bytes twoImageSample(std::size_t planeData) {
    const Bytes metadata =
        ClassicalMetadataWriter().texts("IMAGE::MODIFICATIONS", {"LOSSLESS"}, {}).eom().bytes();
    std::vector<RasterPacket> packets;
    for (std::uint32_t image = 1; image <= 2; ++image) {
        packets.push_back(headerPacket(image, rgbImage(256, 192)));
        packets.push_back(planesetPacket(image, planeData, filler(planeData, 10 + image)));
        packets.push_back(placementPacket(image, 500000.0 + 256.0 * (image - 1), 4000192.0, 1, -1));
        packets.push_back(metadataPacket(1, 0, image, metadata));
    }
    return rasterFile(kGen4Version, packets);
}

Bytes qg2Sample() {
    QG2FileLayout layout;
    layout.bands = 3;
    layout.width = 320;
    layout.height = 240;
    layout.subbands = {std::nullopt};
    Bytes bytes = writeQG2File(layout).bytes;
    const Bytes tail = filler(23000, 2);
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
}

// A surveyed strip of numPoints points, really coded: X, Y, Z at centimetres, Intensity, and
// Red and GPSTime when asked; "PreCompressionPointCount" when countBefore is positive.
Bytes lidarSample(std::size_t numPoints, bool red, bool gpsTime, double countBefore,
                  std::uint32_t seed) {
    std::mt19937 random(seed);
    LidarPointCloud cloud;
    cloud.numLevels = 3;
    cloud.blockSize = 1024;
    const auto integerChannel = [&](const char* name, std::uint16_t datatype, double scale,
                                    double offset) {
        LidarCloudChannel c;
        c.name = name;
        c.datatype = datatype;
        c.scale = scale;
        c.offset = offset;
        c.integers.resize(numPoints);
        return c;
    };
    LidarCloudChannel x = integerChannel("X", 2051, 0.01, 500000.0);
    LidarCloudChannel y = integerChannel("Y", 2051, 0.01, 4000000.0);
    LidarCloudChannel z = integerChannel("Z", 2051, 0.01, 100.0);
    LidarCloudChannel intensity = integerChannel("Intensity", 512, 1.0, 0.0);
    LidarCloudChannel r = integerChannel("Red", 512, 1.0, 0.0);
    LidarCloudChannel time;
    time.name = "GPSTime";
    time.datatype = 2051;
    time.transform = 61;
    for (std::size_t i = 0; i < numPoints; ++i) {
        x.integers[i] = static_cast<std::int64_t>(i * 7 + random() % 5);
        y.integers[i] = static_cast<std::int64_t>((i % 400) * 25 + random() % 9);
        z.integers[i] = static_cast<std::int64_t>(1500 + (i / 50) % 300 + random() % 20);
        intensity.integers[i] = static_cast<std::int64_t>(random() % 64 == 0 ? 0 : random() % 4096);
        r.integers[i] = static_cast<std::int64_t>(random() % 256);
        time.values.push_back(2.5e5 + static_cast<double>(i) * 1.0e-5);
    }
    cloud.channels = {x, y, z, intensity};
    if (red) cloud.channels.push_back(r);
    if (gpsTime) cloud.channels.push_back(time);
    LidarFileWriter file = cloud.file();
    LidarBodyWriter metadata;
    metadata.metadataHeader(countBefore > 0 ? 2 : 1);
    if (countBefore > 0)
        metadata.metadataRecord("PreCompressionPointCount", "points before compression", 3,
                                LidarBodyWriter::doubles({countBefore}));
    metadata.metadataRecord("Software", "", 1, std::string("make-samples", 13));
    file.metadata = metadata.bytes();
    file.wkt = "LOCAL_CS[\"sample\"]";
    file.classNames = {"ground", "vegetation", "building"};
    return file.write().flatten();
}

bool save(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-samples FOLDER\n");
        return 2;
    }
    const std::string dir = argv[1];
    bool ok =
        save(dir + "/raster-gen2.qg2", qg2Sample()) &&
        save(dir + "/raster-gen3-lossless.qg3",
             rasterSample(kGen3Version, "LOSSLESS", 200000, 3)) &&
        save(dir + "/raster-gen3-lossy.qg3", rasterSample(kGen3Version, "COMPRESSED", 29491, 4)) &&
        save(dir + "/raster-gen4-lossless.qg4",
             rasterSample(kGen4Version, "LOSSLESS", 250000, 5)) &&
        save(dir + "/raster-gen4-lossy.qg4",
             rasterSample(kGen4Version, "COMPRESSED SCALED", 58982, 6)) &&
        save(dir + "/raster-gen4-two-images.qg4", twoImageSample(14500));
    ok = ok && save(dir + "/lidar-lossless.qrn", lidarSample(20000, true, true, 20000, 7)) &&
         save(dir + "/lidar-lossy-rgb-time.qg4", lidarSample(15000, true, true, 60000, 8)) &&
         save(dir + "/lidar-lossy-plain.qg4", lidarSample(15000, false, false, 60000, 9)) &&
         save(dir + "/lidar-no-count.qrn", lidarSample(5000, true, false, 0, 10));
    return ok ? 0 : 1;
}
