#include "LidarPointCloudWriter.h"

#include "ForwardWavelet.h"
#include "LidarBodyWriter.h"
#include "SubblockWriter.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <stdexcept>

namespace quarn_test {

namespace {

bool isIntegerTransform(std::uint32_t t) {
    return t == 1 || t == 3 || t == 10 || t == 11 || t == 13 || t == 80;
}

unsigned headroom(std::uint32_t t) {
    switch (t) {
    case 1:
    case 11:
        return 3;
    case 3:
    case 13:
        return 6;
    case 80:
        return 2;
    default:
        return 0;
    }
}

std::uint64_t magnitude(std::int64_t v) {
    return v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
}

// Writes the subblocks of one subband, counting runs of all-zero subblocks.
template <class Sample, class Code>
void writeSubblocks(SubblockWriter& writer, const std::vector<Sample>& band, std::uint32_t size,
                    bool integer, Code&& code) {
    std::uint64_t empties = 0;
    const auto flush = [&] {
        for (; empties > 0;) {
            const std::uint64_t run = std::min<std::uint64_t>(empties, 2048);
            integer ? writer.integerRun(static_cast<std::uint16_t>(run - 1))
                    : writer.floatRun(static_cast<std::uint32_t>(run - 1));
            empties -= run;
        }
    };
    for (std::size_t first = 0; first < band.size(); first += size) {
        const std::vector<Sample> block(
            band.begin() + first, band.begin() + std::min<std::size_t>(first + size, band.size()));
        const bool empty = std::all_of(block.begin(), block.end(), [](Sample s) {
            return s == Sample(0) && !std::signbit(static_cast<double>(s));
        });
        if (empty) {
            ++empties;
            continue;
        }
        flush();
        code(block);
    }
    flush();
}

// An integer sample as a channel of the stored integer datatype holds it (two's complement).
double storedInteger(std::uint16_t datatype, std::int64_t v) {
    switch (datatype) {
    case 256:
        return static_cast<std::uint8_t>(v);
    case 257:
        return static_cast<std::int8_t>(v);
    case 512:
        return static_cast<std::uint16_t>(v);
    case 513:
        return static_cast<std::int16_t>(v);
    case 1024:
        return static_cast<std::uint32_t>(v);
    case 1025:
        return static_cast<std::int32_t>(v);
    case 2048:
        return static_cast<double>(static_cast<std::uint64_t>(v));
    default:
        return static_cast<double>(v);
    }
}

} // namespace

std::uint64_t LidarPointCloud::numPoints() const {
    if (channels.empty()) return 0;
    const LidarCloudChannel& c = channels.front();
    return isIntegerTransform(c.transform) ? c.integers.size() : c.values.size();
}

std::uint32_t LidarPointCloud::codedType(const LidarCloudChannel& channel) {
    if (!isIntegerTransform(channel.transform)) return channel.datatype;
    std::uint64_t m = 0;
    if (!channel.integers.empty()) {
        const auto [lo, hi] = std::minmax_element(channel.integers.begin(), channel.integers.end());
        m = std::max({magnitude(*lo),
                      static_cast<std::uint64_t>(*hi) - static_cast<std::uint64_t>(*lo),
                      magnitude(*hi)});
    }
    const unsigned total = static_cast<unsigned>(std::bit_width(m)) + headroom(channel.transform);
    return total < 16 ? 513 : total < 32 ? 1025 : 2049;
}

std::vector<double> LidarPointCloud::decoded(const LidarCloudChannel& channel,
                                             std::uint32_t level) const {
    const std::uint32_t coded = codedType(channel);
    const std::uint32_t used = numLevels - level;
    std::vector<double> out;
    if (isIntegerTransform(channel.transform)) {
        const Subbands bands =
            forwardWavelet(channel.integers, coded, channel.transform, numLevels);
        const bool scaled = (channel.datatype & 2) != 0;
        for (std::int64_t v : inverseWavelet(bands, coded, channel.transform, used))
            out.push_back(scaled ? static_cast<double>(v) * channel.scale + channel.offset
                                 : storedInteger(channel.datatype, v));
    } else {
        const FloatSubbands bands =
            forwardWavelet(channel.values, coded, channel.transform, numLevels);
        out = inverseWavelet(bands, coded, channel.transform, used);
    }
    return out;
}

LidarFileWriter LidarPointCloud::file() const {
    LidarFileWriter file;
    const std::uint64_t points = numPoints();
    file.header.numPoints = points;
    file.header.numLevels = numLevels;

    for (std::size_t c = 0; c < channels.size(); ++c) {
        const LidarCloudChannel& channel = channels[c];
        const bool integer = isIntegerTransform(channel.transform);
        const std::uint32_t coded = codedType(channel);
        LidarChannelRecord record;
        record.name = channel.name;
        record.datatype = channel.datatype;
        record.transform = channel.transform;
        record.subblockSize = channel.subblockSize;
        record.offset = channel.offset;
        record.scale = channel.scale;
        if (integer && !channel.integers.empty()) {
            const auto [lo, hi] =
                std::minmax_element(channel.integers.begin(), channel.integers.end());
            record.minimum = *lo;
            record.maximum = *hi;
        } else if (!channel.values.empty()) {
            const auto [lo, hi] = std::minmax_element(channel.values.begin(), channel.values.end());
            record.minimum = static_cast<std::int64_t>(std::floor(*lo));
            record.maximum = static_cast<std::int64_t>(std::ceil(*hi));
        }
        file.header.channels.push_back(record);

        std::vector<std::vector<std::int64_t>> intBands;
        std::vector<std::vector<double>> floatBands;
        if (integer)
            intBands = forwardWavelet(channel.integers, coded, channel.transform, numLevels);
        else
            floatBands = forwardWavelet(channel.values, coded, channel.transform, numLevels);
        for (std::uint32_t s = 0; s < numLevels; ++s) {
            SubblockWriter writer(subbandVersion == 1);
            if (integer) {
                SubblockWriter::IntegerPlanes planes;
                planes.width = coded == 513 ? 16 : coded == 1025 ? 32 : 64;
                planes.rawPlanes = channel.rawPlanes;
                planes.wavelet = channel.transform != 80;
                writeSubblocks(writer, intBands[s], channel.subblockSize, true,
                               [&](const std::vector<std::int64_t>& block) {
                                   writer.integerSubblock(block, planes);
                               });
            } else {
                const bool gz = channel.transform >= 61;
                writeSubblocks(writer, floatBands[s], channel.subblockSize, false,
                               [&](const std::vector<double>& block) {
                                   if (coded == 1027) {
                                       const std::vector<float> f(block.begin(), block.end());
                                       gz ? writer.gzFloatSubblock(f) : writer.mqFloatSubblock(f);
                                   } else {
                                       gz ? writer.gzFloatSubblock(block)
                                          : writer.mqFloatSubblock(block);
                                   }
                               });
            }
            LidarSubbandChunk chunk;
            chunk.version = subbandVersion;
            chunk.channel = static_cast<std::uint16_t>(c);
            chunk.subband = static_cast<std::uint16_t>(s);
            chunk.data = writer.dataBytes();
            if (subbandVersion != 1) chunk.headers = writer.headers();
            file.subbands.push_back(std::move(chunk));
        }
    }

    // One box per block of points, around the values a decoder gives.
    std::vector<std::vector<double>> xyz;
    for (const char* axis : {"X", "Y", "Z"}) {
        const auto it = std::find_if(channels.begin(), channels.end(),
                                     [&](const LidarCloudChannel& c) { return c.name == axis; });
        xyz.push_back(it != channels.end() ? decoded(*it) : std::vector<double>(points, 0.0));
    }
    const std::uint64_t block = blockSize == 0 ? std::max<std::uint64_t>(points, 1) : blockSize;
    std::vector<LidarBox> boxes;
    for (std::uint64_t first = 0; first < points; first += block) {
        LidarBox box;
        for (int axis = 0; axis < 3; ++axis) {
            const auto begin = xyz[axis].begin() + static_cast<std::ptrdiff_t>(first);
            const auto end =
                xyz[axis].begin() + static_cast<std::ptrdiff_t>(std::min(first + block, points));
            const auto [lo, hi] = std::minmax_element(begin, end);
            box[2 * axis] = *lo;
            box[2 * axis + 1] = *hi;
        }
        boxes.push_back(box);
    }
    LidarBodyWriter index;
    index.indexHeader(indexVersion, static_cast<std::uint32_t>(block));
    if (indexVersion == 1) {
        index.memoryTree(boxes);
    } else {
        // Stored boxes are u32 values per axis: scale 1/1024 around each axis's minimum, rounded
        // outward so that every box still holds its points.
        std::array<double, 3> offset{};
        for (int axis = 0; axis < 3; ++axis)
            offset[axis] = std::floor(*std::min_element(xyz[axis].begin(), xyz[axis].end())) - 1;
        std::vector<std::array<std::uint32_t, 6>> quantised;
        for (const LidarBox& box : boxes) {
            std::array<std::uint32_t, 6> q{};
            for (int axis = 0; axis < 3; ++axis) {
                q[2 * axis] =
                    static_cast<std::uint32_t>(std::floor((box[2 * axis] - offset[axis]) * 1024.0));
                q[2 * axis + 1] = static_cast<std::uint32_t>(
                    std::ceil((box[2 * axis + 1] - offset[axis]) * 1024.0));
            }
            quantised.push_back(q);
        }
        LidarDiskTree tree = LidarDiskTree::pack(quantised);
        tree.scale = {1.0 / 1024, 1.0 / 1024, 1.0 / 1024};
        tree.offset = offset;
        index.diskTree(tree);
    }
    file.index = index.bytes();
    return file;
}

LidarPointCloud surveyCloud(LidarCloudFamily family, std::size_t n, std::uint32_t levels,
                            std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::vector<std::int64_t> x(n), y(n), z(n), intensity(n), classes(n), time(n);
    for (std::size_t i = 0; i < n; ++i) {
        const auto index = static_cast<std::int64_t>(i);
        x[i] = 1000 + 3 * index + static_cast<std::int64_t>(rng() % 3);
        y[i] = (index * 37) % 1000 - 500 + static_cast<std::int64_t>(rng() % 7);
        z[i] = static_cast<std::int64_t>(rng() % 2000);
        intensity[i] = i % 500 < 200 ? 0 : static_cast<std::int64_t>(rng() % 4096);
        classes[i] = static_cast<std::int64_t>(rng() % 32);
        time[i] = (std::int64_t{1} << 40) + 1000 * index;
    }
    auto scaled = [](const std::vector<std::int64_t>& v, double scale, double offset) {
        std::vector<double> out;
        for (std::int64_t value : v)
            out.push_back(static_cast<double>(value) * scale + offset);
        return out;
    };
    LidarPointCloud cloud;
    cloud.numLevels = levels;
    if (family == LidarCloudFamily::MQInteger) {
        cloud.channels = {{"X", 2051, 1, 64, 500.0, 0.01, x, {}, 1},
                          {"Y", 2051, 3, 100, 0.0, 0.01, y, {}, 2},
                          {"Z", 2051, 11, 48, 100.0, 0.01, z, {}, 0},
                          {"Intensity", 512, 3, 32, 0.0, 1.0, intensity, {}, 3},
                          {"ClassId", 256, 1, 64, 0.0, 1.0, classes, {}, 1},
                          {"GPSTime", 2051, 13, 64, 0.0, 1e-6, time, {}, 4}};
        return cloud;
    }
    const int base = family == LidarCloudFamily::MQFloat ? 20 : 60;
    auto code = [base](int t) { return static_cast<std::uint8_t>(base + t); };
    cloud.channels = {{"X", 2051, code(1), 64, 0, 1, {}, scaled(x, 0.01, 500)},
                      {"Y", 2051, code(3), 100, 0, 1, {}, scaled(y, 0.01, 0)},
                      {"Z", 2051, code(10), 48, 0, 1, {}, scaled(z, 0.01, 100)},
                      {"Amplitude", 1027, code(11), 32, 0, 1, {}, scaled(intensity, 0.5, 0)},
                      {"Width", 1027, code(13), 64, 0, 1, {}, scaled(classes, 1, 0)}};
    return cloud;
}

} // namespace quarn_test
