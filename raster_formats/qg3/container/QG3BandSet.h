#pragma once
// A selection of bands: one bit per band, band i in bit (i mod 8) of byte i / 8, with the count of
// set bits kept beside the bits.

#include "support/KVStatus.h"

#include <cstdint>
#include <memory>

namespace Korvel {

class QG3BandSet {
public:
    QG3BandSet() = default;
    // Copies throw KVUtilException of KV_OUT_OF_MEMORY when out of memory.
    QG3BandSet(const QG3BandSet& other);
    QG3BandSet& operator=(const QG3BandSet& other);
    ~QG3BandSet() = default;

    // n bands, all set; KV_OUT_OF_MEMORY leaves the set as it was.
    KVStatus resizeAll(std::uint16_t n);
    void setAll();
    void clearAll();
    // Out-of-range bands are ignored.
    void set(std::uint16_t band);
    bool isSet(std::uint16_t band) const;

    std::uint16_t getBitCount() const { return bitCount_; }
    std::uint16_t getSetCount() const { return setCount_; }
    // Null for a set of no bands.
    const std::uint8_t* getBits() const { return bitCount_ == 0 ? nullptr : data(); }

    bool operator==(const QG3BandSet& other) const;

private:
    // Sets of up to this many bands keep their bits in place, larger ones in a block.
    static constexpr std::uint16_t kInlineBands = 64;

    std::uint32_t byteCount() const { return (bitCount_ + 7u) / 8u; }
    std::uint8_t* data() { return bits_ ? bits_.get() : inline_; }
    const std::uint8_t* data() const { return bits_ ? bits_.get() : inline_; }

    std::uint16_t bitCount_ = 0;
    std::uint16_t setCount_ = 0;
    std::uint8_t inline_[kInlineBands / 8] = {};
    std::unique_ptr<std::uint8_t[]> bits_;
};

} // namespace Korvel
