#pragma once
// Decodes the plane records of one subblock into signed 32-bit wavelet coefficients for every
// selected band.
//
// Each band is stored as up to 32 bit planes, record p carrying the magnitude bit of weight
// 2^(31 - p) (record 0, the sign position, carries none). A band decodes the run of filled
// records that starts at its first filled one. Every plane is one raster pass over the decoded
// rectangle: a significant coefficient takes a refinement bit, any other a significance bit and,
// when that is 1, a sign bit. Arithmetic-coded planes are separate MQ segments whose contexts
// carry over within the band; raw planes hold the same bits plainly, most significant bit
// first, and read as zeros past their end. The finish turns sign-magnitude into two's complement
// and, below the last decoded plane, moves every nonzero coefficient half a step away from zero
// (a step less one at even coefficient indices).

#include "KVMQDecoder.h"
#include "Subblock.h"

#include <cstddef>
#include <cstdint>

namespace Korvel {

struct QG3PlaneRecord;

class SubblockDecode : public Subblock {
public:
    using Subblock::Subblock;

    // Decodes every band. Band b's record p is records[b * planesPerBand + p]; records at or
    // beyond planesPerBand (or 32) are missing. outputs[b] receives the band's height rows of
    // width coefficients, rows stride apart; outside the decoded rectangle they are zero.
    void decode(const QG3PlaneRecord* records, std::uint32_t planesPerBand,
                std::int32_t* const* outputs, std::size_t stride);

    // Decodes the current band's planes from the current plane up to last, stopping early at a
    // record that is not filled.
    void decodePlanes(KVMQDecoder& decoder, const QG3PlaneRecord* bandRecords,
                      std::uint32_t recordCount, std::uint8_t last);
    // One pass of the current plane of the current band.
    void decodePlane(KVMQDecoder& decoder, const QG3PlaneRecord& record);

private:
    void finish(std::int32_t* const* outputs);

    std::uint32_t* output_ = nullptr;
    std::size_t outputStride_ = 0;
};

} // namespace Korvel
