#pragma once
// The strip cache of the wavelet decoder: per subband one strip of decoded coefficients, one row
// of subblocks over the columns last asked for. A row in the strip is handed out widened into the
// strip's row buffers; any other row moves the strip to that row's subblocks, which are read
// through the plane store client, decoded one at a time into a scratch block (colour transformed
// there, in the coefficient domain, when every band is decoded and the image has a transform) and
// kept compactly, a tile per subblock (SubbandStrip).
//
// Memory is one row of subblocks per subband for the columns asked for, at one to four bytes per
// coefficient as the values need, plus kRowsHeld rows per subband, one subblock of scratch and,
// once a subblock with data is read, the plane records; the whole is held under kMaxBytes. A
// strip without data holds nothing: its rows are handed out as null.

#include "SubbandStrip.h"
#include "support/KVStatus.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace Korvel {

class BandBufferSet;
class KVIInterruptDelegate;
class QG3ImageInfo;
class QG3PlaneStoreClient;
struct QG3PlaneRecord;

class SubbandStripTable {
public:
    // The most the strips, the scratch block and the plane records may hold together; a decode
    // that needs more fails with KV_QG3_OUT_OF_MEMORY.
    static constexpr std::uint64_t kMaxBytes = std::uint64_t(512) << 20;

    // Over an image whose subband table is built; null when out of memory. info must outlive it.
    static std::unique_ptr<SubbandStripTable> create(const QG3ImageInfo& info);
    ~SubbandStripTable();
    SubbandStripTable(const SubbandStripTable&) = delete;
    SubbandStripTable& operator=(const SubbandStripTable&) = delete;

    // Points rows[b] at column x0 of row `row` of subband `subband` for every selected band (null
    // when the strip holds no data: a row of zeros), filling the subband's strip when it does
    // not hold that row over x0..x1. The pointers stay
    // valid until kRowsHeld further rows of the subband are asked for, the subband is asked for
    // other columns or the table is cleared (a move of the strip to another row of subblocks
    // leaves them alone). KV_QG3_NOT_FOUND for a row or columns outside the subband; statuses of
    // the client, the subblock decoder and the interrupt delegate (asked after each subblock) are
    // passed up, and the strip is then dropped.
    KVStatus getRow(std::int32_t** rows, std::uint8_t subband, std::uint32_t row, std::uint32_t x0,
                    std::uint32_t x1, QG3PlaneStoreClient& client, KVIInterruptDelegate* interrupt);
    // Frees every strip and the plane records.
    void clear();
    // Bytes held by strips, scratch and records now.
    std::uint64_t getMemory() const;

private:
    explicit SubbandStripTable(const QG3ImageInfo& info);

    KVStatus fill(SubbandStrip& strip, std::uint8_t subband, QG3PlaneStoreClient& client,
                  KVIInterruptDelegate* interrupt);
    KVStatus decodeSubblock(const SubbandStrip& strip, SubbandStripTile& tile, std::uint8_t subband,
                            std::uint32_t subblock, QG3PlaneStoreClient& client);
    // Keeps tile.width columns of the strip's rows of every band of the scratch block (from
    // `start`, planes `plane` samples apart, rows `stride` apart) in the tile, with the fewest
    // bytes per coefficient that hold them.
    KVStatus storeTile(SubbandStripTile& tile, std::size_t rows, const std::int32_t* start,
                       std::size_t stride, std::size_t plane);
    // A block of exactly `count` elements, or of at least `count` when `atLeast`, the old one
    // freed first when it does not do; false when out of memory or over the bound.
    template <class T>
    bool reserve(std::unique_ptr<T[]>& block, std::size_t& capacity, std::uint64_t count,
                 bool atLeast);
    template <class T> void release(std::unique_ptr<T[]>& block, std::size_t& capacity);
    // Frees everything a strip holds.
    void releaseStrip(SubbandStrip& strip);
    // Whether `more` bytes may be added to what the table holds.
    bool fits(std::uint64_t more) const;
    // Bytes of the plane records of one subblock.
    std::uint64_t recordsBytes() const;

    const QG3ImageInfo& info_;
    std::uint16_t subblockSize_;
    std::uint16_t bands_; // selected bands
    std::vector<std::unique_ptr<SubbandStrip>> strips_;
    std::unique_ptr<BandBufferSet> colour_;
    std::unique_ptr<QG3PlaneRecord[]> records_;
    std::unique_ptr<std::int32_t[]> scratch_;
    std::size_t scratchCapacity_ = 0;
    std::uint64_t held_ = 0; // bytes of tiles, row buffers and scratch
    std::vector<std::int32_t*> outputs_;
};

} // namespace Korvel
