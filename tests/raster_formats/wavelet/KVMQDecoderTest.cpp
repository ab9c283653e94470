// The raster MQ decoder against the published test sequence, against a literal bit-serial
// decoder written here from the procedure (one bit into a 16-bit code register per
// renormalisation step), and against the test-side encoder.

#include "wavelet/KVMQDecoder.h"
#include "MQEncoder.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace Korvel {
namespace {

using Bytes = std::vector<std::uint8_t>;

// INITDEC, DECODE and RENORMD bit by bit: the code register holds the 16 bits compared with Qe;
// each step shifts in the next bit of the current byte. A byte after 0xFF first adds its top bit
// to the register (a carry) and gives its other seven bits. Past the end the bytes are 0xFF, or
// 0x7F after 0xFF.
class BitSerialDecoder {
public:
    BitSerialDecoder() {
        state_[0] = 4;
        state_[17] = 3;
        state_[18] = 46;
    }

    void init(const Bytes& data) {
        data_ = data;
        pos_ = 0;
        last_ = 0;
        const std::uint32_t b0 = nextByte();
        const std::uint32_t b1 = nextByte();
        if (b0 < 0xFF) {
            code_ = (b0 << 7) | (b1 >> 1);
            mask_ = 0x01;
        } else {
            code_ = 0x7F80 + b1;
            mask_ = 0;
        }
        current_ = b1;
        previousFF_ = b1 == 0xFF;
        a_ = 0x8000;
    }

    unsigned decode(unsigned cx) {
        const quarn_test::MQProbability& p = quarn_test::mqProbability(state_[cx]);
        unsigned d;
        a_ -= p.qe;
        if (code_ < p.qe) {
            if (a_ < p.qe) {
                d = mps_[cx];
                state_[cx] = p.nmps;
            } else {
                d = 1 - mps_[cx];
                if (p.swap) mps_[cx] = 1 - mps_[cx];
                state_[cx] = p.nlps;
            }
            a_ = p.qe;
        } else {
            code_ -= p.qe;
            if (a_ >= 0x8000) return mps_[cx];
            if (a_ < p.qe) {
                d = 1 - mps_[cx];
                if (p.swap) mps_[cx] = 1 - mps_[cx];
                state_[cx] = p.nlps;
            } else {
                d = mps_[cx];
                state_[cx] = p.nmps;
            }
        }
        while (a_ < 0x8000) {
            a_ <<= 1;
            const std::uint32_t bit = nextBit();
            code_ = ((code_ << 1) | bit) & 0xFFFF;
        }
        return d;
    }

    unsigned state(unsigned cx) const { return state_[cx]; }
    unsigned mps(unsigned cx) const { return mps_[cx]; }

private:
    std::uint32_t nextByte() {
        last_ = pos_ < data_.size() ? data_[pos_++] : (last_ == 0xFF ? 0x7F : 0xFF);
        return last_;
    }
    std::uint32_t nextBit() {
        if (mask_ == 0) {
            current_ = nextByte();
            if (previousFF_) {
                code_ = (code_ + (current_ >> 7)) & 0xFFFF;
                mask_ = 0x40;
            } else {
                mask_ = 0x80;
            }
            previousFF_ = current_ == 0xFF;
        }
        const std::uint32_t bit = (current_ & mask_) != 0 ? 1 : 0;
        mask_ >>= 1;
        return bit;
    }

    Bytes data_;
    std::size_t pos_ = 0;
    std::uint32_t last_ = 0;
    std::uint32_t current_ = 0;
    std::uint32_t mask_ = 0;
    bool previousFF_ = false;
    std::uint32_t a_ = 0;
    std::uint32_t code_ = 0;
    unsigned state_[KVMQDecoder::NumContexts] = {};
    unsigned mps_[KVMQDecoder::NumContexts] = {};
};

const Bytes kSequenceDecisions = {0x00, 0x02, 0x00, 0x51, 0x00, 0x00, 0x00, 0xC0, 0x03, 0x52, 0x87,
                                  0x2A, 0xAA, 0xAA, 0xAA, 0xAA, 0x82, 0xC0, 0x20, 0x00, 0xFC, 0xD7,
                                  0x9E, 0xF6, 0xBF, 0x7F, 0xED, 0x90, 0x4F, 0x46, 0xA3, 0xBF};
const Bytes kSequenceCode = {0x84, 0xC7, 0x3B, 0xFC, 0xE1, 0xA1, 0x43, 0x04, 0x02, 0x20,
                             0x00, 0x00, 0x41, 0x0D, 0xBB, 0x86, 0xF4, 0x31, 0x7F, 0xFF,
                             0x88, 0xFF, 0x37, 0x47, 0x1A, 0xDB, 0x6A, 0xDF, 0xFF, 0xAC};

TEST(KVMQDecoder, DecodesTheStandardTestSequenceWithAndWithoutItsMarker) {
    // The sequence's context starts at state 0 with MPS 0, as context 1 of this decoder does.
    for (std::size_t length : {kSequenceCode.size(), kSequenceCode.size() - 2}) {
        KVMQDecoder decoder;
        decoder.initDec(kSequenceCode.data(), static_cast<std::uint32_t>(length));
        Bytes decoded(32, 0);
        for (unsigned i = 0; i < 256; ++i)
            decoded[i / 8] |= static_cast<std::uint8_t>(decoder.decode(1) << (7 - i % 8));
        EXPECT_EQ(decoded, kSequenceDecisions) << "length " << length;
    }
}

// Decisions of both decoders over one segment, in the given contexts.
void expectSameDecisions(const Bytes& segment, const std::vector<unsigned>& contexts) {
    KVMQDecoder fast;
    BitSerialDecoder serial;
    fast.initDec(segment.data(), static_cast<std::uint32_t>(segment.size()));
    serial.init(segment);
    for (std::size_t i = 0; i < contexts.size(); ++i) {
        const unsigned cx = contexts[i];
        ASSERT_EQ(fast.decode(cx), serial.decode(cx)) << "decision " << i;
        ASSERT_EQ(fast.stateOf(cx), serial.state(cx));
        ASSERT_EQ(fast.mpsOf(cx), serial.mps(cx));
    }
}

TEST(KVMQDecoder, EqualsTheBitSerialProcedureOnRandomSegments) {
    std::mt19937 rng(19);
    for (int round = 0; round < 600; ++round) {
        // Lengths from 0, with runs of 0xFF and bytes above 0x8F after them (data, no marker).
        Bytes segment(rng() % 48);
        const unsigned ffShare = rng() % 4;
        for (std::uint8_t& b : segment)
            b = rng() % 4 < ffShare ? 0xFF : static_cast<std::uint8_t>(rng());
        std::vector<unsigned> contexts(1 + rng() % 3000);
        const unsigned spread = 1 + rng() % KVMQDecoder::NumContexts;
        for (unsigned& cx : contexts)
            cx = rng() % spread;
        expectSameDecisions(segment, contexts);
    }
}

TEST(KVMQDecoder, ReadsAPlaneOfAll0xFFWithItsCarries) {
    // Each 0xFF after the first adds its top bit to the code register and gives seven bits.
    // By hand: the start makes the code 0x7F80 + 0xFF = 0x807F; the first decision in a
    // context of state 0 (Qe 0x5601) takes the MPS branch with A = 0x29FF below Qe, so it is
    // the LPS, 1; the renormalisation takes in the third byte, whose carry makes the code
    // 0x2A7F before the shifts, and the next decision (state 1, MPS now 1) is 1 again.
    const Bytes ones(24, 0xFF);
    KVMQDecoder decoder;
    decoder.initDec(ones.data(), static_cast<std::uint32_t>(ones.size()));
    EXPECT_EQ(decoder.decode(1), 1u);
    EXPECT_EQ(decoder.stateOf(1), 1u);
    EXPECT_EQ(decoder.mpsOf(1), 1u);
    EXPECT_EQ(decoder.decode(1), 1u);
    EXPECT_EQ(decoder.stateOf(1), 2u);

    std::vector<unsigned> contexts(4000);
    for (std::size_t i = 0; i < contexts.size(); ++i)
        contexts[i] = (i * 7) % KVMQDecoder::NumContexts;
    for (std::size_t length : {1, 2, 3, 24, 200})
        expectSameDecisions(Bytes(length, 0xFF), contexts);
}

TEST(KVMQDecoder, DecodesAnEmptyPlaneFromTheFillAlone) {
    // The fill of an empty plane is 0xFF, 0x7F, 0xFF, 0x7F, ...: the same decisions as those
    // bytes written out.
    Bytes fill;
    for (int i = 0; i < 600; ++i)
        fill.push_back(i % 2 == 0 ? 0xFF : 0x7F);
    std::vector<unsigned> contexts(3000);
    for (std::size_t i = 0; i < contexts.size(); ++i)
        contexts[i] = (i * 5 + i / 7) % KVMQDecoder::NumContexts;
    KVMQDecoder empty;
    KVMQDecoder written;
    empty.initDec(nullptr, 0);
    written.initDec(fill.data(), static_cast<std::uint32_t>(fill.size()));
    for (unsigned cx : contexts)
        ASSERT_EQ(empty.decode(cx), written.decode(cx));
    expectSameDecisions({}, contexts);
}

TEST(KVMQDecoder, DecodesWhatTheTestEncoderWrites) {
    // Segments flushed without a marker (a final 0xFF dropped) decode to the decisions coded,
    // with the contexts of the decoder's start and carried over segments.
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        quarn_test::MQEncoder encoder;
        encoder.setContext(0, 4, 0);
        encoder.setContext(17, 3, 0);
        encoder.setContext(18, 46, 0);
        KVMQDecoder decoder;
        for (int segment = 0; segment < 3; ++segment) {
            const std::size_t n = rng() % 2000;
            const unsigned skew = rng() % 16;
            std::vector<unsigned> contexts(n);
            std::vector<unsigned> decisions(n);
            for (std::size_t i = 0; i < n; ++i) {
                contexts[i] = rng() % KVMQDecoder::NumContexts;
                decisions[i] = rng() % 16 < skew ? 0 : 1;
                encoder.encode(contexts[i], decisions[i]);
            }
            const Bytes bytes = encoder.flush(false);
            encoder.restart();
            decoder.initDec(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
            for (std::size_t i = 0; i < n; ++i)
                ASSERT_EQ(decoder.decode(contexts[i]), decisions[i]) << "decision " << i;
        }
    }
}

} // namespace
} // namespace Korvel
