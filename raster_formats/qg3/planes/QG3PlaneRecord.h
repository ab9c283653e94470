#pragma once
// One (band, bit plane) item of a subblock as the plane readers hand it to the subblock decoder:
// the item's bytes, its optional value and word, and what kind of plane it is.

#include <cstdint>
#include <memory>

namespace Korvel {

struct QG3PlaneRecord {
    static constexpr std::uint8_t kWordPresent = 0x80;
    static constexpr std::uint8_t kFilled = 0x40;
    static constexpr std::uint8_t kOwned = 0x04;
    static constexpr std::uint8_t kRaw = 0x02; // plain bits, not arithmetic-coded
    // Records of one band: record p holds bit plane p, of weight 2^(31 - p). A subblock's
    // records are band-major over the selected bands, this many per band whatever the image's
    // plane count.
    static constexpr std::uint32_t kRecordsPerBand = 32;

    const std::uint8_t* data = nullptr;
    std::uint32_t length = 0;
    std::uint32_t value = 0;
    std::uint16_t word = 0;
    std::uint8_t flags = 0;
    std::unique_ptr<std::uint8_t[]> owned; // the bytes behind data when kOwned is set

    bool filled() const { return (flags & kFilled) != 0; }
    bool raw() const { return (flags & kRaw) != 0; }

    // Frees owned bytes and clears the filled and word flags; the other flag bits stay.
    void reset() {
        owned.reset();
        data = nullptr;
        length = 0;
        flags &= static_cast<std::uint8_t>(~(kFilled | kWordPresent | kOwned));
    }
};

} // namespace Korvel
