// The kernel's MQ decoder against the test sequence published with ITU-T T.88 (Annex H.2) for
// the MQ coder of T.88 and T.800, against the test-side encoder, and on its byte intake rules.

#include "KernelMQDecoder.h"
#include "MQEncoder.h"
#include "SerialMQDecoder.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using Korvel::KernelMQDecoder;
using quarn_test::MQEncoder;

namespace {

const std::vector<std::uint8_t> kDecisionBytes = {
    0x00, 0x02, 0x00, 0x51, 0x00, 0x00, 0x00, 0xC0, 0x03, 0x52, 0x87, 0x2A, 0xAA, 0xAA, 0xAA, 0xAA,
    0x82, 0xC0, 0x20, 0x00, 0xFC, 0xD7, 0x9E, 0xF6, 0xBF, 0x7F, 0xED, 0x90, 0x4F, 0x46, 0xA3, 0xBF};
const std::vector<std::uint8_t> kCodedBytes = {
    0x84, 0xC7, 0x3B, 0xFC, 0xE1, 0xA1, 0x43, 0x04, 0x02, 0x20, 0x00, 0x00, 0x41, 0x0D, 0xBB,
    0x86, 0xF4, 0x31, 0x7F, 0xFF, 0x88, 0xFF, 0x37, 0x47, 0x1A, 0xDB, 0x6A, 0xDF, 0xFF, 0xAC};

unsigned decision(int i) {
    return (kDecisionBytes[i / 8] >> (7 - i % 8)) & 1;
}

} // namespace

TEST(KernelMQDecoder, DecodesTheStandardTestSequence) {
    for (std::size_t length : {kCodedBytes.size(), kCodedBytes.size() - 2}) {
        KernelMQDecoder decoder;
        decoder.mqInit(kCodedBytes.data(), length);
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(decoder.mqDecodeBit(0), decision(i)) << "decision " << i << " of " << length;
    }
}

TEST(KernelMQDecoder, TestEncoderReproducesTheStandardBytes) {
    // With the marker as T.88 ends a segment, and without it as T.800 does.
    for (bool marker : {true, false}) {
        MQEncoder encoder;
        for (int i = 0; i < 256; ++i)
            encoder.encode(0, decision(i));
        EXPECT_EQ(encoder.flush(marker),
                  std::vector<std::uint8_t>(kCodedBytes.begin(), kCodedBytes.end() - 2 * !marker));
    }
}

TEST(KernelMQDecoder, StartAndByteIntake) {
    const std::uint8_t one[] = {0x12};
    KernelMQDecoder decoder;
    decoder.mqInit(one, 1);
    EXPECT_EQ(decoder.getC(), ((0x12u << 16) | 0xFF00u) << 7);
    EXPECT_EQ(decoder.getCT(), 1u);
    EXPECT_EQ(decoder.getA(), 0x8000u);
    EXPECT_EQ(decoder.bytesTakenIn(), 1u);

    const std::uint8_t below[] = {0xFF, 0x8F};
    decoder.mqInit(below, 2);
    EXPECT_EQ(decoder.getC(), ((0xFFu << 16) + (0x8Fu << 9)) << 7);
    EXPECT_EQ(decoder.getCT(), 0u);

    // A marker byte after 0xFF is consumed once; the byte after it is taken in as usual.
    const std::uint8_t marker[] = {0xFF, 0x90, 0x00, 0x00};
    decoder.mqInit(marker, 4);
    EXPECT_EQ(decoder.getC(), ((0xFFu << 16) + 0xFF00u) << 7);
    EXPECT_EQ(decoder.getCT(), 1u);
    EXPECT_EQ(decoder.bytesTakenIn(), 2u);

    // Past the end every intake adds 0xFF00 with 8 bits and never moves beyond the range.
    const std::uint8_t two[] = {0x00, 0x00};
    decoder.mqInit(two, 2);
    for (int i = 0; i < 200; ++i)
        decoder.mqDecodeBit(i % 3);
    EXPECT_EQ(decoder.bytesTakenIn(), 2u);
    KernelMQDecoder empty;
    empty.mqInit(two, 0);
    empty.mqDecodeBit(0);
    EXPECT_EQ(empty.bytesTakenIn(), 0u);
}

TEST(KernelMQDecoder, RoundTripsRandomStreamsAndStopsWhereTheSegmentEnds) {
    for (unsigned seed : {1u, 7u, 42u, 1234u})
        for (unsigned contexts : {1u, 5u, 36u, 64u}) {
            // Skewed per context, so that states move away from 0 and back.
            std::mt19937 random(seed);
            std::vector<unsigned> decisions(3000 + seed % 97);
            MQEncoder encoder;
            for (std::size_t i = 0; i < decisions.size(); ++i) {
                decisions[i] = random() % 100 < i % contexts * 37 % 100;
                encoder.encode(i % contexts, decisions[i]);
            }
            const std::uint64_t shifts = encoder.shifts();
            const auto segment = quarn_test::fitSegment(encoder.flush(seed % 2 == 0), shifts);
            // Bytes that follow the segment (raw planes) must neither change the decisions nor
            // be taken in.
            auto data = segment;
            for (int i = 0; i < 16; ++i)
                data.push_back(static_cast<std::uint8_t>(seed * 31 + i * 17));
            KernelMQDecoder decoder;
            decoder.mqInit(data.data(), data.size());
            for (std::size_t i = 0; i < decisions.size(); ++i)
                ASSERT_EQ(decoder.mqDecodeBit(i % contexts), decisions[i])
                    << "seed " << seed << " contexts " << contexts << " decision " << i;
            EXPECT_EQ(decoder.bytesTakenIn(), segment.size());
        }
}

namespace {

using Bytes = std::vector<std::uint8_t>;

// Every decision, every register of the bit-serial procedure, the bytes taken in and the
// context's state after each decision, over decisions that run well past the end of the range.
void expectSameAsSerial(const Bytes& bytes, const std::vector<unsigned>& contexts) {
    KernelMQDecoder fast;
    quarn_test::SerialMQDecoder serial;
    fast.mqInit(bytes.data(), bytes.size());
    serial.init(bytes.data(), bytes.size());
    auto same = [&](std::size_t i) {
        ASSERT_EQ(fast.getC(), serial.C()) << "after decision " << i;
        ASSERT_EQ(fast.getA(), serial.A()) << "after decision " << i;
        ASSERT_EQ(fast.getCT(), serial.CT()) << "after decision " << i;
        ASSERT_EQ(fast.bytesTakenIn(), serial.bytesTakenIn()) << "after decision " << i;
    };
    same(0);
    for (std::size_t i = 0; i < contexts.size(); ++i) {
        const unsigned cx = contexts[i];
        ASSERT_EQ(fast.mqDecodeBit(cx), serial.decode(cx)) << "decision " << i;
        ASSERT_EQ(fast.stateOf(cx), serial.state(cx)) << "decision " << i;
        ASSERT_EQ(fast.mpsOf(cx), serial.mps(cx)) << "decision " << i;
        same(i + 1);
        if (testing::Test::HasFatalFailure()) return;
    }
}

} // namespace

TEST(KernelMQDecoder, EqualsTheBitSerialProcedureOnRandomStreams) {
    std::mt19937 random(23);
    for (int round = 0; round < 1500; ++round) {
        // Lengths 0 to 3 often, then up to 200 bytes; some streams coded by the test encoder
        // with random bytes after them, so that the contexts go through every state.
        const std::size_t length = round % 3 == 0 ? round / 3 % 4 : random() % 200;
        Bytes bytes = quarn_test::randomMQBytes(random, length);
        std::vector<unsigned> contexts(1 + random() % 2500);
        const unsigned spread = 1 + random() % KernelMQDecoder::NumContexts;
        for (unsigned& cx : contexts)
            cx = random() % spread;
        if (round % 5 == 4) {
            MQEncoder encoder;
            const unsigned skew = random() % 100;
            for (unsigned cx : contexts)
                encoder.encode(cx, random() % 100 < skew ? 1 : 0);
            Bytes coded = encoder.flush(round % 2 == 0);
            coded.resize(coded.size() - random() % 3 * (coded.size() > 2));
            bytes.insert(bytes.begin(), coded.begin(), coded.end());
        }
        expectSameAsSerial(bytes, contexts);
        if (HasFatalFailure()) {
            ADD_FAILURE() << "round " << round << ", " << bytes.size() << " bytes";
            return;
        }
    }
}
