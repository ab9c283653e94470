// Writes the seed corpora of the fuzz targets with the test-side writers: small valid files of
// every kind each target reads, and a few damaged ones beside them. Run from the project root:
//
//   make-fuzz-seeds fuzz/corpus
//
// Each target's files go to a folder of its name. Plane and point data are small: the fuzzer
// grows what it needs.

#include "ClassicalMetadataWriter.h"
#include "HostileRasterFiles.h"
#include "LidarBodyWriter.h"
#include "LidarFileWriter.h"
#include "LidarPointCloudWriter.h"
#include "QG2FileWriter.h"
#include "QG2ImageWriter.h"
#include "RasterFileWriter.h"
#include "RasterImageWriter.h"
#include "RasterScene.h"
#include "RasterSubblockEncoder.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace quarn_test;

namespace {

// ---- classical metadata blocks

Bytes scalarsBlock() {
    return ClassicalMetadataWriter()
        .scalar("U8", cm::U8, std::uint8_t{200})
        .scalar("U16", cm::U16, std::uint16_t{60000})
        .scalar("U32", cm::U32, std::uint32_t{4000000000u})
        .scalar("F32", cm::F32, 1.5f)
        .scalar("F64", cm::F64, -2.25)
        .scalar("S8", cm::S8, std::int8_t{-100})
        .scalar("S16", cm::S16, std::int16_t{-30000})
        .scalar("S32", cm::S32, std::int32_t{-2000000000})
        .eom()
        .bytes();
}

Bytes vectorsBlock() {
    return ClassicalMetadataWriter(0, 7)
        .vector("V8", cm::U8, std::vector<std::uint8_t>{1, 2, 3})
        .vector("V16", cm::S16, std::vector<std::int16_t>{-1, 2})
        .vector("V32", cm::U32, std::vector<std::uint32_t>{7, 8, 9, 10})
        .vector("VF", cm::F64, std::vector<double>{0.5, 1e300})
        .eom()
        .bytes();
}

Bytes textsBlock() {
    return ClassicalMetadataWriter()
        .som()
        .texts("ONE", {"a text"}, {})
        .texts("GRID", {"a", "bb", "", "dddd"}, {2, 2})
        .texts("LIST", {"x", "y", "z"}, {3})
        .eom()
        .bytes();
}

Bytes arrayBlock() {
    std::vector<std::uint16_t> values(12);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<std::uint16_t>(i * 1000);
    return ClassicalMetadataWriter()
        .record("CUBE", cm::U16, values, {2, 3, 2})
        .record("FLAT", cm::F32, std::vector<float>{1, 2, 3, 4}, {1, 4, 1})
        .emptyName()
        .bytes();
}

// A name given twice (the second replaces the first), and a count beyond the dimensions.
Bytes replacedBlock() {
    ClassicalMetadataWriter w;
    w.scalar("SAME", cm::U32, std::uint32_t{1}).scalar("SAME", cm::F64, 2.0);
    w.header("MORE", cm::U8, 5, {2}).raw({1, 2, 3, 4, 5});
    w.header("TEXTS", cm::TEXT, 3, {1}).text("kept").text("skipped").text("skipped too");
    return w.eom().bytes();
}

Bytes imageTagsBlock() {
    return ClassicalMetadataWriter()
        .texts("IMAGE::MODIFICATIONS", {"COMPRESSED SCALED"}, {})
        .vector("IMAGE::XY_ORIGIN", cm::F64, std::vector<double>{500000.0, 4000000.0})
        .scalar("IMAGE::X_RESOLUTION", cm::F64, 10.0)
        .scalar("IMAGE::Y_RESOLUTION", cm::F64, 10.0)
        .scalar("GEO::ProjectedCSTypeGeoKey", cm::U16, std::uint16_t{32617})
        .scalar("GEO::HORIZONTAL_DATUM", cm::U16, std::uint16_t{6326})
        .scalar("IMAGE::HORIZONTAL_UNITS", cm::U16, std::uint16_t{9001})
        .vector("IMAGE::NO_DATA_VALUE", cm::U16, std::vector<std::uint16_t>{0})
        .vector("IMAGE::DEFAULT_DATA_VALUE", cm::U16, std::vector<std::uint16_t>{65535})
        .eom()
        .bytes();
}

Bytes geoTiffBlock() {
    return ClassicalMetadataWriter()
        .vector("IMAGE::XY_ORIGIN", cm::F64, std::vector<double>{10.0, 50.0})
        .scalar("IMAGE::X_RESOLUTION", cm::F64, 0.001)
        .scalar("IMAGE::Y_RESOLUTION", cm::F64, 0.001)
        .vector("GEOTIFF_NUM::1024::GTModelTypeGeoKey", cm::U16, std::vector<std::uint16_t>{2})
        .vector("GEOTIFF_NUM::2048", cm::U16, std::vector<std::uint16_t>{4326})
        .texts("GEOTIFF_CHAR::1026::GTCitationGeoKey", {"WGS 84"}, {})
        .eom()
        .bytes();
}

Bytes imgProjectionBlock() {
    return ClassicalMetadataWriter()
        .vector("IMAGE::XY_ORIGIN", cm::F64, std::vector<double>{0.0, 0.0})
        .scalar("IMAGE::X_RESOLUTION", cm::F64, 1.0)
        .scalar("IMAGE::Y_RESOLUTION", cm::F64, 1.0)
        .texts("IMG::PROJECTION:NAME", {"Plant grid"}, {})
        .texts("IMG::HORIZONTAL_UNITS", {"feet"}, {})
        .eom()
        .bytes();
}

// ---- generation-3/4 raster files

HeaderBody rgbImage(std::uint32_t width, std::uint32_t height, std::uint8_t levels = 2) {
    HeaderBody b;
    b.width = width;
    b.height = height;
    b.numLevels = levels;
    b.bands = 3;
    b.colorSpace = 10;
    b.dataType = 5;
    b.subblockSize = 32;
    return b;
}

RasterPacket classical(const Bytes& block, std::uint32_t imageNumber = 1) {
    return metadataPacket(1, 0, imageNumber, block);
}

RasterPacket modifications(const char* text) {
    return classical(
        ClassicalMetadataWriter().texts("IMAGE::MODIFICATIONS", {text}, {}).eom().bytes());
}

Bytes plane(std::size_t length) {
    Bytes bytes(length);
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 37 + 11);
    return bytes;
}

Bytes gen3Lossless() {
    return rasterFile(kGen3Version,
                      {headerPacket(1, rgbImage(64, 48)), planesetPacket(1, 200, plane(200)),
                       modifications("LOSSLESS")});
}

Bytes gen4Lossy() {
    return rasterFile(kGen4Version,
                      {headerPacket(1, rgbImage(100, 80, 3)), planesetPacket(1, 150, plane(150)),
                       modifications("COMPRESSED SCALED")});
}

Bytes gen4Extras() {
    ExtrasRecord extras;
    extras.presence = 0xF;
    extras.geo = {100.5, 200.25, 9, 9, 0.5, -0.25};
    extras.word = 77;
    extras.noData = {5, {1, 2, 3}};
    extras.background = {5, {4, 5, 6}};
    return singleImageFile(kGen4Version, rgbImage(40, 30),
                           {metadataPacket(3, 0, 1, extrasPayload(extras))}, 64);
}

Bytes gen3Cropped() {
    HeaderBody b = rgbImage(32, 32, 2);
    b.flags |= 0x8000;
    b.crop = {2, 3, 11, 8};
    b.cropLevel = 1;
    return singleImageFile(kGen3Version, b, {modifications("CROPPED")}, 32);
}

Bytes gen4BandScales() {
    HeaderBody b = rgbImage(16, 16, 1);
    b.bands = 2;
    b.colorSpace = 5;
    b.dataType = 13;
    b.sampleMin = -100;
    b.sampleMax = 100;
    b.flags |= 0x40000;
    b.bandScales = {{0.5f, 10.0f}, {2.0f, 0.0f}};
    return singleImageFile(kGen4Version, b);
}

Bytes gen3Grey16() {
    HeaderBody b = rgbImage(20, 10, 1);
    b.bands = 1;
    b.colorSpace = 1;
    b.dataType = 7; // unsigned 16
    return singleImageFile(kGen3Version, b, {classical(imageTagsBlock())}, 16);
}

Bytes gen3GeoTiff() {
    return singleImageFile(kGen3Version, rgbImage(24, 24, 1), {classical(geoTiffBlock())}, 16);
}

Bytes gen4ImgProjection() {
    return singleImageFile(kGen4Version, rgbImage(24, 24, 1), {classical(imgProjectionBlock())},
                           16);
}

Bytes twoImages() {
    return rasterFile(kGen4Version,
                      {headerPacket(1, rgbImage(32, 32)), planesetPacket(1, 16, plane(16)),
                       headerPacket(2, rgbImage(16, 16, 1)), planesetPacket(2, 16, plane(16)),
                       contentsPacket(2)});
}

Bytes withContents() {
    return rasterFile(kGen3Version,
                      {headerPacket(1, rgbImage(64, 64, 1)), planesetPacket(1, 32, plane(32)),
                       contentsPacket(7), modifications("LOSSLESS")});
}

// Small images coded for real, so that reads decode: each another band count, data type, order,
// layout and coding.
Bytes codedImage(const Version& version, unsigned bands, std::uint8_t dataType, std::uint8_t kind,
                 std::uint8_t layout, bool lossy, bool cropped, std::uint32_t seed) {
    RasterImage im;
    im.width = 26;
    im.height = 19;
    im.levels = 2;
    im.subblockSize = 8;
    im.dataType = dataType;
    im.sampleMin = dataType == 8 ? -32768 : 0;
    im.sampleMax = dataType == 8 ? 32767 : 255;
    im.planes = landscape(im.width, im.height, bands, seed, dataType == 8 ? -2000 : 0,
                          dataType == 8 ? 2000 : 255);
    im.colorSpace = bands == 1 ? 1 : bands == 3 ? 10 : 5;
    im.colorTransform = bands == 3 ? 10 : 1;
    if (dataType == 13)
        for (unsigned b = 0; b < bands; ++b)
            im.bandScales.push_back({0.5f, float(b)});
    im.droppedPlanes = lossy ? 3 : 0;
    im.format.kind = kind;
    im.format.layout = layout;
    im.format.wide = layout == 3;
    im.format.hasWord = layout == 2;
    im.format.valueWidth = layout == 0 ? 1 : 0;
    if (cropped) {
        im.crop = std::array<std::int32_t, 4>{3, 2, 11, 8};
        im.cropLevel = 1;
    }
    return RasterImageCoder(im).file(version);
}

// ---- generation-2 files

std::vector<std::int32_t> coefficients(std::size_t count, std::uint32_t seed) {
    std::vector<std::int32_t> out(count, 0);
    std::uint32_t x = seed;
    for (std::size_t i = 0; i < count; ++i) {
        x = x * 1103515245u + 12345u;
        const std::uint32_t pick = (x >> 16) % 16;
        if (pick < 8) continue; // zeros, in runs
        const std::int32_t values[] = {1, -1, -73, 75, 200, -255, 1000, -32767};
        out[i] = values[pick - 8];
    }
    return out;
}

// A band of blockWidth x blockHeight blocks over a region of width x height.
QG2BandLayout codedBand(std::uint32_t width, std::uint32_t height, std::uint32_t blockWidth,
                        std::uint32_t blockHeight, std::uint32_t seed, float step) {
    std::vector<std::vector<std::int32_t>> blocks;
    for (std::uint32_t y = 0; y < height; y += blockHeight)
        for (std::uint32_t x = 0; x < width; x += blockWidth) {
            const std::uint32_t w = std::min(blockWidth, width - x);
            const std::uint32_t h = std::min(blockHeight, height - y);
            blocks.push_back(coefficients(std::size_t{w} * h, seed++));
        }
    return qg2CodedBand(blocks, blockWidth, blockHeight, step);
}

QG2SubbandLayout subband(std::uint32_t width, std::uint32_t height, std::uint32_t bands,
                         std::uint32_t seed) {
    QG2SubbandLayout s;
    s.ditherColumn = static_cast<std::uint8_t>(seed * 13);
    s.ditherRow = static_cast<std::uint8_t>(seed * 7);
    QG2RegionLayout region;
    region.x1 = width - 1;
    region.y1 = height - 1;
    for (std::uint32_t b = 0; b < bands; ++b)
        region.bands.push_back(codedBand(width, height, 4, 4, seed * 10 + b, 0.5f + b));
    s.regions.push_back(region);
    return s;
}

Bytes qg2Coded(std::uint32_t bands, bool segments) {
    QG2FileLayout layout;
    layout.bands = bands;
    layout.levels = 1;
    layout.width = 16;
    layout.height = 12;
    for (std::uint32_t s = 0; s < 4; ++s)
        layout.subbands.push_back(subband(8, 6, bands, s + 1));
    if (segments) {
        layout.d0 = true;
        layout.region = std::array<std::uint32_t, 5>{0, 0, 15, 11, 0};
        layout.d3 = true;
        layout.metadata = {0xFF, 0xD1};
        const Bytes block = ClassicalMetadataWriter()
                                .scalar("IMAGE::NO_DITHER", cm::U8, std::uint8_t{0})
                                .texts("IMAGE::MODIFICATIONS", {"COMPRESSED"}, {})
                                .eom()
                                .bytes();
        layout.metadata.insert(layout.metadata.end(), block.begin(), block.end());
    }
    return writeQG2File(layout).bytes;
}

// Two regions side by side in the low band, one band missing in the second.
Bytes qg2Regions() {
    QG2FileLayout layout;
    layout.bands = 2;
    layout.levels = 0;
    layout.width = 12;
    layout.height = 5;
    QG2SubbandLayout s;
    QG2RegionLayout left;
    left.x1 = 5;
    left.y1 = 4;
    left.bands = {codedBand(6, 5, 3, 5, 3, 1.0f), codedBand(6, 5, 6, 2, 4, 2.0f)};
    QG2RegionLayout right;
    right.x0 = 6;
    right.x1 = 11;
    right.y1 = 4;
    right.bands = {codedBand(6, 5, 8, 8, 5, 0.25f), std::nullopt};
    s.regions = {left, right};
    layout.subbands = {s};
    return writeQG2File(layout).bytes;
}

Bytes qg2Bare() {
    QG2FileLayout layout;
    layout.bands = 3;
    layout.width = 40;
    layout.height = 30;
    layout.subbands = {std::nullopt};
    return writeQG2File(layout).bytes;
}

// A picture coded as a generation-2 image: bands of levels over regions of blocks.
Bytes qg2Picture(std::uint32_t bands, std::uint32_t width, std::uint32_t height,
                 std::uint32_t levels, std::optional<std::array<std::uint32_t, 5>> region,
                 std::optional<std::array<double, 4>> geo = std::nullopt) {
    QG2ImageSpec spec;
    spec.geo = geo;
    spec.levels = levels;
    for (std::uint32_t b = 0; b < bands; ++b) {
        QG2Plane plane{width, height, {}};
        for (std::uint32_t y = 0; y < height; ++y)
            for (std::uint32_t x = 0; x < width; ++x)
                plane.samples.push_back(b == 0 ? 8.0 * x + 5.0 * y : 20.0 * ((x + y + b) % 3));
        spec.bands.push_back(std::move(plane));
        spec.steps.push_back(1.0f + b);
    }
    spec.blockWidth = 5;
    spec.blockHeight = 4;
    spec.regionsAcross = 2;
    spec.regionsDown = 2;
    spec.ditherColumn = 3;
    spec.region = region;
    return writeQG2Image(spec).file.bytes;
}

// Files of several images, read as one mosaic: two generation-2 pictures placed by their
// metadata, the second at half the first one's resolution and overlapping it; two coded
// generation-4 images placed by their extras, the second also coarser and overlapping.
Bytes mosaicOfGen2() {
    return rasterFile(
        kGen3Version,
        {qg2Packet(1, qg2Picture(3, 24, 20, 2, std::nullopt, std::array<double, 4>{0, 20, 1, -1})),
         qg2Packet(2,
                   qg2Picture(3, 12, 10, 1, std::nullopt, std::array<double, 4>{16, 26, 2, -2}))});
}

Bytes mosaicOfGen4() {
    std::vector<RasterPacket> packets;
    for (std::uint32_t i = 0; i < 2; ++i) {
        RasterImage im;
        im.width = 20 + 4 * i;
        im.height = 14;
        im.levels = 2;
        im.subblockSize = 8;
        im.planes = landscape(im.width, im.height, 3, 5 + i);
        im.colorSpace = 10;
        im.colorTransform = 10;
        for (RasterPacket& p : RasterImageCoder(im).packets(i + 1))
            packets.push_back(std::move(p));
        packets.push_back(placementPacket(i + 1, 16.0 * i, 14.0 + 10.0 * i, 1.0 + i, -1.0 - i));
    }
    return rasterFile(kGen4Version, packets);
}

// ---- LiDAR files

LidarChannelRecord channel(const char* name, std::uint16_t datatype, std::uint8_t transform,
                           std::uint32_t subblock, std::int64_t minimum, std::int64_t maximum,
                           double offset = 0.0, double scale = 1.0) {
    LidarChannelRecord c;
    c.name = name;
    c.datatype = datatype;
    c.transform = transform;
    c.subblockSize = subblock;
    c.minimum = minimum;
    c.maximum = maximum;
    c.offset = offset;
    c.scale = scale;
    return c;
}

LidarFileWriter lidarFile(std::array<std::uint8_t, 4> version, double countBefore) {
    LidarFileWriter file;
    file.version = version;
    file.header.numPoints = 1000;
    file.header.numLevels = 3;
    file.header.channels = {
        channel("X", 2051, 1, 64, 0, 10000, 500.0, 0.01),
        channel("Y", 2051, 3, 128, -5000, 5000, 0.0, 0.01),
        channel("Z", 2051, 1, 64, 0, 2000, 100.0, 0.01),
        channel("Intensity", 512, 10, 64, 0, 4095),
        channel("GPSTime", 2051, 21, 32, 0, 0),
        channel("Red", 512, 1, 64, 0, 255),
    };
    std::vector<LidarBox> boxes;
    for (int b = 0; b < 4; ++b)
        boxes.push_back({500.0 + 25 * b, 525.0 + 25 * b, -50, 50, 100, 120});
    file.index = LidarBodyWriter().indexHeader(1, 250).memoryTree(boxes).bytes();
    LidarBodyWriter metadata;
    metadata.metadataHeader(countBefore > 0 ? 3 : 2);
    if (countBefore > 0)
        metadata.metadataRecord("PreCompressionPointCount", "points before compression", 3,
                                LidarBodyWriter::doubles({countBefore}));
    metadata.metadataRecord("Software", "", 1, std::string("writer 1.0", 11));
    metadata.metadataRecord("Scales", "three doubles", 3, LidarBodyWriter::doubles({1, 2, 3}));
    file.metadata = metadata.bytes();
    file.wkt = "LOCAL_CS[\"test\"]";
    file.classNames = {"ground", "water"};
    return file;
}

Bytes lidarDiskTree() {
    LidarFileWriter file = lidarFile({4, 1, 0, 0}, 1000);
    std::vector<std::array<std::uint32_t, 6>> boxes;
    for (std::uint32_t b = 0; b < 12; ++b)
        boxes.push_back({b * 10, b * 10 + 9, 0, 100, 0, 50});
    LidarDiskTree tree = LidarDiskTree::pack(boxes, 3);
    tree.scale = {0.1, 0.1, 0.1};
    tree.offset = {500.0, -50.0, 100.0};
    file.index = LidarBodyWriter().indexHeader(2, 100).diskTree(tree).bytes();
    return file.write().flatten();
}

Bytes lidarSubbandVersions() {
    LidarFileWriter file = lidarFile({4, 0, 0, 3}, 0);
    file.header.numLevels = 1;
    file.header.channels.resize(3);
    for (std::uint16_t c = 0; c < 3; ++c) {
        LidarSubbandChunk chunk;
        chunk.version = static_cast<std::uint8_t>(c + 1);
        chunk.channel = c;
        chunk.data = {1, 2, 3, 4, 5, 6, 7, 8};
        if (chunk.version > 1) chunk.headers = {0, 0, 0, 8};
        file.subbands.push_back(chunk);
    }
    return file.write().flatten();
}

// A point cloud with real coded subbands.
Bytes pointCloud(std::uint32_t levels, std::uint32_t blockSize, std::uint8_t subbandVersion,
                 std::uint8_t indexVersion, bool floats) {
    LidarPointCloud cloud;
    cloud.numLevels = levels;
    cloud.blockSize = blockSize;
    cloud.subbandVersion = subbandVersion;
    cloud.indexVersion = indexVersion;
    const std::size_t n = 150;
    const char* const axes[3] = {"X", "Y", "Z"};
    for (int a = 0; a < 3; ++a) {
        LidarCloudChannel c;
        c.name = axes[a];
        c.transform = a == 1 ? 3 : 1;
        c.subblockSize = 32;
        c.scale = 0.01;
        c.offset = 100.0 * a;
        for (std::size_t i = 0; i < n; ++i)
            c.integers.push_back(static_cast<std::int64_t>((i * (37 + a * 11)) % 5000) - 1000 * a);
        cloud.channels.push_back(c);
    }
    LidarCloudChannel intensity;
    intensity.name = "Intensity";
    intensity.datatype = 512;
    intensity.transform = 10;
    intensity.subblockSize = 16;
    for (std::size_t i = 0; i < n; ++i)
        intensity.integers.push_back(static_cast<std::int64_t>((i * i) % 4096));
    cloud.channels.push_back(intensity);
    if (floats) {
        LidarCloudChannel time;
        time.name = "GPSTime";
        time.transform = 21;
        time.subblockSize = 64;
        for (std::size_t i = 0; i < n; ++i)
            time.values.push_back(1000.0 + 0.125 * static_cast<double>(i) + std::sin(i));
        cloud.channels.push_back(time);
        LidarCloudChannel gz = time;
        gz.name = "Extra";
        gz.datatype = 1027;
        gz.transform = 61;
        cloud.channels.push_back(gz);
    }
    LidarFileWriter file = cloud.file();
    file.version = {4, 1, 0, 0};
    file.wkt = "LOCAL_CS[\"cloud\"]";
    file.classNames = {"ground"};
    return file.write().flatten();
}

// ---- subblock plane records (the wavelet_subblock target's own layout, see its source)

// The records of bands coded from a smooth ramp with a little noise, after the given header.
Bytes subblockRecords(Bytes header, unsigned width, unsigned height, unsigned subband,
                      unsigned bands, std::uint32_t rawPlanes, unsigned lastPlane) {
    for (unsigned b = 0; b < bands; ++b) {
        std::vector<std::int32_t> block(width * height);
        for (unsigned i = 0; i < block.size(); ++i)
            block[i] = static_cast<std::int32_t>((i % width) * (b + 3) - (i / width) * 5 +
                                                 (i * 2654435761u >> 28) - 7);
        RasterSubblockOptions options;
        options.subband = subband;
        options.rawPlanes = rawPlanes;
        options.lastPlane = lastPlane;
        const RasterSubblockCode code = encodeRasterSubblock(
            block.data(), width, width, height,
            {0, 0, static_cast<int>(width) - 1, static_cast<int>(height) - 1}, options);
        for (const RasterPlane& plane : code.planes) {
            if (!plane.filled) {
                header.push_back(0);
                continue;
            }
            header.push_back(static_cast<std::uint8_t>(0x41 | (plane.raw ? 0x02 : 0)));
            header.push_back(static_cast<std::uint8_t>(plane.bytes.size() >> 8));
            header.push_back(static_cast<std::uint8_t>(plane.bytes.size()));
            header.insert(header.end(), plane.bytes.begin(), plane.bytes.end());
        }
    }
    return header;
}

// A subblock given directly: mode, width - 1, height - 1, subband, bands - 1, x0 + 1, x1 + 1,
// y0 + 1, y1 + 1.
Bytes directSubblock(unsigned width, unsigned height, unsigned subband, unsigned bands,
                     std::uint32_t rawPlanes, unsigned lastPlane, std::uint8_t mode = 0) {
    const Bytes header = {mode,
                          static_cast<std::uint8_t>(width - 1),
                          static_cast<std::uint8_t>(height - 1),
                          static_cast<std::uint8_t>(subband),
                          static_cast<std::uint8_t>(bands - 1),
                          1,
                          static_cast<std::uint8_t>(width),
                          1,
                          static_cast<std::uint8_t>(height)};
    return subblockRecords(header, width, height, subband, bands, rawPlanes, lastPlane);
}

// Subblock 0 of subband 1 of a cropped 40 x 30 image of two levels, S = 8, one band selected.
Bytes croppedSubblock() {
    const Bytes header = ByteBuilder()
                             .u8(1)
                             .u16(40)
                             .u16(30)
                             .u8(2)
                             .u8(8)
                             .u8(3)
                             .u8(0x04)
                             .u16(3)
                             .u16(2)
                             .u16(30)
                             .u16(20)
                             .u8(0)
                             .u8(1)
                             .u16(0)
                             .take();
    return subblockRecords(header, 8, 8, 1, 1, 0, 31);
}

// ---- writing

class Corpus {
public:
    explicit Corpus(std::filesystem::path root) : root_(std::move(root)) {}

    void add(const char* target, const char* name, const Bytes& bytes) {
        const std::filesystem::path dir = root_ / target;
        std::filesystem::create_directories(dir);
        std::ofstream out(dir / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s/%s\n", target, name);
            ok_ = false;
        }
    }
    bool ok() const { return ok_; }

private:
    std::filesystem::path root_;
    bool ok_ = true;
};

Bytes cut(Bytes bytes, std::size_t length) {
    bytes.resize(std::min(bytes.size(), length));
    return bytes;
}

Bytes patched(Bytes bytes, std::size_t at, std::uint8_t value) {
    if (at < bytes.size()) bytes[at] = value;
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-fuzz-seeds FOLDER\n");
        return 2;
    }
    Corpus corpus(argv[1]);

    const char* meta = "classical_metadata";
    corpus.add(meta, "scalars", scalarsBlock());
    corpus.add(meta, "vectors", vectorsBlock());
    corpus.add(meta, "texts", textsBlock());
    corpus.add(meta, "arrays", arrayBlock());
    corpus.add(meta, "replaced", replacedBlock());
    corpus.add(meta, "image-tags", imageTagsBlock());
    corpus.add(meta, "geotiff", geoTiffBlock());
    corpus.add(meta, "img-projection", imgProjectionBlock());
    corpus.add(meta, "short", cut(textsBlock(), 30));

    const char* raster = "raster_reader";
    corpus.add(raster, "gen3-lossless.qg3", gen3Lossless());
    corpus.add(raster, "gen4-lossy.qg4", gen4Lossy());
    corpus.add(raster, "gen4-extras.qg4", gen4Extras());
    corpus.add(raster, "gen3-cropped.qg3", gen3Cropped());
    corpus.add(raster, "gen4-band-scales.qg4", gen4BandScales());
    corpus.add(raster, "gen3-grey16-geo.qg3", gen3Grey16());
    corpus.add(raster, "gen3-geotiff.qg3", gen3GeoTiff());
    corpus.add(raster, "gen4-img-projection.qg4", gen4ImgProjection());
    corpus.add(raster, "gen4-two-images.qg4", twoImages());
    corpus.add(raster, "gen3-contents.qg3", withContents());
    corpus.add(raster, "gen3-holding-gen2.qg3",
               rasterFile(kGen3Version, {qg2Packet(1, qg2Bare())}));
    corpus.add(raster, "gen2.qg2", qg2Coded(1, true));
    corpus.add(raster, "gen3-mosaic-of-gen2.qg3", mosaicOfGen2());
    corpus.add(raster, "gen4-mosaic.qg4", mosaicOfGen4());
    corpus.add(raster, "coded-gen3-rgb.qg3", codedImage(kGen3Version, 3, 5, 1, 0, false, false, 1));
    corpus.add(raster, "coded-gen3-grey16-lossy.qg3",
               codedImage(kGen3Version, 1, 8, 5, 2, true, false, 2));
    corpus.add(raster, "coded-gen4-float-cropped.qg4",
               codedImage(kGen4Version, 2, 13, 1, 3, false, true, 3));
    corpus.add(raster, "coded-gen4-rgb-lossy.qg4",
               codedImage(kGen4Version, 3, 5, 1, 2, true, true, 4));
    // Images stacked at one place, each declaring many bands (the target also reads each image
    // on its own: a few hundred bands keep one input well within its time).
    corpus.add(raster, "stacked-many-bands.qg3", stackedImagesFile(34, 300));

    const char* qg2 = "qg2_decoder";
    corpus.add(qg2, "one-band.qg2", qg2Coded(1, false));
    corpus.add(qg2, "three-bands-segments.qg2", qg2Coded(3, true));
    corpus.add(qg2, "regions.qg2", qg2Regions());
    corpus.add(qg2, "bare.qg2", qg2Bare());
    corpus.add(qg2, "picture-three-bands.qg2", qg2Picture(3, 24, 20, 2, std::nullopt));
    corpus.add(qg2, "picture-region-level-offset.qg2",
               qg2Picture(1, 30, 17, 3, std::array<std::uint32_t, 5>{2, 1, 12, 7, 1}));

    const char* handler = "handler";
    corpus.add(handler, "gen2.qg2", qg2Coded(1, true));
    corpus.add(handler, "gen3-lossless.qg3", gen3Lossless());
    corpus.add(handler, "gen4-lossy.qg4", gen4Lossy());
    corpus.add(handler, "gen4-extras.qg4", gen4Extras());
    corpus.add(handler, "gen4-mosaic.qg4", mosaicOfGen4());
    corpus.add(handler, "lidar-lossless.qrn", lidarFile({4, 1, 0, 0}, 1000).write().flatten());
    corpus.add(handler, "lidar-lossy.qg4", lidarFile({4, 0, 0, 2}, 250000).write().flatten());
    corpus.add(handler, "lidar-no-count.qg4", lidarFile({4, 0, 0, 1}, 0).write().flatten());
    corpus.add(handler, "short", Bytes{'q', 'r', 'n', 'd', 3});
    corpus.add(handler, "unknown-version", patched(gen3Lossless(), 4, 9));
    // Files of images stacked at one place, each declaring the most bands a mosaic takes, that
    // once cost Initialize seconds to minutes (5 KB, 84 KB, 338 KB).
    corpus.add(handler, "stacked-many-bands-34.qg3", stackedImagesFile(34));
    corpus.add(handler, "stacked-many-bands-539.qg3", stackedImagesFile(539));
    corpus.add(handler, "stacked-many-bands-2167.qg3", stackedImagesFile(2167));
    // Files that once cost Initialize hundreds of megabytes.
    corpus.add(handler, "trailing-zeros.qg3", withTrailingZeros(gen3Lossless(), 10u << 20));
    corpus.add(handler, "tiny-packets.qg3", withTinyPackets(gen3Lossless(), kManyTinyPackets));

    const char* lidar = "lidar_reader";
    corpus.add(lidar, "sample-4100.qg4", lidarFile({4, 1, 0, 0}, 1000).write().flatten());
    corpus.add(lidar, "sample-4001.qg4", lidarFile({4, 0, 0, 1}, 0).write().flatten());
    corpus.add(lidar, "disk-tree.qg4", lidarDiskTree());
    corpus.add(lidar, "subband-versions.qg4", lidarSubbandVersions());
    corpus.add(lidar, "cloud.qg4", pointCloud(2, 64, 2, 1, false));

    const char* subblock = "wavelet_subblock";
    corpus.add(subblock, "lossless-8x8", directSubblock(8, 8, 0, 1, 0, 31));
    corpus.add(subblock, "raw-low-planes-three-bands",
               directSubblock(13, 6, 6, 3, 0xFFFF, 31, 0x40));
    corpus.add(subblock, "lossy-hh", directSubblock(32, 17, 8, 2, 0x00F0F000, 27));
    corpus.add(subblock, "cropped-image", croppedSubblock());

    const char* points = "lidar_iterator";
    corpus.add(points, "integers-2-levels.qg4", pointCloud(2, 64, 2, 1, false));
    corpus.add(points, "floats-3-levels.qg4", pointCloud(3, 50, 2, 2, true));
    corpus.add(points, "subband-v1.qg4", pointCloud(1, 0, 1, 1, true));
    corpus.add(points, "one-level-v3.qg4", pointCloud(1, 100, 3, 1, false));
    return corpus.ok() ? 0 : 1;
}
