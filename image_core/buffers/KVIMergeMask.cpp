#include "buffers/KVIMergeMask.h"

#include "buffers/KVIAlphaCutoff.h"
#include "buffers/KVINoDataValues.h"
#include "buffers/KVIRunListBuilder.h"
#include "buffers/KVIRunMask.h"
#include "buffers/KVISceneBuffer.h"
#include "model/KVIDataTypeDispatch.h"
#include "support/KVStatusGuard.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>
#include <vector>

namespace Korvel {

namespace {

bool carriesAlpha(const KVIPixel& pixel) {
    return pixel.hasAlpha() && pixel.getNumBands() > 0;
}

// One side of a merge judged by its alpha band: the row of that band and its cut-off.
template <typename T> class AlphaSide {
public:
    AlphaSide(const KVISceneBuffer& buffer, const KVIAlphaCutoff<T>& cutoff)
        : cutoff_(cutoff),
          row_(reinterpret_cast<const T*>(buffer.getWindowBandData(cutoff.alphaBand))),
          stride_(buffer.getTotalWidth()) {}

    bool shows(std::uint32_t x) const { return cutoff_.shows(row_[x]); }
    double distance2(std::uint32_t x) const { return cutoff_.distance2(row_[x]); }
    void nextRow() { row_ += stride_; }

private:
    KVIAlphaCutoff<T> cutoff_;
    const T* row_;
    std::size_t stride_;
};

// One side of a merge judged by its no-data values: the rows of the bands they cover.
template <typename T> class NoDataSide {
public:
    NoDataSide(const KVISceneBuffer& buffer, const KVIPixel& noData)
        : values_(noData, buffer.getNumBands()), rows_(values_.getCount()),
          stride_(buffer.getTotalWidth()) {
        for (std::uint16_t b = 0; b < values_.getCount(); ++b)
            rows_[b] = reinterpret_cast<const T*>(buffer.getWindowBandData(b));
    }

    bool shows(std::uint32_t x) const { return values_.differs(rows_.data(), x); }
    double distance2(std::uint32_t x) const { return values_.distance2(rows_.data(), x); }
    void nextRow() {
        for (const T*& row : rows_)
            row += stride_;
    }

private:
    KVINoDataValues<T> values_;
    std::vector<const T*> rows_;
    std::size_t stride_;
};

// Merge mode 1 against a destination that can be transparent: a source pixel is taken when it
// shows and the destination does not, when it stands out from transparent by more than the
// threshold, when the destination does not, or when it stands out twice as far as the
// destination.
template <class Source, class Destination>
inline bool takeSourcePixel(const Source& source, const Destination& destination, double threshold,
                            std::uint32_t x) {
    if (!source.shows(x)) return false;
    if (!destination.shows(x)) return true;
    const double dS = source.distance2(x);
    if (dS > threshold) return true;
    const double dD = destination.distance2(x);
    if (threshold > dD) return true;
    return dS > 2.0 * dD;
}

// Row by row, the maximal stretches of columns where take holds become the runs of the mask's
// row; nextRow moves the sides down one row between rows.
template <class Take, class NextRow>
KVStatus scanMask(KVIRunMask& mask, std::uint32_t width, std::uint32_t height, Take take,
                  NextRow nextRow) {
    KVIRunListBuilder builder;
    for (std::uint32_t r = 0; r < height; ++r) {
        if (r > 0) nextRow();
        builder.clear();
        std::uint32_t x = 0;
        while (x < width) {
            while (x < width && !take(x))
                ++x;
            if (x == width) break;
            const std::uint32_t start = x;
            while (x < width && take(x))
                ++x;
            builder.append(static_cast<std::int32_t>(start), static_cast<std::int32_t>(x - 1));
        }
        if (builder.getCount() == 0) continue;
        KVIRunListPtr list = builder.copyList();
        // A row that cannot be kept would silently drop its pixels from the merge.
        if (list == nullptr) return KV_OUT_OF_MEMORY;
        mask.setRow(r, std::move(list));
    }
    return KV_OK;
}

template <typename T>
constexpr bool kHasMergeKernel =
    std::is_same_v<T, std::uint8_t> || std::is_same_v<T, std::int8_t> ||
    std::is_same_v<T, std::uint16_t> || std::is_same_v<T, std::int16_t> || std::is_same_v<T, float>;

// The kernel for one sample type: the source side, then (mode 1 with a destination that can be
// transparent) the destination side, each chosen once.
template <typename T>
KVStatus runMaskKernel(bool tolerant, const KVISceneBuffer& destination,
                       const KVIPixel* destinationNoData, const KVISceneBuffer& source,
                       const KVIPixel* sourceNoData, double threshold, bool blend, KVIRunMask& mask,
                       std::uint32_t width, std::uint32_t height) {
    const KVIPixel& dstPixel = destination.getPixelProps();
    const KVIPixel& srcPixel = source.getPixelProps();
    const bool dstAlpha = carriesAlpha(dstPixel);
    const bool judgeDestination = tolerant && (dstAlpha || destinationNoData != nullptr);

    auto withSource = [&](auto& src) -> KVStatus {
        if (!judgeDestination)
            return scanMask(
                mask, width, height, [&](std::uint32_t x) { return src.shows(x); },
                [&] { src.nextRow(); });
        auto withDestination = [&](auto& dst) {
            return scanMask(
                mask, width, height,
                [&](std::uint32_t x) { return takeSourcePixel(src, dst, threshold, x); },
                [&] {
                    src.nextRow();
                    dst.nextRow();
                });
        };
        if (dstAlpha) {
            AlphaSide<T> dst(destination, KVIAlphaCutoff<T>(dstPixel, blend));
            return withDestination(dst);
        }
        NoDataSide<T> dst(destination, *destinationNoData);
        return withDestination(dst);
    };
    if (carriesAlpha(srcPixel)) {
        AlphaSide<T> src(source, KVIAlphaCutoff<T>(srcPixel, blend));
        return withSource(src);
    }
    NoDataSide<T> src(source, *sourceNoData);
    return withSource(src);
}

} // namespace

double mergeTolerance(double magnification) {
    return 16.0 *
           std::sqrt(1.0666666666666667 / (std::min(magnification, 1.0) + 0.06666666666666667));
}

KVStatus buildMergeMask(std::uint32_t mergeMode, double magnification,
                        const KVISceneBuffer& destination, const KVIPixel* destinationNoData,
                        const KVISceneBuffer& source, const KVIPixel* sourceNoData,
                        KVIRunMask& mask, bool blend) {
    const KVIPixel& dstPixel = destination.getPixelProps();
    const KVIPixel& srcPixel = source.getPixelProps();
    if (!carriesAlpha(srcPixel) && sourceNoData == nullptr) return KV_BAD_ARGUMENT;
    // Columns are 32-bit signed in a run.
    const std::uint32_t width =
        std::min({destination.getWindowWidth(), source.getWindowWidth(),
                  static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())});
    const std::uint32_t height = std::min(destination.getWindowHeight(), source.getWindowHeight());
    KV_RETURN_IF_FAILED(mask.reset(height));
    KV_RETURN_IF_FAILED(dstPixel.checkCompatible(srcPixel));

    const double threshold =
        mergeTolerance(magnification) * std::min(dstPixel.getNumBands(), srcPixel.getNumBands());
    // One type on both sides (an alpha band of another type included): the kernels read both
    // buffers' samples as that type.
    const std::uint32_t dataType = dstPixel.getDataType();
    if (srcPixel.getDataType() != dataType) return KV_PIXEL_DATA_TYPE_MISMATCH;
    if (mergeMode > KVI_MERGE_TOLERANT) return KV_BAD_ARGUMENT;

    KVStatus status = KV_BAD_ARGUMENT;
    withSampleType(dataType, [&](auto zero) {
        using T = decltype(zero);
        if constexpr (kHasMergeKernel<T>)
            status = kvGuard([&] {
                return runMaskKernel<T>(mergeMode == KVI_MERGE_TOLERANT, destination,
                                        destinationNoData, source, sourceNoData, threshold, blend,
                                        mask, width, height);
            });
    });
    return status;
}

} // namespace Korvel
