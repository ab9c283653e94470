#include "SubbandStripTable.h"

#include "BandBufferSet.h"
#include "ReversibleColorTransform.h"
#include "SubblockDecode.h"
#include "qg3/container/QG3ImageInfo.h"
#include "qg3/container/QG3Status.h"
#include "qg3/planes/QG3PlaneRecord.h"
#include "qg3/planes/QG3PlaneStoreClient.h"
#include "stages/KVIImageStage.h"
#include "support/KVStatusGuard.h"

#include <algorithm>
#include <cstdint>
#include <new>

namespace Korvel {

namespace {

constexpr std::uint32_t kRecordsPerBand = QG3PlaneRecord::kRecordsPerBand;

// The fewest signed bytes (1, 2 or 4) that hold every value from lo to hi; 0 when both are 0.
std::uint8_t bytesFor(std::int32_t lo, std::int32_t hi) {
    if (lo == 0 && hi == 0) return 0;
    if (lo >= INT8_MIN && hi <= INT8_MAX) return 1;
    if (lo >= INT16_MIN && hi <= INT16_MAX) return 2;
    return 4;
}

// Copies rows x columns coefficients of every band (planes `plane` apart, rows `stride` apart)
// to `to`, narrowed to T, band by band and row by row.
template <class T>
void narrow(T* to, const std::int32_t* from, std::uint16_t bands, std::size_t rows,
            std::size_t columns, std::size_t stride, std::size_t plane) {
    for (std::uint16_t b = 0; b < bands; ++b)
        for (std::size_t y = 0; y < rows; ++y) {
            const std::int32_t* in = from + b * plane + y * stride;
            for (std::size_t x = 0; x < columns; ++x)
                to[x] = static_cast<T>(in[x]);
            to += columns;
        }
}

template <class T> void widen(std::int32_t* to, const std::byte* from, std::size_t count) {
    const T* in = reinterpret_cast<const T*>(from);
    for (std::size_t x = 0; x < count; ++x)
        to[x] = in[x];
}

} // namespace

SubbandStripTable::SubbandStripTable(const QG3ImageInfo& info)
    : info_(info), subblockSize_(info.subblockSize), bands_(info.bandSet.getSetCount()) {}

SubbandStripTable::~SubbandStripTable() = default;

std::unique_ptr<SubbandStripTable> SubbandStripTable::create(const QG3ImageInfo& info) {
    if (!info.subbands || info.subblockSize == 0) return nullptr;
    std::unique_ptr<SubbandStripTable> table(new (std::nothrow) SubbandStripTable(info));
    if (!table) return nullptr;
    const KVStatus status = kvGuard([&] {
        table->strips_.resize(static_cast<std::size_t>(info.numSubbands));
        table->outputs_.resize(table->bands_);
    });
    if (status != KV_OK) return nullptr;
    table->colour_ = BandBufferSet::create(info);
    if (!table->colour_) return nullptr;
    return table;
}

std::uint64_t SubbandStripTable::getMemory() const {
    return held_ + (records_ ? recordsBytes() : 0);
}

std::uint64_t SubbandStripTable::recordsBytes() const {
    return std::uint64_t(kRecordsPerBand) * bands_ * sizeof(QG3PlaneRecord);
}

bool SubbandStripTable::fits(std::uint64_t more) const {
    return more <= kMaxBytes && getMemory() <= kMaxBytes - more;
}

template <class T>
bool SubbandStripTable::reserve(std::unique_ptr<T[]>& block, std::size_t& capacity,
                                std::uint64_t count, bool atLeast) {
    if (atLeast ? count <= capacity : count == capacity) return true;
    release(block, capacity);
    if (count == 0) return true;
    const std::uint64_t bytes = count * sizeof(T);
    if (count > kMaxBytes || !fits(bytes)) return false;
    block.reset(new (std::nothrow) T[static_cast<std::size_t>(count)]);
    if (!block) return false;
    capacity = static_cast<std::size_t>(count);
    held_ += bytes;
    return true;
}

template <class T>
void SubbandStripTable::release(std::unique_ptr<T[]>& block, std::size_t& capacity) {
    held_ -= std::uint64_t(capacity) * sizeof(T);
    block.reset();
    capacity = 0;
}

void SubbandStripTable::releaseStrip(SubbandStrip& strip) {
    for (SubbandStripTile& tile : strip.tiles)
        release(tile.data, tile.capacity);
    strip.tiles.clear();
    release(strip.rows, strip.rowsCapacity);
    strip.nextSlot = 0;
}

void SubbandStripTable::clear() {
    for (std::unique_ptr<SubbandStrip>& strip : strips_)
        strip.reset();
    scratch_.reset();
    scratchCapacity_ = 0;
    records_.reset();
    held_ = 0;
}

KVStatus SubbandStripTable::getRow(std::int32_t** rows, std::uint8_t subband, std::uint32_t row,
                                   std::uint32_t x0, std::uint32_t x1, QG3PlaneStoreClient& client,
                                   KVIInterruptDelegate* interrupt) {
    if (subband >= strips_.size()) return KV_QG3_NOT_FOUND;
    const QG3Subband& geometry = info_.subbands[subband];
    if (x0 > x1 || x1 >= geometry.width || row >= geometry.height) return KV_QG3_NOT_FOUND;
    std::unique_ptr<SubbandStrip>& slot = strips_[subband];
    if (!slot) {
        slot.reset(new (std::nothrow) SubbandStrip);
        if (!slot) return KV_QG3_OUT_OF_MEMORY;
    }
    SubbandStrip& strip = *slot;
    if (!strip.holds(row, x0, x1)) {
        strip.complete = false;
        // Other columns: the old tiles and rows are freed before new ones are made.
        if (x0 != strip.x0 || x1 != strip.x1) releaseStrip(strip);
        strip.x0 = x0;
        strip.x1 = x1;
        strip.y0 = row - row % subblockSize_;
        strip.y1 = std::min<std::uint32_t>(strip.y0 + subblockSize_, geometry.height) - 1;
        KV_RETURN_IF_FAILED(fill(strip, subband, client, interrupt));
        strip.complete = true;
    }
    const std::size_t width = strip.width();
    if (strip.zero) {
        // Rows of zeros are handed out as null.
        std::fill_n(rows, bands_, nullptr);
        return KV_OK;
    }
    if (!reserve(strip.rows, strip.rowsCapacity,
                 std::uint64_t(SubbandStrip::kRowsHeld) * bands_ * width, true))
        return KV_QG3_OUT_OF_MEMORY;
    std::int32_t* out = strip.rows.get() + std::size_t(strip.nextSlot) * bands_ * width;
    strip.nextSlot = (strip.nextSlot + 1) % SubbandStrip::kRowsHeld;
    const std::size_t height = strip.height();
    const std::size_t y = row - strip.y0;
    for (std::uint16_t b = 0; b < bands_; ++b, out += width) {
        rows[b] = out;
        for (const SubbandStripTile& tile : strip.tiles) {
            std::int32_t* to = out + tile.first;
            const std::size_t at = (b * height + y) * tile.width * tile.bytes;
            switch (tile.bytes) {
            case 0:
                std::fill_n(to, tile.width, 0);
                break;
            case 1:
                widen<std::int8_t>(to, tile.data.get() + at, tile.width);
                break;
            case 2:
                widen<std::int16_t>(to, tile.data.get() + at, tile.width);
                break;
            default:
                widen<std::int32_t>(to, tile.data.get() + at, tile.width);
                break;
            }
        }
    }
    return KV_OK;
}

KVStatus SubbandStripTable::fill(SubbandStrip& strip, std::uint8_t subband,
                                 QG3PlaneStoreClient& client, KVIInterruptDelegate* interrupt) {
    const std::uint32_t rowOfSubblocks = strip.y0 / subblockSize_;
    const std::uint32_t first = strip.x0 / subblockSize_;
    const std::uint32_t last = strip.x1 / subblockSize_;
    // The subblocks of one row are numbered consecutively: one question covers them all.
    strip.zero =
        !client.hasSubblocks(subband, info_.getSubblockIndex(subband, rowOfSubblocks, first),
                             info_.getSubblockIndex(subband, rowOfSubblocks, last));
    // The row buffers stay: rows handed out earlier remain valid.
    for (SubbandStripTile& tile : strip.tiles)
        if (strip.zero) release(tile.data, tile.capacity);
    if (strip.zero) return KV_OK;

    const std::size_t count = std::size_t(last) - first + 1;
    if (strip.tiles.size() != count && kvGuard([&] { strip.tiles.resize(count); }) != KV_OK)
        return KV_QG3_OUT_OF_MEMORY;
    for (std::uint32_t column = first; column <= last; ++column) {
        KV_RETURN_IF_FAILED(decodeSubblock(strip, strip.tiles[column - first], subband,
                                           info_.getSubblockIndex(subband, rowOfSubblocks, column),
                                           client));
        if (interrupt != nullptr) KV_RETURN_IF_FAILED(interrupt->checkInterrupt());
    }
    return KV_OK;
}

KVStatus SubbandStripTable::decodeSubblock(const SubbandStrip& strip, SubbandStripTile& tile,
                                           std::uint8_t subband, std::uint32_t subblock,
                                           QG3PlaneStoreClient& client) {
    const KVIRect rect = info_.getSubblockRect(subband, subblock);
    const auto left = std::max<std::uint32_t>(std::uint32_t(rect.x0), strip.x0);
    const auto right = std::min<std::uint32_t>(std::uint32_t(rect.x1), strip.x1);
    tile.first = left - strip.x0;
    tile.width = right - left + 1;

    // The records are made for the first subblock that has data: a read of an image without
    // any costs nothing per band for them.
    if (!records_) {
        if (!fits(recordsBytes())) return KV_QG3_OUT_OF_MEMORY;
        records_.reset(new (std::nothrow) QG3PlaneRecord[std::size_t(kRecordsPerBand) * bands_]());
        if (!records_) return KV_QG3_OUT_OF_MEMORY;
    }
    QG3PlaneRecord* records = records_.get();
    KV_RETURN_IF_FAILED(client.readSubblock(subband, subblock, records));
    const std::size_t recordCount = std::size_t(kRecordsPerBand) * bands_;
    if (std::none_of(records, records + recordCount,
                     [](const QG3PlaneRecord& r) { return r.filled(); })) {
        // No data: the subblock's coefficients are all zero.
        release(tile.data, tile.capacity);
        tile.bytes = 0;
        return KV_OK;
    }

    SubblockGeometry geometry;
    KV_RETURN_IF_FAILED(makeSubblockGeometry(info_, subband, subblock, geometry));
    const std::size_t plane = std::size_t(geometry.width) * geometry.height;
    if (strip.height() > geometry.height || tile.width > geometry.width) return KV_QG3_NOT_FOUND;
    if (!reserve(scratch_, scratchCapacity_, std::uint64_t(plane) * bands_, true))
        return KV_QG3_OUT_OF_MEMORY;
    for (std::uint16_t b = 0; b < bands_; ++b)
        outputs_[b] = scratch_.get() + b * plane;
    KV_RETURN_IF_FAILED(kvGuard([&] {
        SubblockDecode decode(geometry);
        decode.decode(records, kRecordsPerBand, outputs_.data(), geometry.width);
    }));
    if (colour_->isNeeded()) {
        std::int32_t** planes = colour_->bandPlanes();
        for (std::uint16_t b = 0; b < colour_->bandCount() && b < bands_; ++b)
            planes[b] = outputs_[b];
        applyColorTransform(colour_->code(), planes, colour_->bandCount(), 1, plane);
    }
    return storeTile(tile, strip.height(), scratch_.get() + (left - std::uint32_t(rect.x0)),
                     geometry.width, plane);
}

KVStatus SubbandStripTable::storeTile(SubbandStripTile& tile, std::size_t rows,
                                      const std::int32_t* start, std::size_t stride,
                                      std::size_t plane) {
    std::int32_t lo = 0, hi = 0;
    for (std::uint16_t b = 0; b < bands_; ++b)
        for (std::size_t y = 0; y < rows; ++y) {
            const std::int32_t* in = start + b * plane + y * stride;
            for (std::size_t x = 0; x < tile.width; ++x) {
                lo = std::min(lo, in[x]);
                hi = std::max(hi, in[x]);
            }
        }
    tile.bytes = bytesFor(lo, hi);
    const std::uint64_t bytes = std::uint64_t(bands_) * rows * tile.width * tile.bytes;
    if (!reserve(tile.data, tile.capacity, bytes, false)) return KV_QG3_OUT_OF_MEMORY;
    std::byte* to = tile.data.get();
    switch (tile.bytes) {
    case 0:
        break;
    case 1:
        narrow(reinterpret_cast<std::int8_t*>(to), start, bands_, rows, tile.width, stride, plane);
        break;
    case 2:
        narrow(reinterpret_cast<std::int16_t*>(to), start, bands_, rows, tile.width, stride, plane);
        break;
    default:
        narrow(reinterpret_cast<std::int32_t*>(to), start, bands_, rows, tile.width, stride, plane);
        break;
    }
    return KV_OK;
}

} // namespace Korvel
