#pragma once
// Writes a known point cloud as a whole LiDAR file with real coded subbands. Each channel's
// values, in point order, are wavelet-transformed (ForwardWavelet) into the group's levels,
// every subband is cut into subblocks of the channel's size and coded by SubblockWriter (runs
// of empty subblocks for all-zero ones), and the index gets one box per block of points,
// computed from the X, Y and Z values that a decoder gives.
//
// Integer transforms (1, 3, 10, 11, 13, 80) code the channel's integer values in the smallest
// signed width that holds their bits plus the transform's headroom; a floating-point channel
// with an integer transform holds value * scale + offset. Floating-point transforms code the
// values in the channel's own precision (MQ for 21 ... 33 and 90, deflate for 61 ... 73 and 110).

#include "LidarFileWriter.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quarn_test {

struct LidarCloudChannel {
    std::string name;
    std::uint16_t datatype = 2051;
    std::uint8_t transform = 1;
    std::uint32_t subblockSize = 64;
    double offset = 0.0; // integer transforms on a floating-point channel
    double scale = 1.0;
    std::vector<std::int64_t> integers; // integer transforms
    std::vector<double> values;         // floating-point transforms
    int rawPlanes = 1;                  // raw bit-planes of integer subblocks
};

struct LidarPointCloud {
    std::uint32_t numLevels = 1;
    std::uint32_t blockSize = 0;     // points per index block; 0: one block for all
    std::uint8_t subbandVersion = 2; // 1: each subblock header inside the data
    std::uint8_t indexVersion = 1;   // 1: boxes; 2: a packed stored tree
    std::vector<LidarCloudChannel> channels;

    std::uint64_t numPoints() const;
    // The coded datatype of a channel (513, 1025, 2049, 1027 or 2051).
    static std::uint32_t codedType(const LidarCloudChannel& channel);
    // The values of the level's signal that a decoder gives for the channel, as doubles (integer
    // samples with scale and offset when the channel is floating-point).
    std::vector<double> decoded(const LidarCloudChannel& channel, std::uint32_t level = 0) const;

    LidarFileWriter file() const;
};

enum class LidarCloudFamily { MQInteger, MQFloat, GZFloat };

// n points along a path: X grows with the index, so consecutive points make compact blocks; Y
// sweeps across, Z wanders, intensity has long stretches of zeros (runs of empty subblocks).
// MQInteger: X, Y, Z at scale 0.01 and integer attributes of 16-, 32- and 64-bit coded width;
// MQFloat and GZFloat: double X, Y, Z and float attributes, with every lifting kind among them.
LidarPointCloud surveyCloud(LidarCloudFamily family, std::size_t n, std::uint32_t levels,
                            std::uint64_t seed = 1);

} // namespace quarn_test
