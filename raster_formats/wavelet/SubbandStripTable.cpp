#include "SubbandStripTable.h"

#include "BandBufferSet.h"
#include "KVIImageStage.h"
#include "KVStatusGuard.h"
#include "ReversibleColorTransform.h"
#include "SubblockDecode.h"
#include "qg3/QG3ImageInfo.h"
#include "qg3/QG3PlaneRecord.h"
#include "qg3/QG3PlaneStoreClient.h"
#include "qg3/QG3Status.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace Korvel {

namespace {

constexpr std::uint32_t kRecordsPerBand = QG3PlaneRecord::kRecordsPerBand;

} // namespace

SubbandStripTable::SubbandStripTable(const QG3ImageInfo& info)
    : info_(info), subblockSize_(info.subblockSize), bands_(info.bandSet.getSetCount()) {}

SubbandStripTable::~SubbandStripTable() = default;

std::unique_ptr<SubbandStripTable> SubbandStripTable::create(const QG3ImageInfo& info) {
    if (!info.subbands || info.subblockSize == 0) return nullptr;
    std::unique_ptr<SubbandStripTable> table(new (std::nothrow) SubbandStripTable(info));
    if (!table) return nullptr;
    const std::uint64_t records = std::uint64_t(kRecordsPerBand) * table->bands_;
    if (records * sizeof(QG3PlaneRecord) > kMaxBytes) return nullptr;
    const KVStatus status = kvGuard([&] {
        table->strips_.resize(static_cast<std::size_t>(info.numSubbands));
        table->outputs_.resize(table->bands_);
        table->records_.reset(new QG3PlaneRecord[static_cast<std::size_t>(records)]());
    });
    if (status != KV_OK) return nullptr;
    table->colour_ = BandBufferSet::create(info);
    if (!table->colour_) return nullptr;
    return table;
}

std::uint64_t SubbandStripTable::getMemory() const {
    return held_ + std::uint64_t(kRecordsPerBand) * bands_ * sizeof(QG3PlaneRecord);
}

bool SubbandStripTable::fits(std::uint64_t more) const {
    return more <= kMaxBytes && getMemory() <= kMaxBytes - more;
}

void SubbandStripTable::clear() {
    for (std::unique_ptr<SubbandStrip>& strip : strips_)
        strip.reset();
    scratch_.reset();
    scratchCapacity_ = 0;
    zeroRows_.clear();
    zeroWidth_ = 0;
    held_ = 0;
}

const std::int32_t* SubbandStripTable::zeroRow(std::size_t width) {
    if (width > zeroWidth_) {
        // A wider row is added rather than the old one grown: rows handed out stay valid.
        const std::uint64_t bytes = std::uint64_t(width) * sizeof(std::int32_t);
        if (!fits(bytes)) return nullptr;
        std::unique_ptr<std::int32_t[]> row(new (std::nothrow) std::int32_t[width]());
        if (!row) return nullptr;
        if (kvGuard([&] { zeroRows_.push_back(std::move(row)); }) != KV_OK) return nullptr;
        zeroWidth_ = width;
        held_ += bytes;
    }
    return zeroRows_.back().get();
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
        if (x0 != strip.x0 || x1 != strip.x1) {
            // Other columns: the old block is freed before the new one is made.
            held_ -= strip.capacity * sizeof(std::int32_t);
            strip.block.reset();
            strip.capacity = 0;
        }
        strip.x0 = x0;
        strip.x1 = x1;
        strip.y0 = row - row % subblockSize_;
        strip.y1 = std::min<std::uint32_t>(strip.y0 + subblockSize_, geometry.height) - 1;
        KV_RETURN_IF_FAILED(fill(strip, subband, client, interrupt));
        strip.complete = true;
    }
    const std::size_t offset = std::size_t(row - strip.y0) * strip.width();
    if (strip.zero) {
        const std::int32_t* zeros = zeroRow(strip.width());
        if (zeros == nullptr) return KV_QG3_OUT_OF_MEMORY;
        // The rows are only read.
        for (std::uint16_t b = 0; b < bands_; ++b)
            rows[b] = const_cast<std::int32_t*>(zeros);
    } else {
        for (std::uint16_t b = 0; b < bands_; ++b)
            rows[b] = strip.block.get() + b * strip.planeSize() + offset;
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
    if (strip.zero) {
        held_ -= strip.capacity * sizeof(std::int32_t);
        strip.block.reset();
        strip.capacity = 0;
        return KV_OK;
    }

    const std::uint64_t samples = std::uint64_t(bands_) * strip.planeSize();
    if (samples > strip.capacity) {
        const std::uint64_t bytes = samples * sizeof(std::int32_t);
        held_ -= strip.capacity * sizeof(std::int32_t);
        strip.block.reset();
        strip.capacity = 0;
        if (!fits(bytes)) return KV_QG3_OUT_OF_MEMORY;
        strip.block.reset(new (std::nothrow) std::int32_t[static_cast<std::size_t>(samples)]);
        if (!strip.block) return KV_QG3_OUT_OF_MEMORY;
        strip.capacity = static_cast<std::size_t>(samples);
        held_ += bytes;
    }

    for (std::uint32_t column = first; column <= last; ++column) {
        KV_RETURN_IF_FAILED(decodeSubblock(
            strip, subband, info_.getSubblockIndex(subband, rowOfSubblocks, column), client));
        if (interrupt != nullptr) KV_RETURN_IF_FAILED(interrupt->checkInterrupt());
    }

    if (colour_->isNeeded()) {
        std::int32_t** planes = colour_->bandPlanes();
        for (std::uint16_t b = 0; b < colour_->bandCount() && b < bands_; ++b)
            planes[b] = strip.block.get() + b * strip.planeSize();
        applyColorTransform(colour_->code(), planes, colour_->bandCount(), 1, strip.planeSize());
    }
    return KV_OK;
}

KVStatus SubbandStripTable::decodeSubblock(SubbandStrip& strip, std::uint8_t subband,
                                           std::uint32_t subblock, QG3PlaneStoreClient& client) {
    const QG3Rect rect = info_.getSubblockRect(subband, subblock);
    const auto left = std::max<std::uint32_t>(std::uint32_t(rect.x0), strip.x0);
    const auto right = std::min<std::uint32_t>(std::uint32_t(rect.x1), strip.x1);
    const std::size_t overlap = std::size_t(right) - left + 1;
    const std::size_t rows = strip.height();
    const std::size_t stride = strip.width();
    std::int32_t* const at = strip.block.get() + (left - strip.x0);

    QG3PlaneRecord* records = records_.get();
    KV_RETURN_IF_FAILED(client.readSubblock(subband, subblock, records));
    const std::size_t recordCount = std::size_t(kRecordsPerBand) * bands_;
    if (std::none_of(records, records + recordCount,
                     [](const QG3PlaneRecord& r) { return r.filled(); })) {
        // No data: the subblock's coefficients are all zero.
        for (std::uint16_t b = 0; b < bands_; ++b)
            for (std::size_t y = 0; y < rows; ++y)
                std::memset(at + b * strip.planeSize() + y * stride, 0,
                            overlap * sizeof(std::int32_t));
        return KV_OK;
    }

    SubblockGeometry geometry;
    KV_RETURN_IF_FAILED(makeSubblockGeometry(info_, subband, subblock, geometry));
    const bool inside = std::uint32_t(rect.x0) >= strip.x0 && std::uint32_t(rect.x1) <= strip.x1;
    std::size_t outStride = stride;
    if (inside) {
        for (std::uint16_t b = 0; b < bands_; ++b)
            outputs_[b] = at + b * strip.planeSize();
    } else {
        const std::size_t plane = std::size_t(geometry.width) * geometry.height;
        const std::uint64_t samples = std::uint64_t(plane) * bands_;
        if (samples > scratchCapacity_) {
            held_ -= scratchCapacity_ * sizeof(std::int32_t);
            scratch_.reset();
            scratchCapacity_ = 0;
            if (!fits(samples * sizeof(std::int32_t))) return KV_QG3_OUT_OF_MEMORY;
            scratch_.reset(new (std::nothrow) std::int32_t[static_cast<std::size_t>(samples)]);
            if (!scratch_) return KV_QG3_OUT_OF_MEMORY;
            scratchCapacity_ = static_cast<std::size_t>(samples);
            held_ += samples * sizeof(std::int32_t);
        }
        for (std::uint16_t b = 0; b < bands_; ++b)
            outputs_[b] = scratch_.get() + b * plane;
        outStride = geometry.width;
    }

    KV_RETURN_IF_FAILED(kvGuard([&] {
        SubblockDecode decode(geometry);
        decode.decode(records, kRecordsPerBand, outputs_.data(), outStride);
    }));

    if (!inside) {
        const std::size_t from = left - std::uint32_t(rect.x0);
        for (std::uint16_t b = 0; b < bands_; ++b)
            for (std::size_t y = 0; y < rows; ++y)
                std::memcpy(at + b * strip.planeSize() + y * stride,
                            outputs_[b] + y * outStride + from, overlap * sizeof(std::int32_t));
    }
    return KV_OK;
}

} // namespace Korvel
