#include "FileBand.h"

#include "QG2FileSubbandInfo.h"
#include "QG2Status.h"
#include "streams/KVIOBodyReader.h"
#include "support/KVBigEndian.h"
#include "support/KVStatusGuard.h"

#include <algorithm>
#include <limits>
#include <new>

namespace Korvel {

FileBand::FileBand(const QG2FileSubbandInfo& subband, const KVIRect& region,
                   std::uint32_t directoryOffset)
    : QG2Band(region), subband_(subband), directoryOffset_(directoryOffset) {}

KVStatus FileBand::read() {
    KVIOBodyReader in = subband_.streamReader();
    std::uint8_t marker[2];
    std::array<std::uint8_t, 16> bits{};
    KV_RETURN_IF_FAILED(in.seek(directoryOffset_));
    KV_RETURN_IF_FAILED(in.read(marker, 2));
    if (marker[0] != 0xFF || marker[1] != 0xAA) return KV_QG2_BAD_STRUCTURE;
    KV_RETURN_IF_FAILED(in.read(bits.data(), bits.size()));
    std::size_t codes = 0;
    for (std::uint8_t count : bits)
        codes += count;
    if (codes > QG2HuffmanTree::kMaxCodes) return KV_QG2_BAD_STRUCTURE;

    std::vector<std::uint8_t> huffval(codes);
    float step = 0.0f;
    std::uint32_t blockWidth = 0, blockHeight = 0;
    KV_RETURN_IF_FAILED(in.read(huffval.data(), codes));
    KV_RETURN_IF_FAILED(in.readFloat(step));
    KV_RETURN_IF_FAILED(in.read(blockWidth));
    KV_RETURN_IF_FAILED(in.read(blockHeight));
    // The block offsets must be in the stream before the grid is taken.
    const std::uint64_t blocks = blocksFor(blockWidth, blockHeight);
    if (blocks > in.remaining() / 4) return KV_QG2_SHORT_READ;
    tablePosition_ = in.position();
    return setDirectory(bits, std::move(huffval), step, blockWidth, blockHeight);
}

KVStatus FileBand::readBlockFrom(std::uint32_t index, std::uint64_t from,
                                 std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    if (index >= getBlockCount()) return KV_BAD_ARGUMENT;
    KVIOBodyReader in = subband_.streamReader();
    // The block's offset and the next block's, in one read.
    const bool last = index + 1 == getBlockCount();
    std::uint8_t offsets[8];
    KV_RETURN_IF_FAILED(in.seek(tablePosition_ + 4 * std::uint64_t{index}));
    KV_RETURN_IF_FAILED(in.read(offsets, last ? 4 : 8));
    const std::uint32_t start = loadBE<std::uint32_t>(offsets);
    const std::uint64_t end =
        last ? subband_.lastBlockEnd(start) : loadBE<std::uint32_t>(offsets + 4);
    if (end < start) return KV_QG2_BAD_STRUCTURE;
    if (end > in.length()) return KV_QG2_SHORT_READ;
    const std::uint64_t size = end - start;
    if (size == 0) return KV_OK;
    if (size > std::numeric_limits<std::uint32_t>::max()) return KV_QG2_BAD_STRUCTURE;
    KV_RETURN_IF_FAILED(kvGuard([&] { bytes.assign(size, 0); }));
    // A block that cannot be read leaves no bytes behind.
    const std::uint64_t skipped = std::min(from, size);
    KVStatus status = in.seek(start + skipped);
    if (status == KV_OK) status = in.read(bytes.data() + skipped, size - skipped);
    if (status != KV_OK) bytes.clear();
    return status;
}

} // namespace Korvel
