// Writes the files of samples/ with the test-side writers: raster files of each generation,
// lossless and lossy. Run from the project root: make-samples samples
//
// Plane data is filler of a plausible size; the handler reads headers only.

#include "ClassicalMetadataWriter.h"
#include "LidarBodyWriter.h"
#include "LidarFileWriter.h"
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

// A point cloud of numPoints points with X, Y, Z and the further channels, its subband data
// filler of dataBytes, and "PreCompressionPointCount" when countBefore is positive.
Bytes lidarSample(std::uint64_t numPoints, const std::vector<const char*>& more, double countBefore,
                  std::size_t dataBytes, std::uint32_t seed) {
    LidarFileWriter file;
    file.version = {4, 1, 0, 0};
    file.header.numPoints = numPoints;
    for (const char* name : {"X", "Y", "Z"}) {
        LidarChannelRecord c;
        c.name = name;
        c.maximum = 100000;
        c.scale = 0.01;
        file.header.channels.push_back(c);
    }
    for (const char* name : more) {
        LidarChannelRecord c;
        c.name = name;
        c.datatype = std::string(name) == "GPSTime" ? 2051 : 512;
        c.maximum = 65535;
        file.header.channels.push_back(c);
    }
    const std::size_t perChannel = dataBytes / file.header.channels.size();
    for (std::uint16_t c = 0; c < file.header.channels.size(); ++c) {
        LidarSubbandChunk chunk;
        chunk.channel = c;
        chunk.data = filler(perChannel, seed + c);
        file.subbands.push_back(chunk);
    }
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
             rasterSample(kGen4Version, "COMPRESSED SCALED", 58982, 6));
    ok = ok &&
         save(dir + "/lidar-lossless.qrn",
              lidarSample(20000, {"Intensity", "Red", "GPSTime"}, 20000, 300000, 7)) &&
         save(dir + "/lidar-lossy-rgb-time.qg4",
              lidarSample(15000, {"Red", "GPSTime"}, 20000, 80000, 8)) &&
         save(dir + "/lidar-lossy-plain.qg4", lidarSample(15000, {"Intensity"}, 20000, 60000, 9)) &&
         save(dir + "/lidar-no-count.qrn", lidarSample(5000, {"Red"}, 0, 40000, 10));
    return ok ? 0 : 1;
}
