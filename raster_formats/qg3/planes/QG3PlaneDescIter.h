#pragma once
// The description order of plane data: for each subblock of a subblock iterator, each band,
// each bit plane (plane fastest). Each description is one item of the plane data, or one count
// of an absent run.

#include "qg3/planes/QG3SubblockIter.h"
#include "qg3/planes/QG3SubblockKey.h"

#include <cstdint>
#include <memory>

namespace Korvel {

class QG3ImageInfo;

// Planeset kinds: the order of the subblocks in the plane data.
inline constexpr std::uint32_t QG3_PLANESET_PIPE = 1;
inline constexpr std::uint32_t QG3_PLANESET_SUBBAND = 5;

class QG3PlaneDescIter {
public:
    // For a planeset kind (1 pipe, 5 subband by subband) over the image's bands (its band set's
    // bit count) and planes bit planes; null for another kind, or when the subblock iterator
    // cannot be made, or when the number of descriptions passes 2^64. The iterator starts at the
    // first description.
    static std::unique_ptr<QG3PlaneDescIter> create(const QG3ImageInfo& info, std::uint32_t kind,
                                                    std::uint32_t planes);

    void reset();
    // One description on.
    void step() { skip(1); }
    // count descriptions on: whole bands and subblocks are carried arithmetically.
    void skip(std::uint64_t count);

    bool atEnd() const { return subblocks_->atEnd(); }
    // (subblock, band, subband, plane), or the end marker.
    QG3SubblockKey key() const;
    // Descriptions in the whole order: subblocks x bands x planes.
    std::uint64_t getTotal() const { return total_; }

private:
    QG3PlaneDescIter(std::unique_ptr<QG3SubblockIter> subblocks, std::uint32_t bands,
                     std::uint32_t planes, std::uint64_t total)
        : subblocks_(std::move(subblocks)), bands_(bands), planes_(planes), total_(total) {}

    std::unique_ptr<QG3SubblockIter> subblocks_;
    std::uint32_t bands_;
    std::uint32_t planes_;
    std::uint64_t total_;
    std::uint32_t band_ = 0;
    std::uint32_t plane_ = 0;
};

} // namespace Korvel
