// Subband readers over runs of empty subblocks: a seek into a pending run gives zeros without
// reading, a seek past it reads the target's header next, a seek backwards rewinds, and an
// empty subband reads nothing at all.

#include "SubbandReaderImp.h"
#include "BufferedIOReader.h"
#include "LidarMemoryIO.h"
#include "SubblockReader.h"
#include "SubblockWriter.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace Korvel;
using namespace quarn_test;

namespace {

using Samples = std::vector<std::int16_t>;

struct Band {
    explicit Band(const SubblockWriter& writer, std::uint64_t length)
        : subblocks(SubblockReader::create(513, 1, "c", 4)),
          headerIO(LidarMemoryIO::make(writer.headers())),
          dataIO(LidarMemoryIO::make(writer.dataBytes())) {
        auto* headers = new BufferedIOReader;
        headers->attach(headerIO.get(), true, 16);
        auto* data = new BufferedIOReader;
        data->attach(dataIO.get(), true, 16);
        source.reset(static_cast<SubbandSource::SubbandReaderImp<std::int16_t>*>(
            SubbandSource::createSubbandReader(*subblocks, 1, true, headers, data, length)));
    }
    Samples read(std::uint64_t n) {
        Samples out(n);
        out.resize(source->read(out.data(), n));
        return out;
    }

    std::unique_ptr<SubblockReader> subblocks;
    ObjectRef<LidarMemoryIO> headerIO, dataIO;
    std::unique_ptr<SubbandSource::SubbandReaderImp<std::int16_t>> source;
};

SubblockWriter::IntegerPlanes planes16() {
    SubblockWriter::IntegerPlanes planes;
    planes.width = 16;
    return planes;
}

} // namespace

TEST(SubbandReaderImp, FollowsRunsOfEmptySubblocks) {
    // Subblocks of 4: 0 coded, 1 ... 4 one run (header 3), 5 and 6 coded, 7 the last two samples.
    SubblockWriter writer;
    writer.integerSubblock({1, -2, 3, -4}, planes16())
        .integerRun(3)
        .integerSubblock({5, 6, 7, 8}, planes16())
        .integerSubblock({-9, 10, -11, 12}, planes16())
        .integerSubblock({13, 14}, planes16());
    Band band(writer, 30);
    band.source->start(1);
    EXPECT_EQ(band.read(4), (Samples{-2, 3, -4, 0}));
    EXPECT_EQ(band.source->getPendingEmpty(), 3u); // subblock 1 of the run is current

    const std::int64_t headerReads = band.headerIO->preadCount;
    band.source->seek(9); // subblock 2, inside the run
    EXPECT_EQ(band.source->getPendingEmpty(), 2u);
    EXPECT_EQ(band.read(3), (Samples{0, 0, 0}));
    EXPECT_EQ(band.headerIO->preadCount, headerReads);

    band.source->seek(21); // subblock 5: past the two still pending, its header read next
    EXPECT_EQ(band.read(6), (Samples{6, 7, 8, -9, 10, -11}));

    band.source->seek(2); // backwards: rewound and read from the first subblock
    EXPECT_EQ(band.read(3), (Samples{3, -4, 0}));
    band.source->seek(28);
    EXPECT_EQ(band.read(5), (Samples{13, 14}));
    EXPECT_TRUE(band.read(1).empty());
}

TEST(SubbandReaderImp, EmptySubbandReadsNothing) {
    SubblockWriter none;
    Band band(none, 0);
    band.source->start(0);
    EXPECT_TRUE(band.read(4).empty());
    band.source->seek(3);
    EXPECT_TRUE(band.read(4).empty());
    EXPECT_EQ(band.headerIO->bytesRead + band.dataIO->bytesRead, 0);
}
