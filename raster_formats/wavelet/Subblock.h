#pragma once
// A subblock (an S x S tile of one subband, smaller at the right and bottom edges): its geometry,
// the part of it that the image's crop window needs, and the decoding state that the bit-plane
// decoder (SubblockDecode) works on.

#include "SubblockContexts.h"
#include "model/KVIRect.h"
#include "support/KVStatus.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace Korvel {

class QG3ImageInfo;

struct SubblockGeometry {
    std::uint16_t bandCount = 0; // selected bands
    std::uint8_t subband = 0;
    std::uint32_t subblock = 0;
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    // The decoded rectangle, relative to the subblock's top-left corner. An empty extent is
    // x0 = 1, x1 = 0 (y alike).
    KVIRect decoded;
};

// The geometry of a subblock of an image: its size from the subband table, and the crop window
// mapped to the subband and clipped to the subblock. KV_QG3_NOT_FOUND for a subband or subblock
// beyond the table, KV_QG3_GEOMETRY_OVERFLOW when the image size at the window's level overflows
// 32 bits.
KVStatus makeSubblockGeometry(const QG3ImageInfo& info, std::uint8_t subband,
                              std::uint32_t subblock, SubblockGeometry& geometry);

class Subblock {
public:
    // Largest subblock, in coefficients of its state array with the border; a larger one is
    // refused with KV_QG3_BAD_FORMAT (no valid file comes near it).
    static constexpr std::uint64_t kMaxStateCells = std::uint64_t(1) << 24;

    // Throws KVUtilException: KV_OUT_OF_MEMORY when the state cannot be allocated,
    // KV_QG3_BAD_FORMAT beyond the cap.
    explicit Subblock(const SubblockGeometry& geometry);
    Subblock(const Subblock&) = delete;
    Subblock& operator=(const Subblock&) = delete;
    virtual ~Subblock();

    // Moves to the next band; the current plane becomes the smallest first plane over all
    // bands.
    virtual void nextBand();

    const SubblockGeometry& geometry() const { return geometry_; }

protected:
    // The state word of the coefficient at (x, y) of the subblock: the array has a border of
    // two words on every side, so neighbour updates never leave it.
    std::uint32_t* stateAt(std::int32_t x, std::int32_t y) {
        return state_.get() + (static_cast<std::size_t>(y) + 2) * stateStride_ + 2 +
               static_cast<std::size_t>(x);
    }
    void clearState();

    SubblockGeometry geometry_;
    ZeroCodingTable zeroCoding_;
    std::unique_ptr<std::uint8_t[]> firstPlane_;
    std::unique_ptr<std::uint8_t[]> lastPlane_;
    std::uint16_t currentBand_ = 0;
    std::uint8_t currentPlane_ = 0;
    std::uint32_t mask_ = 0x80000000u; // plane p has the mask 1 << (31 - p)
    // One state array, cleared for each band decoded.
    std::unique_ptr<std::uint32_t[]> state_;
    std::size_t stateStride_ = 0;
    std::size_t stateCells_ = 0;
};

} // namespace Korvel
