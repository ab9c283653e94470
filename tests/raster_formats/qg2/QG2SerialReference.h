#pragma once
// The plain form of the generation-2 block decoder, for the tests of the table-driven one: a bit
// reader that takes one bit at a time and loads a byte only when its first bit is wanted, a code
// found by walking the tree one bit per step, and positions advanced symbol by symbol. Written
// from the coded block's layout:
//
// - while a code is read, the byte after a 0xFF is always skipped; while raw bits are read it is
//   skipped when it is 0x00, and otherwise reading stays on the 0xFF;
// - a bit wanted beyond the block's last byte fails with KV_QG2_BAD_CODE, as does a walk that
//   meets a branch no code uses or runs past 16 bits;
// - where decoding stops, the resume state names the byte and bit of the next code (the byte
//   after a wholly read one as a code would take it) and the position reached.

#include "model/KVIRect.h"
#include "qg2/QG2HuffmanTree.h"
#include "qg2/QG2ResumeState.h"
#include "qg2/QG2Status.h"
#include "support/KVUtilException.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

namespace qg2test {

using namespace Korvel;

class SerialBits {
public:
    SerialBits(const std::vector<std::uint8_t>& data, std::size_t position, std::uint32_t used)
        : data_(data), position_(position) {
        if (position < data.size()) {
            current_ = data[position];
            used_ = used;
        }
    }

    std::uint32_t codeBit() {
        if (used_ == 8) load(position_ + (current_ == 0xFF ? 2 : 1));
        return (current_ >> (7 - used_++)) & 1;
    }

    std::uint32_t raw(int count) {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i) {
            if (used_ == 8) {
                std::size_t next = position_ + 1;
                if (current_ == 0xFF)
                    next = position_ + 1 < data_.size() && data_[position_ + 1] == 0x00
                               ? position_ + 2
                               : position_;
                load(next);
            }
            value = (value << 1) | ((current_ >> (7 - used_++)) & 1);
        }
        return value;
    }

    QG2ResumeState save(std::uint64_t coefficient) const {
        std::size_t position = position_;
        std::uint32_t used = used_;
        if (used == 8) {
            position = std::min(data_.size(), position_ + (current_ == 0xFF ? 2 : 1));
            used = 0;
        }
        return QG2ResumeState{static_cast<std::uint32_t>(position),
                              position < data_.size() ? data_[position] : 0u, used,
                              static_cast<std::uint32_t>(coefficient)};
    }

private:
    void load(std::size_t position) {
        if (position >= data_.size()) throw KVUtilException(KV_QG2_BAD_CODE);
        position_ = position;
        current_ = data_[position];
        used_ = 0;
    }

    const std::vector<std::uint8_t>& data_;
    std::size_t position_;
    std::uint32_t current_ = 0;
    std::uint32_t used_ = 8;
};

inline std::uint32_t walkCode(const QG2HuffmanTree& tree, SerialBits& bits) {
    std::uint16_t node = 0;
    for (int depth = 0; depth < 16; ++depth) {
        const std::uint16_t entry = tree.child(bits.codeBit(), node);
        if (entry >= 256) {
            if (entry > 512) throw KVUtilException(KV_QG2_BAD_CODE);
            return entry - 256u;
        }
        node = entry;
    }
    throw KVUtilException(KV_QG2_BAD_CODE);
}

// The block decoder's contract, symbol by symbol.
inline std::optional<QG2ResumeState> serialDecodeBlock(const QG2HuffmanTree& tree,
                                                       const std::vector<std::uint8_t>& bytes,
                                                       std::int32_t* out, const KVIRect& block,
                                                       const KVIRect& wanted,
                                                       const QG2ResumeState* resume) {
    std::uint64_t p = 0;
    std::size_t start = 2;
    std::uint32_t used = 0;
    if (resume == nullptr) {
        if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xA3)
            throw KVUtilException(KV_QG2_BAD_BLOCK);
        if (bytes.size() < 3 || (bytes[2] == 0xFF && (bytes.size() < 4 || bytes[3] != 0x00)))
            return std::nullopt;
    } else {
        start = resume->bytePosition;
        used = resume->bitPosition;
        p = resume->coefficientPosition;
    }
    SerialBits bits(bytes, start, used);
    const auto width = static_cast<std::uint64_t>(block.width());
    for (std::int64_t j = 0; j < wanted.height(); ++j) {
        const std::uint64_t rowStart = (wanted.y0 - block.y0 + j) * width + (wanted.x0 - block.x0);
        const std::uint64_t rowEnd = rowStart + static_cast<std::uint64_t>(wanted.width());
        while (p < rowEnd) {
            const std::uint32_t symbol = walkCode(tree, bits);
            std::int32_t value = 0;
            if (symbol <= 100) {
                p += symbol;
                continue;
            }
            if (symbol == 105 || symbol == 106) {
                p += bits.raw(symbol == 105 ? 8 : 16);
                continue;
            }
            if (symbol == 101 || symbol == 102) value = static_cast<std::int32_t>(bits.raw(8));
            if (symbol == 103 || symbol == 104) value = static_cast<std::int16_t>(bits.raw(16));
            if (symbol == 102 || symbol == 104) value = -value;
            if (symbol > 106) value = static_cast<std::int32_t>(symbol) - 180;
            if (p >= rowStart) out[j * wanted.width() + std::int64_t(p - rowStart)] = value;
            ++p;
        }
    }
    if (wanted.x1 == block.x1 && wanted.y1 == block.y1) return std::nullopt;
    return bits.save(std::min(p, width * static_cast<std::uint64_t>(block.height())));
}

} // namespace qg2test
