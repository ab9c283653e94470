#pragma once
// An MQ arithmetic encoder written from the published procedure of ITU-T T.88 Annex E and
// ITU-T T.800 Annex C.2 (INITENC, ENCODE with CODEMPS and CODELPS, RENORME, BYTEOUT with bit
// stuffing, FLUSH), with 64 contexts that all start at state 0 with MPS 0.
//
// The decoder of the subblock readers takes in two bytes at its start and one more each time
// its bit count runs out, and the end of its range supplies 0xFF bytes; raw data that follows
// an MQ segment begins where that intake stopped. fitSegment cuts or pads a flushed segment
// (with 0xFF, which decodes the same as the end of the range) to exactly that length.

#include <cstdint>
#include <vector>

namespace quarn_test {

// One row of the probability state table (Table C.2 of T.800, Table E.1 of T.88).
struct MQProbability {
    std::uint32_t qe;
    unsigned nmps, nlps, swap;
};
const MQProbability& mqProbability(unsigned state);

class MQEncoder {
public:
    MQEncoder();

    void encode(unsigned context, unsigned decision);

    // Sets the state index and MPS of a context (for contexts that start elsewhere than 0).
    void setContext(unsigned context, unsigned state, unsigned mps);
    // INITENC for a further segment; the contexts keep their states.
    void restart();

    // Ends the segment. With the marker, as T.88 does (the segment then ends in FF AC); without
    // it, as T.800 does (a final 0xFF byte is dropped).
    std::vector<std::uint8_t> flush(bool marker = true);

    // Renormalisation shifts of the segment so far; a decoder of the same decisions makes the same
    // shifts.
    std::uint64_t shifts() const { return shifts_; }
    // Bytes output so far.
    std::size_t size() const { return out_.size() - 1; }

private:
    void renormalise();
    void byteOut();

    std::uint32_t A_ = 0x8000;
    std::uint32_t C_ = 0;
    std::uint32_t CT_ = 12;
    std::uint64_t shifts_ = 0;
    unsigned state_[64] = {};
    unsigned mps_[64] = {};
    // out_[0] stands for the byte before the segment (BPST - 1); the last byte is B.
    std::vector<std::uint8_t> out_;
};

// The segment cut or padded with 0xFF to the bytes that the decoder takes in after `shifts`
// renormalisation shifts.
std::vector<std::uint8_t> fitSegment(std::vector<std::uint8_t> segment, std::uint64_t shifts);

} // namespace quarn_test
