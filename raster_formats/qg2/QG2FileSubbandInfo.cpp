#include "QG2FileSubbandInfo.h"

#include "FileBand.h"
#include "QG2Status.h"
#include "streams/KVIOBodyReader.h"
#include "support/KVBigEndian.h"
#include "support/KVStatusGuard.h"

#include <algorithm>
#include <limits>
#include <new>

namespace Korvel {
namespace {

// Bytes of region records read at once.
constexpr std::uint64_t kRecordBlockBytes = 64 * 1024;

} // namespace

QG2FileSubbandInfo::QG2FileSubbandInfo(KVIOStreamInf* stream, std::uint64_t streamLength,
                                       std::uint32_t bands, std::uint64_t offset, std::uint64_t end)
    : QG2SubbandInfo(bands), stream_(stream), streamLength_(streamLength), offset_(offset),
      end_(end) {}

KVStatus QG2FileSubbandInfo::read(QG2InfoBudget& budget) {
    KVIOBodyReader in = streamReader();
    std::uint8_t head[8];
    KV_RETURN_IF_FAILED(in.seek(offset_));
    KV_RETURN_IF_FAILED(in.read(head, sizeof head));
    if (head[0] != 0xFF || head[1] != 0xAC) return KV_QG2_BAD_STRUCTURE;
    setDitherOffsets(head[2], head[3]);
    const std::uint64_t count = loadBE<std::uint32_t>(head + 4);

    // Every record must lie in the stream, and all subbands' records together cannot be larger
    // than the stream: the records of different subbands do not share bytes in a valid file.
    const std::uint64_t recordSize = (std::uint64_t{getNumBands()} + 4) * 4;
    if (count != 0 && recordSize > in.remaining() / count) return KV_QG2_SHORT_READ;
    if (count * recordSize > budget.recordBytes) return KV_QG2_BAD_STRUCTURE;
    budget.recordBytes -= count * recordSize;

    std::vector<KVIRect> regions;
    std::vector<std::uint32_t> directories;
    regions.reserve(count);
    directories.reserve(count * getNumBands());
    // The records are read in blocks of whole records, not one read per record; a block holds
    // kRecordBlockBytes or one record, whichever is more.
    const std::uint64_t perBlock = std::max<std::uint64_t>(1, kRecordBlockBytes / recordSize);
    std::vector<std::uint8_t> block;
    if (count != 0) block.resize(std::min(count, perBlock) * recordSize);
    const std::uint32_t bands = getNumBands();
    constexpr std::uint32_t kMaxCoordinate = std::numeric_limits<std::int32_t>::max() - 1;
    for (std::uint64_t first = 0; first < count; first += perBlock) {
        const std::uint64_t records = std::min(count - first, perBlock);
        KV_RETURN_IF_FAILED(in.read(block.data(), records * recordSize));
        for (std::uint64_t k = 0; k < records; ++k) {
            const std::uint8_t* record = block.data() + k * recordSize;
            for (std::uint32_t b = 0; b < bands; ++b)
                directories.push_back(loadBE<std::uint32_t>(record + 4 * std::size_t{b}));
            const std::uint8_t* rect = record + 4 * std::size_t{bands};
            const std::uint32_t x0 = loadBE<std::uint32_t>(rect),
                                y0 = loadBE<std::uint32_t>(rect + 4),
                                x1 = loadBE<std::uint32_t>(rect + 8),
                                y1 = loadBE<std::uint32_t>(rect + 12);
            if (x0 > x1 || y0 > y1 || x1 > kMaxCoordinate || y1 > kMaxCoordinate)
                return KV_QG2_BAD_STRUCTURE;
            regions.push_back(KVIRect{static_cast<std::int32_t>(x0), static_cast<std::int32_t>(y0),
                                      static_cast<std::int32_t>(x1),
                                      static_cast<std::int32_t>(y1)});
        }
    }

    sortedDirectories_ = directories;
    std::sort(sortedDirectories_.begin(), sortedDirectories_.end());
    sortedDirectories_.erase(std::unique(sortedDirectories_.begin(), sortedDirectories_.end()),
                             sortedDirectories_.end());
    return setRegions(std::move(regions), std::move(directories), budget);
}

std::uint64_t QG2FileSubbandInfo::lastBlockEnd(std::uint64_t start) const {
    const auto it = std::upper_bound(sortedDirectories_.begin(), sortedDirectories_.end(), start);
    return it == sortedDirectories_.end() ? end_ : std::min<std::uint64_t>(*it, end_);
}

KVStatus QG2FileSubbandInfo::createBand(std::uint32_t region, std::uint32_t band,
                                        std::unique_ptr<QG2Band>& out) {
    out.reset();
    if (!hasBand(region, band)) return KV_BAD_ARGUMENT;
    return kvGuard([&] {
        auto made =
            std::make_unique<FileBand>(*this, getRegion(region), getDirectoryOffset(region, band));
        KV_RETURN_IF_FAILED(made->read());
        out = std::move(made);
        return KV_OK;
    });
}

} // namespace Korvel
