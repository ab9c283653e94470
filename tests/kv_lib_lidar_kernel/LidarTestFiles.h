#pragma once
// Shared parts of the LiDAR file tests: catching a kernel error, and a small valid file.

#include "Error.h"
#include "LidarBodyWriter.h"
#include "LidarFileWriter.h"

#include <gtest/gtest.h>

#include <string>

namespace quarn_test {

// The Korvel::Error that f throws; a test failure when it throws none.
template <class F> Korvel::Error kernelError(F f) {
    try {
        f();
    } catch (const Korvel::Error& error) {
        return error;
    }
    ADD_FAILURE() << "no Korvel::Error";
    return Korvel::Error("", "", 0, 0);
}

// 1000 points in 3 levels and 7 channels; an index of four blocks of 250 points, each a quarter
// of the X range; metadata, WKT and two class names. Values: X 0 ... 10000 stored at scale
// 0.01, offset 500 (500 ... 600), Y -5000 ... 5000 at 0.01 (-50 ... 50), Z 0 ... 2000 at 0.01,
// offset 100 (100 ... 120).
inline LidarFileWriter sampleFile() {
    LidarFileWriter file;
    file.version = {4, 1, 0, 0};
    file.header.numPoints = 1000;
    file.header.numLevels = 3;
    file.header.channels = {
        {"X", 2051, 1, 64, 0, 10000, 500.0, 0.01, {}},
        {"Y", 2051, 3, 128, -5000, 5000, 0.0, 0.01, {}},
        {"Z", 2051, 1, 64, 0, 2000, 100.0, 0.01, {}},
        {"Intensity", 512, 10, 64, 0, 4095, 0.0, 1.0, {}},
        {"GPSTime", 2051, 21, 32, 0, 0, 0.0, 1.0, {}},
        {"Red", 512, 1, 64, 0, 255, 0.0, 1.0, {}},
        {"red", 512, 1, 64, 0, 100, 0.0, 1.0, {}},
    };
    std::vector<LidarBox> boxes;
    for (int b = 0; b < 4; ++b)
        boxes.push_back({500.0 + 25 * b, 525.0 + 25 * b, -50, 50, 100, 120});
    file.index = LidarBodyWriter().indexHeader(1, 250).memoryTree(boxes).bytes();
    file.metadata = LidarBodyWriter()
                        .metadataHeader(2)
                        .metadataRecord("PreCompressionPointCount", "points before compression", 3,
                                        LidarBodyWriter::doubles({1000000.0}))
                        .metadataRecord("Software", "", 1, std::string("writer 1.0", 11))
                        .bytes();
    file.wkt = "LOCAL_CS[\"test\"]";
    file.classNames = {"ground", "water"};
    return file;
}

} // namespace quarn_test
