#pragma once
// What a generation-2 file says about one subband: its two dither offsets and its regions, each a
// rectangle in subband coordinates with one block directory per band (offset 0: the band has no
// data there). The regions are indexed by a grid: the distinct x boundaries (0 and every x0 and
// x1 + 1), the distinct y boundaries likewise, and for each cell between them the region that
// covers it. A rectangle is decoded by visiting the cells it meets, row of cells by row of cells.
//
// The bands themselves (QG2Band) are made on request by the derived class.

#include "QG2Band.h"
#include "model/KVIRect.h"
#include "support/KVStatus.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace Korvel {

// Limits shared by all subbands of one file, so that a hostile file cannot make the regions or
// their grids take more memory than its own size (records) or a fixed cap (grid cells).
struct QG2InfoBudget {
    std::uint64_t recordBytes = 0;
    std::uint64_t gridCells = 0;
};

class QG2SubbandInfo {
public:
    QG2SubbandInfo(const QG2SubbandInfo&) = delete;
    QG2SubbandInfo& operator=(const QG2SubbandInfo&) = delete;
    virtual ~QG2SubbandInfo();

    std::uint32_t getColumnDitherOffset() const { return columnDitherOffset_; }
    std::uint32_t getRowDitherOffset() const { return rowDitherOffset_; }
    std::uint32_t getNumBands() const { return bands_; }
    const KVIRect& getRegion(std::uint32_t region) const { return regions_[region]; }
    // The file offset of a band's block directory in a region; 0 when the band has no data.
    std::uint32_t getDirectoryOffset(std::uint32_t region, std::uint32_t band) const;
    bool hasBand(std::uint32_t region, std::uint32_t band) const {
        return getDirectoryOffset(region, band) != 0;
    }
    // The bounding box of all regions; empty without regions.
    const KVIRect& getBoundingBox() const { return boundingBox_; }

    // The regions met by a rectangle, in the order the grid cells name them (row of cells by row
    // of cells, each region once). KV_OUT_OF_MEMORY when the list cannot be made.
    KVStatus regionsMeeting(const KVIRect& rect, std::vector<std::uint32_t>& regions) const;

    // The band of a region, its block directory read. KV_BAD_ARGUMENT for a region or band
    // without data.
    virtual KVStatus createBand(std::uint32_t region, std::uint32_t band,
                                std::unique_ptr<QG2Band>& out) = 0;

protected:
    explicit QG2SubbandInfo(std::uint32_t bands) : bands_(bands) {}

    void setDitherOffsets(std::uint32_t column, std::uint32_t row) {
        columnDitherOffset_ = column;
        rowDitherOffset_ = row;
    }
    // Region records in file order; the directory offsets hold one entry per band of each region.
    // Builds the grid. KV_QG2_BAD_STRUCTURE when the grid would exceed the budget's cells or two
    // regions overlap (a cell can name only one region).
    KVStatus setRegions(std::vector<KVIRect> regions, std::vector<std::uint32_t> directoryOffsets,
                        QG2InfoBudget& budget);

private:
    std::uint32_t bands_;
    std::uint32_t columnDitherOffset_ = 0;
    std::uint32_t rowDitherOffset_ = 0;
    std::vector<KVIRect> regions_;
    std::vector<std::uint32_t> directoryOffsets_;
    std::vector<std::int64_t> xs_;
    std::vector<std::int64_t> ys_;
    // (xs_.size() - 1) x (ys_.size() - 1) cells, row by row: region index + 1, or 0.
    std::vector<std::uint32_t> cells_;
    KVIRect boundingBox_;
};

} // namespace Korvel
