// Writes the files of samples/ with the test-side writers: raster files of each generation,
// lossless and lossy. Run from the project root: make-samples samples
//
// Plane data is filler of a plausible size; the handler reads headers only.

#include "ClassicalMetadataWriter.h"
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
    return ok ? 0 : 1;
}
