// The handler on LiDAR files: the compression text from "PreCompressionPointCount", the point
// count and the channels; failures of the kernel as E_FAIL; headers read only.

#include "HandlerTestSupport.h"
#include "IStreamIO.h"
#include "LidarBodyWriter.h"
#include "LidarFileWriter.h"
#include "WinSync.h"

#include <gtest/gtest.h>

using namespace quarn_test;

namespace {

LidarChannelRecord channel(const char* name, std::uint16_t datatype = 2051) {
    LidarChannelRecord c;
    c.name = name;
    c.datatype = datatype;
    c.maximum = 1000;
    return c;
}

std::vector<std::uint8_t> countRecord(std::uint16_t datatype, const std::string& value) {
    return LidarBodyWriter()
        .metadataHeader(1)
        .metadataRecord("PreCompressionPointCount", "", datatype, value)
        .bytes();
}

std::vector<std::uint8_t> countRecord(double count) {
    return countRecord(3, LidarBodyWriter::doubles({count}));
}

// A file of numPoints points with X, Y, Z and the further channels.
LidarFileWriter lidarFile(std::uint64_t numPoints, const std::vector<const char*>& more,
                          std::vector<std::uint8_t> metadata) {
    LidarFileWriter file;
    file.header.numPoints = numPoints;
    file.header.channels = {channel("X"), channel("Y"), channel("Z")};
    for (const char* name : more)
        file.header.channels.push_back(channel(name, 512));
    file.metadata = std::move(metadata);
    return file;
}

SparseStream streamOf(const LidarSparseBytes& bytes) {
    std::vector<SparseStream::Piece> pieces;
    for (const auto& piece : bytes.segments())
        pieces.push_back({static_cast<std::uint64_t>(piece.offset), piece.bytes});
    return SparseStream(std::move(pieces), bytes.size());
}

// The file grown to exactly length bytes by zero data in its first subband.
HandlerResult runPadded(LidarFileWriter file, std::uint64_t length) {
    const std::uint64_t bare = file.write().size();
    // One subband chunk per channel (one level); the first carries the padding.
    for (std::uint16_t c = 0; c < file.header.channels.size(); ++c) {
        LidarSubbandChunk chunk;
        chunk.channel = c;
        if (c == 0) chunk.dataZeros = length - bare;
        file.subbands.push_back(chunk);
    }
    const LidarSparseBytes bytes = file.write();
    EXPECT_EQ(length, bytes.size());
    SparseStream stream = streamOf(bytes);
    return runHandler(&stream);
}

TEST(LidarInfo, LosslessWhenTheCountBeforeCompressionIsTheCount) {
    HandlerResult r = runPadded(lidarFile(5000, {"Red", "GPSTime"}, countRecord(5000.0)), 100000);
    EXPECT_EQ(S_OK, r.initialize);
    EXPECT_EQ(u"QG4 LiDAR", r.generation);
    EXPECT_EQ(u"Lossless", r.compression);
}

TEST(LidarInfo, RatioByTheBytesOfAPoint) {
    // 1,000,000 points before compression in 3,400,000 bytes: 34 bytes a point gives 10, 20
    // bytes 5.88, which rounds to 6.
    const struct {
        std::vector<const char*> channels;
        const char16_t* text;
    } cases[] = {
        {{"Red", "GPSTime"}, u"10:1"},
        {{"Red"}, u"8:1"},     // 26 bytes: 7.65
        {{"GPSTime"}, u"8:1"}, // 28 bytes: 8.24
        {{}, u"6:1"},
        {{"red", "gpstime"}, u"6:1"}, // names are case-sensitive
    };
    for (const auto& c : cases) {
        HandlerResult r = runPadded(lidarFile(400000, c.channels, countRecord(1e6)), 3400000);
        EXPECT_EQ(S_OK, r.initialize);
        EXPECT_EQ(c.text, r.compression) << c.channels.size();
    }
}

TEST(LidarInfo, TheCountMustBeAStoredDouble) {
    const std::vector<std::uint8_t> bodies[] = {
        countRecord(1, std::string("1000000", 8)),                // text
        countRecord(2, std::string("\0\0\0\0\0\x0F\x42\x40", 8)), // an integer type
        LidarBodyWriter().metadataHeader(0).bytes(),              // absent
        countRecord(3, std::string("\0\0\0", 3)),                 // shorter than a double
    };
    for (const auto& body : bodies) {
        HandlerResult r = runPadded(lidarFile(1000, {"Red"}, body), 50000);
        EXPECT_EQ(S_OK, r.initialize);
        EXPECT_EQ(u"", r.compression);
    }
}

TEST(LidarInfo, DamagedFilesFailWithoutACrash) {
    const std::vector<std::uint8_t> file =
        lidarFile(1000, {"Red"}, countRecord(1e6)).write().flatten();
    for (std::size_t cut = 6; cut < file.size(); cut += 7) {
        const std::vector<std::uint8_t> part(file.begin(), file.begin() + cut);
        HandlerResult r = runHandler(part);
        EXPECT_EQ(E_FAIL, r.initialize) << cut;
        EXPECT_EQ(u"QG4 LiDAR", r.generation);
        EXPECT_EQ(u"", r.compression);
    }
    // A chunk length far beyond the file.
    LidarFileLayout layout = lidarFile(1000, {}, countRecord(1e6)).layout();
    layout.chunks.front().length = 0x7FFFFFFFFFFFFFF0ull;
    SparseStream stream = streamOf(LidarFileWriter::writeLayout(layout));
    EXPECT_EQ(E_FAIL, runHandler(&stream).initialize);
}

TEST(LidarInfo, ReadsHeadersOnly) {
    LidarFileWriter file = lidarFile(1000000, {"Red", "GPSTime"}, countRecord(2e6));
    for (std::uint16_t c = 0; c < file.header.channels.size(); ++c) {
        LidarSubbandChunk chunk;
        chunk.channel = c;
        chunk.dataZeros = 20u << 20;
        file.subbands.push_back(chunk);
    }
    const LidarSparseBytes bytes = file.write();
    SparseStream stream = streamOf(bytes);
    HandlerResult r = runHandler(&stream);
    EXPECT_EQ(S_OK, r.initialize);
    EXPECT_EQ(u"1:1", r.compression) << "68 MB of points in 100 MB";
    EXPECT_LT(stream.bytesRead, 64u * 1024u);
}

TEST(LidarInfo, AdapterReadsUnderTheSharedMutex) {
    const std::vector<std::uint8_t> bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    IStream* stream = SHCreateMemStream(bytes.data(), static_cast<UINT>(bytes.size()));
    auto* io = new IStreamIO(stream);
    EXPECT_EQ(10, io->size());
    std::uint8_t buffer[8] = {};
    EXPECT_EQ(4, io->pread(6, buffer, 8));
    EXPECT_EQ(7, buffer[0]);
    EXPECT_EQ(0, io->pread(20, buffer, 8));
    EXPECT_EQ(0, io->pread(-1, buffer, 8));
    // While another holder has "theMutex", a read waits; here the holder is this thread, and the
    // mutex is recursive for its owner, so the read goes through.
    HANDLE other = CreateMutexW(nullptr, TRUE, u"theMutex");
    EXPECT_EQ(2, io->pread(0, buffer, 2));
    ReleaseMutex(other);
    CloseHandle(other);
    io->release();
    EXPECT_EQ(0u, stream->Release()) << "the adapter holds no reference";
}

} // namespace
