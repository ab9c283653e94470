#include "SubblockDecode.h"

#include "qg3/planes/QG3PlaneRecord.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace Korvel {

namespace {

using namespace SubblockState;

// Bits of an arithmetic-coded plane, each in its context. The pass works on copies of the
// decoder's registers and contexts, so that they stay in machine registers and on the stack.
// The word of the last decision's context is held in a register and written back only after
// the next decision's context is read: runs of decisions in one context (the zero-coding context
// of an empty neighbourhood, the refinement context of later planes) then pass the word from one
// decision to the next in a register, and a read never waits for the write before it.
struct MQBits {
    KVMQRegisters registers;
    KVMQContext* contexts; // apart, so that the scalars here can live in machine registers
    unsigned last = 0;
    KVMQContext lastWord = contexts[0];

    unsigned operator()(unsigned cx) {
        const KVMQContext stored = contexts[cx];
        contexts[last] = lastWord;
        const KVMQContext w = cx == last ? lastWord : stored;
        last = cx;
        return registers.decide(w, lastWord);
    }
    // The last context's word back into the contexts.
    void writeBack() { contexts[last] = lastWord; }
};

// Bits of a raw plane, most significant bit of each byte first; zeros past the end.
struct RawBits {
    const std::uint8_t* cur;
    const std::uint8_t* end;
    std::uint32_t byte = 0;
    unsigned left = 0;

    unsigned operator()(unsigned) {
        if (left == 0) {
            byte = cur != end ? *cur++ : 0;
            left = 8;
        }
        --left;
        return (byte >> left) & 1u;
    }
};

struct Pass {
    std::uint32_t* state; // the state word of coefficient (0, 0)
    std::size_t stateStride;
    std::uint32_t* output; // coefficient (0, 0)
    std::size_t outputStride;
    KVIRect decoded;
    std::uint32_t mask;
    const std::uint8_t* decision; // SubblockContextTables::decision of the subband
};

// One raster pass of a plane. An arithmetic-coded plane marks all eight neighbours of a
// coefficient that becomes significant, a raw plane only the four direct ones.
template <bool Raw, class Bits> void passPlane(const Pass& p, Bits& bits) {
    const KVIRect& r = p.decoded;
    if (r.x1 < r.x0) return;
    const SubblockContextTables& t = kSubblockContextTables;
    const std::ptrdiff_t w = static_cast<std::ptrdiff_t>(p.stateStride);
    const auto columns = static_cast<std::ptrdiff_t>(r.width());
    const std::uint32_t mask = p.mask;
    const std::uint8_t* const decision = p.decision;
    for (std::int32_t y = r.y0; y <= r.y1; ++y) {
        std::uint32_t* st = p.state + static_cast<std::ptrdiff_t>(y) * w + r.x0;
        std::uint32_t* co = p.output + static_cast<std::ptrdiff_t>(y) * p.outputStride + r.x0;
        std::uint32_t* const rowEnd = st + columns;
        for (; st != rowEnd; ++st, ++co) {
            // A significant coefficient refines, any other is zero-coded: one decision either
            // way, in the context that the state word gives; only a coefficient that becomes
            // significant branches off.
            const std::uint32_t s = *st;
            const std::uint32_t d = bits(decision[decisionIndex(s)]);
            const std::uint32_t significant = (s >> 13) & 1u;
            *st = s | ((s >> 1) & Refined);
            *co |= mask & (0u - (d & significant));
            if (d > significant) {
                const unsigned i = (s >> 4) & 0xFF;
                const std::uint32_t negative = bits(t.signContext[i]) ^ t.signFlip[i];
                const std::uint32_t positive = negative ^ 1u;
                *co = mask | (negative << 31);
                st[0] = s | Significant;
                st[-1] |= East | (positive << 8);
                st[1] |= West | (positive << 9);
                st[-w] |= South | (positive << 11);
                st[w] |= North | (positive << 10);
                if constexpr (!Raw) {
                    st[-w - 1] |= SouthEast;
                    st[-w + 1] |= SouthWest;
                    st[w - 1] |= NorthEast;
                    st[w + 1] |= NorthWest;
                }
            }
        }
    }
}

} // namespace

void SubblockDecode::decodePlane(KVMQDecoder& decoder, const QG3PlaneRecord& record) {
    const SubblockGeometry& g = geometry_;
    const Pass pass{stateAt(0, 0),
                    stateStride_,
                    output_,
                    outputStride_,
                    g.decoded,
                    mask_,
                    kSubblockContextTables.decision[static_cast<unsigned>(zeroCoding_)].data()};
    const std::uint8_t* const data = record.length > 0 ? record.data : nullptr;
    const std::uint32_t length = data != nullptr ? record.length : 0;
    if (record.raw()) {
        RawBits bits{data, data + length};
        passPlane<true>(pass, bits);
    } else {
        decoder.initDec(data, length);
        std::array<KVMQContext, KVMQDecoder::NumContexts> contexts = decoder.contexts();
        MQBits bits{decoder.registers(), contexts.data()};
        passPlane<false>(pass, bits);
        bits.writeBack();
        decoder.registers() = bits.registers;
        decoder.contexts() = contexts;
    }
}

void SubblockDecode::decodePlanes(KVMQDecoder& decoder, const QG3PlaneRecord* bandRecords,
                                  std::uint32_t recordCount, std::uint8_t last) {
    while (currentPlane_ <= last && currentPlane_ < recordCount &&
           bandRecords[currentPlane_].filled()) {
        decodePlane(decoder, bandRecords[currentPlane_]);
        ++currentPlane_;
        mask_ >>= 1;
    }
}

void SubblockDecode::decode(const QG3PlaneRecord* records, std::uint32_t planesPerBand,
                            std::int32_t* const* outputs, std::size_t stride) {
    const SubblockGeometry& g = geometry_;
    const std::uint32_t perBand = std::min<std::uint32_t>(planesPerBand, 32);
    outputStride_ = stride;

    for (std::uint16_t b = 0; b < g.bandCount; ++b) {
        for (std::uint32_t y = 0; y < g.height; ++y)
            std::memset(outputs[b] + y * stride, 0, g.width * sizeof(std::int32_t));
        // The run of filled records that starts at the first filled one.
        const QG3PlaneRecord* const band = records + std::size_t(b) * planesPerBand;
        std::uint32_t first = 0;
        while (first < perBand && !band[first].filled())
            ++first;
        std::uint32_t end = first;
        while (end < perBand && band[end].filled())
            ++end;
        firstPlane_[b] = static_cast<std::uint8_t>(first < perBand ? first : 32);
        lastPlane_[b] = static_cast<std::uint8_t>(first < perBand ? end - 1 : 31);
    }

    currentBand_ = 0;
    for (std::uint16_t b = 0; b < g.bandCount; ++b) {
        if (firstPlane_[b] <= lastPlane_[b]) {
            // Record 0 is the sign position and holds no plane: decoding starts at plane 1 or
            // below the band's first filled record, whichever is lower down.
            currentPlane_ = std::max<std::uint8_t>(firstPlane_[b], 1);
            mask_ = 0x80000000u >> currentPlane_;
            output_ = reinterpret_cast<std::uint32_t*>(outputs[b]);
            if (b > 0) clearState();
            KVMQDecoder decoder;
            decodePlanes(decoder, records + std::size_t(b) * planesPerBand, perBand, lastPlane_[b]);
            currentPlane_ = 32;
        }
        nextBand();
    }
    finish(outputs);
}

void SubblockDecode::finish(std::int32_t* const* outputs) {
    const SubblockGeometry& g = geometry_;
    for (std::uint16_t b = 0; b < g.bandCount; ++b) {
        const bool decoded = firstPlane_[b] <= lastPlane_[b];
        const unsigned last = lastPlane_[b];
        // Half the weight of the last decoded plane, less one at even indices.
        const std::uint32_t half = decoded && last < 31 ? 1u << (30 - last) : 0;
        const std::uint32_t even = half != 0 ? half - 1 : 0;
        for (std::int32_t y = g.decoded.y0; y <= g.decoded.y1; ++y) {
            std::uint32_t* const co = reinterpret_cast<std::uint32_t*>(
                outputs[b] + static_cast<std::size_t>(y) * outputStride_);
            // Without branches, so that the loop vectorises: a zero magnitude stays zero, and
            // the sign bit negates.
            const std::uint32_t rowStart = std::uint32_t(y) * g.width;
            for (std::int32_t x = g.decoded.x0; x <= g.decoded.x1; ++x) {
                const std::uint32_t v = co[x];
                const std::uint32_t magnitude = v & 0x7FFFFFFFu;
                const std::uint32_t offset =
                    ((rowStart + std::uint32_t(x)) & 1u) != 0 ? half : even;
                const std::uint32_t moved = magnitude + (offset & (0u - (magnitude != 0)));
                const std::uint32_t negative = 0u - (v >> 31);
                co[x] = (moved ^ negative) - negative;
            }
        }
    }
}

} // namespace Korvel
