#include "QG2Decoder.h"

#include "QG2DBInfo.h"
#include "QG2OutputConversion.h"
#include "QG2Status.h"
#include "QG2Subband.h"
#include "QG2Synthesis.h"
#include "QG2TreeOperations.h"
#include "support/KVStatusGuard.h"
#include "support/KVUtilException.h"

#include <algorithm>
#include <limits>

namespace Korvel {
namespace {

// The bits of one coded block. The byte being read is loaded only when its first bit is wanted,
// so a block whose last code ends on a byte boundary is never read beyond.
class BlockBits {
public:
    BlockBits(const std::uint8_t* data, std::size_t size, std::size_t position, std::uint32_t used)
        : data_(data), size_(size), position_(position) {
        if (position < size) {
            current_ = data[position];
            used_ = used;
        } else {
            // Nothing left: the next bit that is asked for fails.
            current_ = 0;
            used_ = 8;
        }
    }

    // One bit of a code.
    std::uint32_t codeBit() {
        if (used_ == 8) load(position_ + (current_ == 0xFF ? 2 : 1));
        return (current_ >> (7 - used_++)) & 1;
    }

    // count raw bits, most significant first.
    std::uint32_t raw(int count) {
        std::uint32_t value = 0;
        for (int i = 0; i < count; ++i) {
            if (used_ == 8) {
                std::size_t next = position_ + 1;
                if (current_ == 0xFF) {
                    // A stuffed zero is skipped; any other byte is a marker, and reading stays
                    // on the 0xFF.
                    const bool stuffed = position_ + 1 < size_ && data_[position_ + 1] == 0x00;
                    next = stuffed ? position_ + 2 : position_;
                }
                load(next);
            }
            value = (value << 1) | ((current_ >> (7 - used_++)) & 1);
        }
        return value;
    }

    // Where the next code would start.
    QG2ResumeState save(std::uint64_t coefficient) const {
        QG2ResumeState state;
        std::size_t position = position_;
        std::uint32_t used = used_;
        if (used == 8) {
            position = std::min(size_, position_ + (current_ == 0xFF ? 2 : 1));
            used = 0;
        }
        state.bytePosition = static_cast<std::uint32_t>(position);
        state.currentByte = position < size_ ? data_[position] : 0;
        state.bitPosition = used;
        state.coefficientPosition = static_cast<std::uint32_t>(coefficient);
        return state;
    }

private:
    void load(std::size_t position) {
        if (position >= size_) throw KVUtilException(KV_QG2_BAD_CODE);
        position_ = position;
        current_ = data_[position];
        used_ = 0;
    }

    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_;
    std::uint32_t current_;
    std::uint32_t used_;
};

// Walks the tree from the root to a leaf; codes are at most 16 bits long.
std::uint32_t nextSymbol(const QG2HuffmanTree& tree, BlockBits& bits) {
    std::uint16_t node = 0;
    for (int depth = 0; depth < 16; ++depth) {
        const std::uint16_t entry = tree.child(bits.codeBit(), node);
        if (entry >= QG2HuffmanTree::kLeafBase) {
            if (entry > 2 * QG2HuffmanTree::kLeafBase) throw KVUtilException(KV_QG2_BAD_CODE);
            return entry - QG2HuffmanTree::kLeafBase;
        }
        node = entry;
    }
    throw KVUtilException(KV_QG2_BAD_CODE);
}

constexpr float kDeadZone = 0.44f; // 0x3EE147AE

// The block cache keeps at most this many coded bytes per sample of a strip (all bands), and no
// less than kMinKeptBytes in all, so that a block spanning strips is read about once.
constexpr std::uint64_t kKeptBytesPerSample = 2;
constexpr std::uint64_t kMinKeptBytes = 256 * 1024;

float dequantiseOne(std::int32_t q, float step) {
    if (q == 0) return 0.0f;
    const float value = static_cast<float>(q);
    return q > 0 ? (value - kDeadZone) * step + 0.5f * step
                 : (value + kDeadZone) * step - 0.5f * step;
}

// Runs an entry point's body: a status raised inside is returned, out of memory as
// KV_OUT_OF_MEMORY, anything else as KV_QG2_UNEXPECTED_EXCEPTION.
template <class Body> KVStatus guarded(Body&& body) {
    try {
        return kvGuard(std::forward<Body>(body));
    } catch (...) {
        return KV_QG2_UNEXPECTED_EXCEPTION;
    }
}

} // namespace

QG2Decoder::QG2Decoder(QG2DBInfo* dbInfo, KVIInterruptDelegate* interrupt)
    : dbInfo_(dbInfo), interrupt_(interrupt) {}

QG2Decoder::~QG2Decoder() {
    // A decode left open keeps no lock on the information.
    if (locked_) dbInfo_->unlockIfShared();
}

KVStatus QG2Decoder::initialize() {
    return dbInfo_ != nullptr ? KV_OK : KV_BAD_ARGUMENT;
}

void QG2Decoder::destroyTrees() {
    current_.reset();
    next_.reset();
    overlap_.reset();
    pool_.clear();
}

KVStatus QG2Decoder::decodeBegin(const KVIRect& rect, std::int32_t level,
                                 std::uint32_t stripHeight) {
    if (dbInfo_ == nullptr) return KV_BAD_ARGUMENT;
    return guarded([&]() -> KVStatus {
        // What an earlier decode left.
        destroyTrees();
        cache_.clear();
        bands_.clear();
        if (locked_) {
            locked_ = false;
            KV_RETURN_IF_FAILED(dbInfo_->unlockIfShared());
        }
        numStrips_ = 0;
        strip_ = 0;
        failed_ = KV_OK;
        counts_ = QG2DecodeCounts{};
        clipped_ = KVIRect{};
        if (stripHeight == 0) return KV_BAD_ARGUMENT;
        if (!rect.isEmpty()) {
            // The stored region lies at the level offset; the rectangle must be inside it.
            KVIRect region;
            const std::int64_t relative = std::int64_t{level} - dbInfo_->getLevelOffset();
            if (relative < std::numeric_limits<std::int32_t>::min() ||
                dbInfo_->getRegionAtLevel(static_cast<std::int32_t>(relative), region) != KV_OK ||
                !region.contains(rect))
                return KV_QG2_OUTSIDE_REGION;
        }
        level_ = level;
        stripHeight_ = stripHeight;
        KV_RETURN_IF_FAILED(dbInfo_->lockIfShared());
        locked_ = true;

        const std::int64_t width = QG2Subband::fullSize(dbInfo_->getWidth(), level);
        const std::int64_t height = QG2Subband::fullSize(dbInfo_->getHeight(), level);
        clipped_ = rect.intersect(KVIRect{0, 0, static_cast<std::int32_t>(width - 1),
                                          static_cast<std::int32_t>(height - 1)});
        numStrips_ = static_cast<std::uint32_t>(
            (std::int64_t{clipped_.y1} - clipped_.y0 + stripHeight) / stripHeight);
        // The coded bytes the block cache may keep: a few bytes per sample of a strip (a decode
        // writes at most four bands).
        const std::uint64_t row = static_cast<std::uint64_t>(clipped_.width()) *
                                  std::min<std::uint32_t>(dbInfo_->getNumBands(), 4);
        const std::uint64_t rows =
            std::min<std::uint64_t>(stripHeight, static_cast<std::uint64_t>(clipped_.height()));
        constexpr std::uint64_t kMaxSamples =
            std::numeric_limits<std::uint64_t>::max() / kKeptBytesPerSample;
        const std::uint64_t samples =
            rows != 0 && row > kMaxSamples / rows ? kMaxSamples : row * rows;
        cache_.setByteLimit(
            keptByteLimit_.value_or(std::max(kMinKeptBytes, kKeptBytesPerSample * samples)));
        return KV_OK;
    });
}

KVIRect QG2Decoder::stripRect(std::uint64_t index) const {
    const std::int64_t y0 = clipped_.y0 + static_cast<std::int64_t>(index) * stripHeight_;
    const std::int64_t y1 = std::min<std::int64_t>(y0 + stripHeight_ - 1, clipped_.y1);
    if (clipped_.isEmpty() || y0 > y1) return KVIRect{};
    return KVIRect{clipped_.x0, static_cast<std::int32_t>(y0), clipped_.x1,
                   static_cast<std::int32_t>(y1)};
}

std::unique_ptr<QG2Subband> QG2Decoder::buildTree(const KVIRect& rect) {
    return QG2Subband::buildTree(rect, level_, dbInfo_->getNumLevels(), dbInfo_->getWidth(),
                                 dbInfo_->getHeight(), dbInfo_->getNumBands(), &pool_);
}

KVStatus QG2Decoder::decodeStrip(KVISceneBuffer& buffer) {
    if (failed_ != KV_OK) return failed_;
    const KVIRect strip = stripRect(strip_);
    const std::uint32_t bands = dbInfo_ != nullptr ? dbInfo_->getNumBands() : 0;
    if (strip.isEmpty() || (bands != 1 && bands != 3 && bands != 4)) {
        ++strip_;
        return KV_OK;
    }
    KVStatus status = dbInfo_->openStream();
    if (status == KV_OK) {
        status = guarded([&] { return decodeStripRows(buffer, strip); });
        const KVStatus closed = dbInfo_->closeStream();
        if (status == KV_OK) status = closed;
    }
    if (status != KV_OK) {
        // The trees no longer match the strips to come.
        failed_ = status;
        return status;
    }
    ++strip_;
    return KV_OK;
}

KVStatus QG2Decoder::decodeStripRows(KVISceneBuffer& buffer, const KVIRect& strip) {
    current_.reset();
    if (next_) {
        // The rows this strip shares with the last one are in the overlap; only the rows below
        // it are decoded.
        current_ = std::move(next_);
        if (overlap_) {
            const std::unique_ptr<QG2Subband> remainder = qg2RemainderTree(*current_, *overlap_);
            qg2DecodeSubband(*remainder, *dbInfo_, level_, cache_, bands_, interrupt_, counts_);
            qg2JoinTree(*remainder, *current_);
            qg2JoinTree(*overlap_, *current_);
            overlap_.reset();
        } else {
            qg2DecodeSubband(*current_, *dbInfo_, level_, cache_, bands_, interrupt_, counts_);
        }
    } else {
        current_ = buildTree(strip);
        qg2DecodeSubband(*current_, *dbInfo_, level_, cache_, bands_, interrupt_, counts_);
    }
    const KVIRect following = stripRect(strip_ + 1);
    if (!following.isEmpty()) next_ = buildTree(following);
    overlap_ = qg2OverlapTree(*current_, next_.get());
    qg2Synthesise(*current_, interrupt_);
    return qg2ConvertToSceneBuffer(buffer, dbInfo_->getNumBands(),
                                   static_cast<std::uint32_t>(strip.width()),
                                   static_cast<std::uint32_t>(strip.height()), *current_);
}

KVStatus QG2Decoder::decodeEnd() {
    destroyTrees();
    cache_.clear();
    bands_.clear();
    numStrips_ = 0;
    strip_ = 0;
    failed_ = KV_OK;
    if (!locked_) return KV_OK;
    locked_ = false;
    return dbInfo_->unlockIfShared();
}

std::optional<QG2ResumeState> QG2Decoder::decodeBlock(const QG2HuffmanTree& tree,
                                                      const std::uint8_t* bytes, std::size_t size,
                                                      std::int32_t* out, const KVIRect& block,
                                                      const KVIRect& wanted,
                                                      const QG2ResumeState* resume) {
    if (!block.contains(wanted) || size > std::numeric_limits<std::uint32_t>::max())
        throw KVUtilException(KV_BAD_ARGUMENT);
    const auto blockWidth = static_cast<std::uint64_t>(block.width());
    const std::uint64_t area = blockWidth * static_cast<std::uint64_t>(block.height());
    if (area > std::numeric_limits<std::uint32_t>::max())
        throw KVUtilException(KV_QG2_BAD_STRUCTURE);

    std::uint64_t p = 0;
    std::size_t start = 2;
    std::uint32_t used = 0;
    if (resume == nullptr) {
        if (size < 2 || bytes[0] != 0xFF || bytes[1] != 0xA3)
            throw KVUtilException(KV_QG2_BAD_BLOCK);
        // No data, or a first data byte 0xFF without its stuffed zero: the block yields nothing.
        if (size < 3 || (bytes[2] == 0xFF && (size < 4 || bytes[3] != 0x00))) return std::nullopt;
    } else {
        if (resume->bytePosition < 2 || resume->bytePosition > size || resume->bitPosition > 7 ||
            resume->coefficientPosition > area)
            throw KVUtilException(KV_BAD_ARGUMENT);
        start = resume->bytePosition;
        used = resume->bitPosition;
        p = resume->coefficientPosition;
    }
    BlockBits bits(bytes, size, start, used);

    const auto wantedWidth = static_cast<std::uint64_t>(wanted.width());
    const auto wantedHeight = static_cast<std::uint64_t>(wanted.height());
    const std::uint64_t firstColumn = static_cast<std::uint64_t>(wanted.x0 - block.x0);
    const std::uint64_t firstRow = static_cast<std::uint64_t>(wanted.y0 - block.y0);
    for (std::uint64_t j = 0; j < wantedHeight; ++j) {
        // The wanted row's window in block positions; a run may already have covered it.
        const std::uint64_t rowStart = (firstRow + j) * blockWidth + firstColumn;
        const std::uint64_t rowEnd = rowStart + wantedWidth;
        std::int32_t* row = out + j * wantedWidth;
        while (p < rowEnd) {
            const std::uint32_t symbol = nextSymbol(tree, bits);
            std::int32_t value = 0;
            if (symbol <= 100) {
                p += symbol;
                continue;
            }
            switch (symbol) {
            case 101:
                value = static_cast<std::int32_t>(bits.raw(8));
                break;
            case 102:
                value = -static_cast<std::int32_t>(bits.raw(8));
                break;
            case 103:
                value = static_cast<std::int16_t>(bits.raw(16));
                break;
            case 104:
                value = -std::int32_t{static_cast<std::int16_t>(bits.raw(16))};
                break;
            case 105:
                p += bits.raw(8);
                continue;
            case 106:
                p += bits.raw(16);
                continue;
            default:
                value = static_cast<std::int32_t>(symbol) - 180;
                break;
            }
            if (p >= rowStart) row[p - rowStart] = value;
            ++p;
        }
    }
    if (wanted.x1 == block.x1 && wanted.y1 == block.y1) return std::nullopt;
    return bits.save(std::min(p, area));
}

void QG2Decoder::dequantise(const std::int32_t* coefficients, std::uint32_t width,
                            std::uint32_t height, float* out, std::size_t outStride, float step,
                            const QG2Dither* dither) {
    if (step == 0.0f) {
        for (std::uint32_t j = 0; j < height; ++j)
            std::fill_n(out + j * outStride, width, 0.0f);
        return;
    }
    // The small values, which are most of them, from a table.
    constexpr std::int32_t kTableReach = 45;
    float table[2 * kTableReach + 1];
    for (std::int32_t q = -kTableReach; q <= kTableReach; ++q)
        table[q + kTableReach] = dequantiseOne(q, step);

    for (std::uint32_t j = 0; j < height; ++j) {
        const std::int32_t* in = coefficients + std::size_t{j} * width;
        float* row = out + j * outStride;
        for (std::uint32_t i = 0; i < width; ++i) {
            const std::int32_t q = in[i];
            row[i] = q >= -kTableReach && q <= kTableReach ? table[q + kTableReach]
                                                           : dequantiseOne(q, step);
        }
        if (dither != nullptr) {
            const float* tile =
                QG2DitherTile::row(std::uint64_t{dither->row} + j + dither->rowOffset);
            std::uint64_t column = std::uint64_t{dither->column} + dither->columnOffset;
            for (std::uint32_t i = 0; i < width; ++i, ++column)
                row[i] -= step * tile[column % QG2DitherTile::kSize];
        }
    }
}

} // namespace Korvel
