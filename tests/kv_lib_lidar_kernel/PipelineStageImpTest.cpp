// Chains of subband sources over subbands coded by the test writer: every sample type and
// lifting kind, signals of many lengths, windows from the smallest the kernels allow (2P + 1),
// starts at even and odd positions, forward and backward seeks and reads of every size, all
// checked against the whole-signal inverse of the test's own forward transform.

#include "BufferedIOReader.h"
#include "ForwardWavelet.h"
#include "LidarMemoryIO.h"
#include "SubbandSource.h"
#include "SubblockReader.h"
#include "SubblockWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

using namespace Korvel;
using namespace quarn_test;

namespace {

// One subband's byte readers, owned by the source made from them.
SubbandSource* bandReader(SubblockReader& subblocks, const SubblockWriter& writer, bool oneStream,
                          std::uint64_t level, std::uint64_t length) {
    auto* data = new BufferedIOReader;
    data->attach(LidarMemoryIO::make(writer.dataBytes()).get(), true, 64);
    BufferedIOReader* headers = data;
    if (!oneStream) {
        headers = new BufferedIOReader;
        headers->attach(LidarMemoryIO::make(writer.headers()).get(), true, 64);
    }
    return SubbandSource::createSubbandReader(subblocks, level, level > 0, headers, data, length);
}

// A chain over the subbands, samples of T, each subband coded in subblocks of size.
template <class T> struct Chain {
    Chain(const std::vector<std::vector<T>>& bands, std::uint32_t coded, std::uint32_t transform,
          std::uint64_t size, std::uint64_t window, bool oneStream)
        : subblocks(SubblockReader::create(coded, transform, "channel", size)) {
        for (std::size_t s = 0; s < bands.size(); ++s) {
            SubblockWriter writer(oneStream);
            for (std::size_t first = 0; first < bands[s].size(); first += size) {
                const std::vector<T> block(
                    bands[s].begin() + first,
                    bands[s].begin() + std::min<std::size_t>(first + size, bands[s].size()));
                if (std::all_of(block.begin(), block.end(), [](T v) { return v == T(0); })) {
                    coded == 513 || coded == 1025 || coded == 2049 ? writer.integerRun(0)
                                                                   : writer.floatRun(0);
                } else if constexpr (std::is_integral_v<T>) {
                    SubblockWriter::IntegerPlanes planes;
                    planes.width = coded == 513 ? 16 : coded == 1025 ? 32 : 64;
                    planes.rawPlanes = 2;
                    writer.integerSubblock(block, planes);
                } else if (coded == 1027) {
                    const std::vector<float> values(block.begin(), block.end());
                    transform > 60 ? writer.gzFloatSubblock(values)
                                   : writer.mqFloatSubblock(values);
                } else {
                    transform > 60 ? writer.gzFloatSubblock(block) : writer.mqFloatSubblock(block);
                }
            }
            SubbandSource* band = bandReader(*subblocks, writer, oneStream, s, bands[s].size());
            top = s == 0 ? band : SubbandSource::createPipeStage(window, top, band);
        }
    }
    ~Chain() { delete top; }

    // Samples from the top, of the coded type C, widened to the band type.
    template <class C> std::vector<T> readAs(std::uint64_t n) {
        std::vector<C> samples(n);
        samples.resize(top->read(samples.data(), n));
        return std::vector<T>(samples.begin(), samples.end());
    }
    std::vector<T> read(std::uint64_t n) {
        switch (subblocks->getDatatype()) {
        case 513:
            return readAs<std::int16_t>(n);
        case 1025:
            return readAs<std::int32_t>(n);
        case 2049:
            return readAs<std::int64_t>(n);
        case 1027:
            return readAs<float>(n);
        default:
            return readAs<double>(n);
        }
    }

    std::unique_ptr<SubblockReader> subblocks;
    SubbandSource* top = nullptr;
};

struct Case {
    std::uint32_t coded;
    std::uint32_t transform;
};

// Random starts, seeks and reads over random signals; every read must give exactly the samples
// of the reference signal from the position reached.
template <class T> void checkChains(const Case& c, std::mt19937_64& rng, int rounds) {
    for (int round = 0; round < rounds; ++round) {
        const std::uint32_t levels = 1 + rng() % 4;
        const std::size_t length = 1 + rng() % (round % 4 == 0 ? 12 : 400);
        const std::uint64_t padding = (c.transform % 20 == 3 || c.transform % 20 == 13) ? 2 : 1;
        const std::uint64_t window = 2 * padding + 1 + rng() % 40;
        const std::uint64_t size = 8 + rng() % 50;
        std::vector<T> signal(length);
        for (T& v : signal) {
            if constexpr (std::is_integral_v<T>)
                v = static_cast<T>(rng() % 4 == 0 ? 0
                                                  : static_cast<std::int64_t>(rng() % 2001) - 1000);
            else
                v = static_cast<T>(static_cast<double>(rng() % 200001) / 100.0 - 1000.0);
        }
        const auto bands = forwardWavelet(signal, c.coded, c.transform, levels);
        const auto expected = inverseWavelet(bands, c.coded, c.transform, levels);
        SCOPED_TRACE(testing::Message()
                     << "coded " << c.coded << " transform " << c.transform << " length " << length
                     << " levels " << levels << " window " << window << " subblock " << size);
        Chain<T> chain(bands, c.coded, c.transform, size, window, rng() % 2 == 0);
        std::int64_t p = static_cast<std::int64_t>(rng() % (length + 2));
        chain.top->start(p);
        for (int step = 0; step < 8; ++step) {
            const std::uint64_t n = 1 + rng() % (2 * window + 9);
            const std::vector<T> got = chain.read(n);
            const std::size_t want =
                std::min<std::size_t>(n, length - std::min<std::size_t>(p, length));
            ASSERT_EQ(got.size(), want) << "at " << p;
            for (std::size_t i = 0; i < got.size(); ++i)
                ASSERT_EQ(got[i], expected[p + i]) << "sample " << p + i;
            p += static_cast<std::int64_t>(got.size());
            // Mostly forward, within or beyond the windows; now and then back to an earlier point.
            const int move = static_cast<int>(rng() % 4);
            if (move == 1) p += static_cast<std::int64_t>(rng() % (3 * window));
            if (move == 2) p = static_cast<std::int64_t>(rng() % (length + 1));
            if (move != 0) chain.top->seek(p);
        }
    }
}

} // namespace

TEST(PipelineStageImp, IntegerChainsGiveTheSignalBack) {
    std::mt19937_64 rng(7);
    for (std::uint32_t transform : {1u, 3u, 10u, 11u, 13u}) {
        checkChains<std::int64_t>({513, transform}, rng, 40);
        checkChains<std::int64_t>({1025, transform}, rng, 40);
        checkChains<std::int64_t>({2049, transform}, rng, 40);
    }
}

TEST(PipelineStageImp, FloatingPointChainsMatchTheLiftingOrder) {
    std::mt19937_64 rng(11);
    for (std::uint32_t transform : {21u, 23u, 30u, 31u, 33u, 61u, 63u, 71u, 73u}) {
        checkChains<double>({1027, transform}, rng, 25);
        checkChains<double>({2051, transform}, rng, 25);
    }
}
