// Writes the files of samples/ with the test-side writers: raster files of each generation,
// lossless and lossy, and one of two images. Run from the project root: make-samples samples
//
// Generation-3 and -4 rasters are real coded images of a generated landscape (so that reading
// them decodes), the generation-2 raster carries filler plane data; point clouds are coded for
// real.

#include "ClassicalMetadataWriter.h"
#include "LidarBodyWriter.h"
#include "LidarFileWriter.h"
#include "LidarPointCloudWriter.h"
#include "QG2FileWriter.h"
#include "RasterFileWriter.h"
#include "RasterImageWriter.h"
#include "RasterScene.h"

#include <cstdio>
#include <fstream>
#include <random>
#include <string>

using namespace quarn_test;

namespace {

Bytes filler(std::size_t length, std::uint32_t seed) {
    std::mt19937 random(seed);
    Bytes bytes(length);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(random());
    return bytes;
}

// A 256 x 192 RGB landscape in four levels; lossy images drop the low planes of their high
// subbands. Each sample uses another planeset order, layout and colour transform.
Bytes rasterSample(const Version& version, const char* modifications, unsigned droppedPlanes,
                   std::uint8_t kind, std::uint8_t layout, std::uint8_t colorTransform,
                   std::uint32_t seed) {
    RasterImage image;
    image.width = 256;
    image.height = 192;
    image.planes = landscape(image.width, image.height, 3, seed, 0, 255, 1);
    image.colorSpace = 10; // RGB
    image.levels = 4;
    image.subblockSize = 32;
    image.colorTransform = colorTransform;
    image.droppedPlanes = droppedPlanes;
    image.format.kind = kind;
    image.format.layout = layout;
    const Bytes metadata =
        ClassicalMetadataWriter().texts("IMAGE::MODIFICATIONS", {modifications}, {}).eom().bytes();
    return RasterImageCoder(image).file(version, {metadataPacket(1, 0, 1, metadata)});
}

// Two 128 x 96 lossless landscapes side by side, placed by their georeferencing: one 256 x 96
// mosaic, whose full scene touches both images and so shows a ratio.
Bytes twoImageSample() {
    const Bytes metadata =
        ClassicalMetadataWriter().texts("IMAGE::MODIFICATIONS", {"LOSSLESS"}, {}).eom().bytes();
    std::vector<RasterPacket> packets;
    for (std::uint32_t n = 1; n <= 2; ++n) {
        RasterImage image;
        image.width = 128;
        image.height = 96;
        image.planes = landscape(image.width, image.height, 3, 10 + n, 0, 255, 1);
        image.colorSpace = 10; // RGB
        image.levels = 3;
        image.subblockSize = 32;
        image.colorTransform = 10;
        for (RasterPacket& p : RasterImageCoder(image).packets(n))
            packets.push_back(std::move(p));
        packets.push_back(placementPacket(n, 500000.0 + 128.0 * (n - 1), 4000096.0, 1, -1));
        packets.push_back(metadataPacket(1, 0, n, metadata));
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
    bool ok = save(dir + "/raster-gen2.qg2", qg2Sample()) &&
              save(dir + "/raster-gen3-lossless.qg3",
                   rasterSample(kGen3Version, "LOSSLESS", 0, 1, 0, 10, 3)) &&
              save(dir + "/raster-gen3-lossy.qg3",
                   rasterSample(kGen3Version, "COMPRESSED", 3, 5, 2, 13, 4)) &&
              save(dir + "/raster-gen4-lossless.qg4",
                   rasterSample(kGen4Version, "LOSSLESS", 0, 1, 2, 4, 5)) &&
              save(dir + "/raster-gen4-lossy.qg4",
                   rasterSample(kGen4Version, "COMPRESSED SCALED", 2, 1, 3, 10, 6)) &&
              save(dir + "/raster-gen4-two-images.qg4", twoImageSample());
    ok = ok && save(dir + "/lidar-lossless.qrn", lidarSample(20000, true, true, 20000, 7)) &&
         save(dir + "/lidar-lossy-rgb-time.qg4", lidarSample(15000, true, true, 60000, 8)) &&
         save(dir + "/lidar-lossy-plain.qg4", lidarSample(15000, false, false, 60000, 9)) &&
         save(dir + "/lidar-no-count.qrn", lidarSample(5000, true, false, 0, 10));
    return ok ? 0 : 1;
}
