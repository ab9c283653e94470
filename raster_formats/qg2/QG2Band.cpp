#include "QG2Band.h"

#include "QG2Status.h"

#include <algorithm>
#include <limits>

namespace Korvel {

QG2Band::~QG2Band() = default;

std::uint64_t QG2Band::blocksFor(std::uint32_t blockWidth, std::uint32_t blockHeight) const {
    if (blockWidth == 0 || blockHeight == 0 || region_.isEmpty()) return 0;
    const auto across = (static_cast<std::uint64_t>(region_.width()) + blockWidth - 1) / blockWidth;
    const auto down =
        (static_cast<std::uint64_t>(region_.height()) + blockHeight - 1) / blockHeight;
    // Each factor is below 2^32, so the product fits.
    return across * down;
}

KVStatus QG2Band::setDirectory(const std::array<std::uint8_t, 16>& bits,
                               std::vector<std::uint8_t> huffval, float step,
                               std::uint32_t blockWidth, std::uint32_t blockHeight) {
    const std::uint64_t count = blocksFor(blockWidth, blockHeight);
    if (count == 0 || count > std::numeric_limits<std::uint32_t>::max())
        return KV_QG2_BAD_STRUCTURE;
    bits_ = bits;
    huffval_ = std::move(huffval);
    step_ = step;
    blockWidth_ = blockWidth;
    blockHeight_ = blockHeight;
    blocksAcross_ = static_cast<std::uint32_t>(
        (static_cast<std::uint64_t>(region_.width()) + blockWidth - 1) / blockWidth);
    blocksDown_ = static_cast<std::uint32_t>(count / blocksAcross_);
    blockCount_ = static_cast<std::uint32_t>(count);
    return KV_OK;
}

KVIRect QG2Band::getBlockRect(std::uint32_t index) const {
    if (index >= blockCount_) return KVIRect{};
    const std::int64_t x = region_.x0 + std::int64_t{index % blocksAcross_} * blockWidth_;
    const std::int64_t y = region_.y0 + std::int64_t{index / blocksAcross_} * blockHeight_;
    return KVIRect{
        static_cast<std::int32_t>(x), static_cast<std::int32_t>(y),
        static_cast<std::int32_t>(std::min<std::int64_t>(x + blockWidth_ - 1, region_.x1)),
        static_cast<std::int32_t>(std::min<std::int64_t>(y + blockHeight_ - 1, region_.y1))};
}

KVStatus QG2Band::buildTree(QG2HuffmanTree& tree) const {
    return tree.build(bits_.data(), huffval_.data(), huffval_.size());
}

} // namespace Korvel
