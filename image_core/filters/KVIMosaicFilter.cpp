#include "filters/KVIMosaicFilter.h"

#include "buffers/PixelHolder.h"
#include "filters/KVIEmbeddedImage.h"
#include "filters/KVIMultiResFilter.h"
#include "filters/KVIResampler.h"
#include "metadata/KVIMetadataAccessor.h"
#include "metadata/KVIMetadataDatabase.h"
#include "stages/KVIImageStageManager.h"
#include "support/KVMagnification.h"
#include "support/KVStatusGuard.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <string>

namespace Korvel {

namespace {

// What initialize keeps of the images until the geometry is done. When images may be resampled,
// a run of images of one resolution shares a record holding the widest magnification range of
// the run (the range's bounds scale alike, so the mosaic's range comes out the same), and a file
// of images alike keeps one; only the check of sizes without resampling needs every image.
struct ImageRecord {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    double xRes = 0.0;
    double yRes = 0.0;
    double minMagnification = 1.0;
    double maxMagnification = 1.0;
};

// The ground box of a scene's whole pixels through a geo coordinate at the scene's
// magnification: the cover of its four corners.
KVIRTreeBox sceneBox(const KVIScene& scene, const KVIGeoCoord& geo) {
    const double mag = scene.getMagnification();
    const double left = scene.getUpperLeftCol();
    const double top = scene.getUpperLeftRow();
    const double right = std::int64_t{scene.getLowerRightCol()} + 1;
    const double bottom = std::int64_t{scene.getLowerRightRow()} + 1;
    KVIRTreeBox box{
        std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
    for (const double c : {left, right})
        for (const double r : {top, bottom}) {
            const double x = geo.getX() + (c * geo.getXRes() + r * geo.getXRot()) / mag;
            const double y = geo.getY() + (c * geo.getYRot() + r * geo.getYRes()) / mag;
            box = KVIRTreeBox{std::min(box.xmin, x), std::min(box.ymin, y), std::max(box.xmax, x),
                              std::max(box.ymax, y)};
        }
    return box;
}

// A usable resolution: finite and not zero.
bool usable(double resolution) {
    return std::isfinite(resolution) && resolution != 0.0;
}

// The pixel with an alpha band added after its bands, of the type of its last band.
KVIPixel withAlphaBand(const KVIPixel& pixel) {
    const std::uint16_t bands = pixel.getNumBands();
    const std::uint32_t type =
        bands > 0 ? pixel.getSample(static_cast<std::uint16_t>(bands - 1)).getDataType()
                  : KVI_DATATYPE_UINT8;
    KVIPixel result(pixel.getColorSpace() | KVI_COLORSPACE_ALPHA,
                    static_cast<std::uint16_t>(bands + 1), type);
    for (std::uint16_t b = 0; b < bands; ++b)
        result.getSample(b) = pixel.getSample(b);
    return result;
}

// shape with the values of the first bands of values; further bands at their minimum.
KVIPixel shapedValues(const KVIPixel& shape, const KVIPixel& values) {
    KVIPixel result(shape);
    for (std::uint16_t b = 0; b < result.getNumBands(); ++b) {
        if (b < values.getNumBands())
            result.setSampleValueFromBytes(b, values.getSampleValueAddr(b));
        else
            result.getSample(b).setToMin();
    }
    return result;
}

// The first bands of a pixel, as many as shape has, in shape's colour space.
KVIPixel firstBands(const KVIPixel& pixel, const KVIPixel& shape) {
    KVIPixel result(shape);
    for (std::uint16_t b = 0; b < result.getNumBands() && b < pixel.getNumBands(); ++b)
        result.getSample(b) = pixel.getSample(b);
    return result;
}

} // namespace

// Appends the index of each image whose box overlaps the query box with positive area.
class KVIMosaicFilter::ImageLister : public KVIRTree::SearchBBoxCallback {
public:
    explicit ImageLister(std::vector<std::uint32_t>& list) : list_(list) {}
    KVStatus found(std::uint32_t index, const KVIRTreeBox&, const KVIRTreeBox& overlap) override {
        if (overlap.xmax - overlap.xmin > 0.0 && overlap.ymax - overlap.ymin > 0.0)
            list_.push_back(index);
        return KV_OK;
    }

private:
    std::vector<std::uint32_t>& list_;
};

KVIMosaicFilter::KVIMosaicFilter()
    : index_(std::make_unique<KVIRTree>()), resampleMethod_(KVI_RESAMPLE_NEAREST) {}

KVIMosaicFilter::~KVIMosaicFilter() {
    // The chains share the fill holder: they go first.
    releaseAll();
}

KVIMosaicFilter* KVIMosaicFilter::create() {
    try {
        return new KVIMosaicFilter();
    } catch (const std::bad_alloc&) {
        return nullptr;
    } catch (const KVUtilException&) {
        return nullptr;
    }
}

void KVIMosaicFilter::setReleaseUnusedImages(bool release) {
    releaseUnused_ = release;
}

void KVIMosaicFilter::setMergeMode(std::uint32_t mergeMode) {
    mergeMode_ = mergeMode;
}

void KVIMosaicFilter::releaseAll() {
    overview_.reset();
    built_.clear();
    builtSlot_.clear();
    imageList_.clear();
}

KVStatus KVIMosaicFilter::initialize(KVIImageStageManager* manager, const KVIPixel* background,
                                     bool allowDifferentResolutions) {
    if (manager == nullptr) return KV_BAD_ARGUMENT;
    return kvGuard([&]() -> KVStatus {
        releaseAll();
        manager_ = kviRetained(manager);
        const std::uint32_t n = manager->getNumImages();
        if (n == 0) return KV_NOT_AVAILABLE;
        index_ = std::make_unique<KVIRTree>();
        KV_RETURN_IF_FAILED(layOut(n, background, allowDifferentResolutions));

        builtSlot_.assign(n, kNotBuilt);
        imageList_.reserve(n);
        fillHolder_ = std::make_unique<PixelHolder>(getPixelProps());
        return setUpOverview();
    });
}

KVStatus KVIMosaicFilter::layOut(std::uint32_t n, const KVIPixel* background,
                                 bool allowDifferentResolutions) {
    // Nothing of an earlier layout stays.
    KV_RETURN_IF_FAILED(setBackgroundPixel(nullptr));
    KV_RETURN_IF_FAILED(setNoDataPixel(nullptr));
    overviewMagnification_ = 0.0;
    std::vector<ImageRecord> records;
    std::string names;
    double fileSize = 0.0;
    std::uint32_t modifications = 0;
    bool selective = true;
    bool anyAlpha = false;
    std::unique_ptr<KVIPixel> pixel0;
    std::unique_ptr<KVIPixel> noData0;
    std::unique_ptr<KVIPixel> background0;
    std::unique_ptr<KVIPixel> minRange;
    std::unique_ptr<KVIPixel> maxRange;
    KVIGeoCoord geo0;
    // Failures of the later steps, kept in image order and reported in step order.
    KVStatus compatibility = KV_OK;
    KVStatus geometry = KV_OK;
    double rx = 0.0;
    double ry = 0.0;

    // Each stage is asked once and released at once.
    for (std::uint32_t i = 0; i < n; ++i) {
        KVIImageStage* raw = nullptr;
        const KVStatus status = manager_->getImageStage(i, raw);
        const KVIRef<KVIImageStage> stage(raw);
        if (status != KV_OK) return status;
        if (stage == nullptr) return KV_NOT_AVAILABLE;

        ImageRecord record;
        record.width = stage->getWidth();
        record.height = stage->getHeight();
        record.minMagnification = stage->getMinMagnification();
        record.maxMagnification = stage->getMaxMagnification();
        const KVIPixel pixel = stage->getPixelProps();
        const KVIGeoCoord geo = stage->getGeoCoord();
        record.xRes = geo.getXRes();
        record.yRes = geo.getYRes();
        selective = selective && stage->isSelective();
        anyAlpha = anyAlpha || pixel.hasAlpha();
        modifications |= stage->getModifications(KVIScene(0, 0, record.width, record.height, 1.0));
        if (!allowDifferentResolutions || records.empty() || records.back().xRes != record.xRes ||
            records.back().yRes != record.yRes) {
            records.push_back(record);
        } else {
            ImageRecord& run = records.back();
            run.minMagnification = std::min(run.minMagnification, record.minMagnification);
            run.maxMagnification = std::max(run.maxMagnification, record.maxMagnification);
        }

        // An image without metadata (as most images of a file of many are) has neither tag.
        if (stage->getMetadata().getCount() != 0) {
            const KVIMetadataAccessor accessor(stage->getMetadata());
            const char* name = nullptr;
            if (accessor.getInputName(name) == KV_OK && name != nullptr && *name != '\0') {
                names += name;
                if (i + 1 < n) names += ", ";
            }
            double size = 0.0;
            if (accessor.getInputFileSize(size) == KV_OK) fileSize += size;
        }

        if (i == 0) {
            KV_RETURN_IF_FAILED(setMetadata(&stage->getMetadata()));
            pixel0 = std::make_unique<KVIPixel>(pixel);
            if (stage->getNoDataPixel() != nullptr)
                noData0 = std::make_unique<KVIPixel>(*stage->getNoDataPixel());
            if (background == nullptr && stage->getBackgroundPixel() != nullptr)
                background0 = std::make_unique<KVIPixel>(*stage->getBackgroundPixel());
            // The range is gathered in the widest shape (an alpha band added) and cut to the
            // mosaic's pixel once every image is known.
            minRange = std::make_unique<KVIPixel>(pixel.hasAlpha() ? pixel : withAlphaBand(pixel));
            maxRange = std::make_unique<KVIPixel>(*minRange);
            minRange->setToMax();
            maxRange->setToMin();
            geo0 = geo;
            rx = std::abs(geo.getXRes());
            ry = std::abs(geo.getYRes());
        }

        if (compatibility == KV_OK) compatibility = pixel0->checkCompatible(pixel);
        const KVIPixel imageMin = stage->getMinDynamicRange();
        const KVIPixel imageMax = stage->getMaxDynamicRange();
        for (std::uint16_t b = 0; b < minRange->getNumBands(); ++b) {
            if (b < imageMin.getNumBands()) minRange->getSample(b).keepMin(imageMin.getSample(b));
            if (b < imageMax.getNumBands()) maxRange->getSample(b).keepMax(imageMax.getSample(b));
        }

        if (geometry != KV_OK) continue;
        if (!usable(geo.getXRes()) || (geo.getXRes() < 0.0) != (geo0.getXRes() < 0.0)) {
            geometry = KV_MOSAIC_X_RESOLUTION;
            continue;
        }
        if (!usable(geo.getYRes()) || (geo.getYRes() < 0.0) != (geo0.getYRes() < 0.0)) {
            geometry = KV_MOSAIC_Y_RESOLUTION;
            continue;
        }
        if (allowDifferentResolutions) {
            rx = std::min(rx, std::abs(geo.getXRes()));
            ry = std::min(ry, std::abs(geo.getYRes()));
        }
        const KVStatus inserted =
            index_->insert(sceneBox(KVIScene(0, 0, record.width, record.height, 1.0), geo), i);
        // A box that is not finite cannot be laid out.
        if (inserted != KV_OK)
            geometry = inserted == KV_BAD_ARGUMENT ? KV_MOSAIC_X_RESOLUTION : inserted;
    }

    setSelective(selective);
    KVIMetadataDatabase* metadata = getMutableMetadata();
    if (metadata == nullptr) return KV_FAILURE;
    KVIMetadataAccessor accessor(*metadata);
    if (!names.empty()) KV_RETURN_IF_FAILED(accessor.setInputName(names.c_str()));
    if (fileSize != 0.0) KV_RETURN_IF_FAILED(accessor.setInputFileSize(fileSize));
    KV_RETURN_IF_FAILED(accessor.setModifications(modifications));

    // Pixel, no-data and background pixels: image 0's, with an alpha band when some image has
    // alpha and image 0 has none.
    const bool alphaAdded = anyAlpha && !pixel0->hasAlpha();
    const KVIPixel merged = alphaAdded ? withAlphaBand(*pixel0) : *pixel0;
    const std::uint16_t alphaBand = static_cast<std::uint16_t>(merged.getNumBands() - 1);
    KV_RETURN_IF_FAILED(setPixelProps(merged));
    if (noData0 != nullptr) {
        KVIPixel noData = shapedValues(merged, *noData0);
        if (alphaAdded) noData.getSample(alphaBand).setToMin();
        KV_RETURN_IF_FAILED(setNoDataPixel(&noData));
    }
    const KVIPixel* givenBackground = background != nullptr ? background : background0.get();
    KVIPixel backgroundPixel = givenBackground != nullptr ? shapedValues(merged, *givenBackground)
                                                          : *makeBackgroundPixel();
    if (alphaAdded) backgroundPixel.getSample(alphaBand).setToMin();
    KV_RETURN_IF_FAILED(setBackgroundPixel(&backgroundPixel));

    KV_RETURN_IF_FAILED(compatibility);
    KV_RETURN_IF_FAILED(
        setDynamicRange(firstBands(*minRange, merged), firstBands(*maxRange, merged)));

    // Geometry: the finest resolution per axis with image 0's signs, the origin at the corner
    // where the images' pixel (0, 0) lies.
    KV_RETURN_IF_FAILED(geometry);
    const KVIRTreeBox bounds = index_->getBounds();
    const double xRes = geo0.getXRes() < 0.0 ? -rx : rx;
    const double yRes = geo0.getYRes() < 0.0 ? -ry : ry;
    grid_ = KVIGeoCoord(xRes > 0.0 ? bounds.xmin : bounds.xmax,
                        yRes < 0.0 ? bounds.ymax : bounds.ymin, xRes, yRes, 0.0, 0.0);
    KVIGeoCoord geo = grid_;
    geo.setWKT(geo0.getWKT());
    KV_RETURN_IF_FAILED(setGeoCoord(geo));
    const double width = std::floor((bounds.xmax - bounds.xmin) / rx + 0.5);
    const double height = std::floor((bounds.ymax - bounds.ymin) / ry + 0.5);
    constexpr double kMaxSide = std::numeric_limits<std::uint32_t>::max();
    if (!(width >= 0.0 && width <= kMaxSide)) return KV_MOSAIC_X_RESOLUTION;
    if (!(height >= 0.0 && height <= kMaxSide)) return KV_MOSAIC_Y_RESOLUTION;
    setDimensions(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height));

    double minMag = 1.0;
    double maxMag = 1.0;
    for (const ImageRecord& record : records) {
        const double sx = record.xRes / xRes;
        const double sy = record.yRes / yRes;
        if (!allowDifferentResolutions) {
            if (std::abs(record.width * sx - record.width) >= 0.5) return KV_MOSAIC_X_RESOLUTION;
            if (std::abs(record.height * sy - record.height) >= 0.5) return KV_MOSAIC_Y_RESOLUTION;
        }
        const double s = std::sqrt(sx * sy);
        minMag = std::min(minMag, record.minMagnification / s);
        maxMag = std::max(maxMag, record.maxMagnification * s);
    }
    return setMagnification(minMag, maxMag);
}

KVStatus KVIMosaicFilter::setUpOverview() {
    KVIImageStage* raw = nullptr;
    const KVStatus status = manager_->getOverviewImageStage(raw);
    const KVIRef<KVIImageStage> stage(raw);
    KV_RETURN_IF_FAILED(status);
    if (stage == nullptr) return KV_OK;
    KV_RETURN_IF_FAILED(getPixelProps().checkCompatible(stage->getPixelProps()));
    const KVIGeoCoord& mosaicGeo = grid_;
    const KVIGeoCoord geo = stage->getGeoCoord();
    if (!usable(geo.getXRes()) || (geo.getXRes() < 0.0) != (mosaicGeo.getXRes() < 0.0))
        return KV_MOSAIC_X_RESOLUTION;
    if (!usable(geo.getYRes()) || (geo.getYRes() < 0.0) != (mosaicGeo.getYRes() < 0.0))
        return KV_MOSAIC_Y_RESOLUTION;
    const double sx = geo.getXRes() / mosaicGeo.getXRes();
    const double sy = geo.getYRes() / mosaicGeo.getYRes();
    const double magnification = 1.0 / std::sqrt(sx * sy);
    setMagnification(std::min(getMinMagnification(), stage->getMinMagnification() * magnification),
                     std::max(getMaxMagnification(), stage->getMaxMagnification() * magnification));

    KVIRef<KVIMultiResFilter> scaled(KVIMultiResFilter::create());
    if (scaled == nullptr) return KV_OUT_OF_MEMORY;
    scaled->setScale(sx, sy);
    KV_RETURN_IF_FAILED(
        scaled->initialize(stage.get(), 0.0, getMinMagnification(), getMaxMagnification()));
    KVIRef<KVIEmbeddedImage> overview(KVIEmbeddedImage::create());
    if (overview == nullptr) return KV_OUT_OF_MEMORY;
    const KVIGeoCoord scaledGeo = scaled->getGeoCoord();
    KV_RETURN_IF_FAILED(
        overview->initialize(scaled.get(), getWidth(), getHeight(),
                             (scaledGeo.getX() - mosaicGeo.getX()) / mosaicGeo.getXRes(),
                             (scaledGeo.getY() - mosaicGeo.getY()) / mosaicGeo.getYRes(),
                             getBackgroundPixel(), getNoDataPixel()));
    overview_ = std::move(overview);
    overviewMagnification_ = magnification;
    return KV_OK;
}

KVStatus KVIMosaicFilter::getDimsAtMag(double magnification, std::uint32_t& width,
                                       std::uint32_t& height) const {
    return scaleDimensions(getWidth(), getHeight(), magnification, width, height);
}

KVStatus KVIMosaicFilter::listImages(const KVIScene& scene) {
    imageList_.clear();
    ImageLister lister(imageList_);
    KV_RETURN_IF_FAILED(index_->search(sceneBox(scene, grid_), lister));
    std::sort(imageList_.begin(), imageList_.end());
    return KV_OK;
}

KVStatus KVIMosaicFilter::getWrapper(std::uint32_t i, KVIEmbeddedImage*& wrapper) {
    wrapper = nullptr;
    std::uint32_t slot = builtSlot_[i];
    if (slot != kNotBuilt && built_[slot].wrapper != nullptr) {
        wrapper = built_[slot].wrapper.get();
        return KV_OK;
    }
    if (slot == kNotBuilt) {
        KVIImageStage* raw = nullptr;
        const KVStatus status = manager_->getImageStage(i, raw);
        KVIRef<KVIImageStage> stage(raw);
        KV_RETURN_IF_FAILED(status);
        if (stage == nullptr) return KV_NOT_AVAILABLE;
        built_.push_back(BuiltImage{i, -1, std::move(stage), nullptr});
        slot = static_cast<std::uint32_t>(built_.size() - 1);
        builtSlot_[i] = slot;
    }
    KVIImageStage* stage = built_[slot].stage.get();
    const KVIGeoCoord& mosaicGeo = grid_;
    const KVIGeoCoord geo = stage->getGeoCoord();
    const double sx = geo.getXRes() / mosaicGeo.getXRes();
    const double sy = geo.getYRes() / mosaicGeo.getYRes();

    KVIImageStage* input = stage;
    KVIRef<KVIMultiResFilter> scaled;
    if (sx != 1.0 || sy != 1.0 || stage->getMinMagnification() != getMinMagnification() ||
        stage->getMaxMagnification() != getMaxMagnification()) {
        scaled.reset(KVIMultiResFilter::create());
        if (scaled == nullptr) return KV_OUT_OF_MEMORY;
        scaled->setScale(sx, sy);
        KV_RETURN_IF_FAILED(
            scaled->initialize(stage, 1.0, getMinMagnification(), getMaxMagnification()));
        KV_RETURN_IF_FAILED(scaled->setResampleMethod(resampleMethod_));
        input = scaled.get();
    }
    KVIRef<KVIEmbeddedImage> embedded(KVIEmbeddedImage::create());
    if (embedded == nullptr) return KV_OUT_OF_MEMORY;
    KV_RETURN_IF_FAILED(embedded->setFillHolder(fillHolder_.get()));
    KV_RETURN_IF_FAILED(embedded->initialize(
        input, getWidth(), getHeight(), (geo.getX() - mosaicGeo.getX()) / mosaicGeo.getXRes(),
        (geo.getY() - mosaicGeo.getY()) / mosaicGeo.getYRes(), nullptr, nullptr));
    embedded->setUseBackground(false);
    embedded->setMergeMode(mergeMode_);
    wrapper = embedded.get();
    built_[slot].wrapper = std::move(embedded);
    built_[slot].useCount = -1;
    return KV_OK;
}

void KVIMosaicFilter::releaseImage(std::uint32_t i) {
    const std::uint32_t slot = builtSlot_[i];
    if (slot == kNotBuilt) return;
    builtSlot_[i] = kNotBuilt;
    // Released as the function ends (its chain before its stage), once the list is whole again.
    const BuiltImage gone = std::move(built_[slot]);
    if (slot + 1 != built_.size()) {
        built_[slot] = std::move(built_.back());
        builtSlot_[built_[slot].index] = slot;
    }
    built_.pop_back();
}

void KVIMosaicFilter::releaseIfIdle(std::uint32_t i) {
    if (useCount(i) < 0 && releaseUnused_) releaseImage(i);
}

std::int64_t KVIMosaicFilter::getSceneCost(const KVIScene& scene) {
    const std::int64_t pixels =
        std::int64_t{std::max(scene.getNumCols(), 0)} * std::max(scene.getNumRows(), 0);
    std::int64_t own = 0;
    if (__builtin_mul_overflow(pixels, std::int64_t{getPixelProps().getNumBytes()}, &own))
        own = std::numeric_limits<std::int64_t>::max();
    own /= 1024;
    if (builtSlot_.empty() || kvGuard([&] { return listImages(scene); }) != KV_OK) return 0;
    std::int64_t sum = 0;
    // An image whose chain cannot be built adds nothing.
    for (const std::uint32_t i : imageList_) {
        KVIEmbeddedImage* wrapper = nullptr;
        if (kvGuard([&] { return getWrapper(i, wrapper); }) == KV_OK && wrapper != nullptr) {
            const std::int64_t cost = wrapper->getSceneCost(scene);
            sum = cost > std::numeric_limits<std::int64_t>::max() - sum
                      ? std::numeric_limits<std::int64_t>::max()
                      : sum + cost;
        }
        releaseIfIdle(i);
    }
    return std::min(own, sum);
}

bool KVIMosaicFilter::clipScene(const KVIScene&, KVIScene&) {
    return false;
}

std::uint32_t KVIMosaicFilter::getModifications(const KVIScene& scene) {
    if (builtSlot_.empty() || kvGuard([&] { return listImages(scene); }) != KV_OK) return 0;
    std::uint32_t mask = imageList_.size() >= 2 ? KVI_MOD_MOSAICKED : 0;
    for (const std::uint32_t i : imageList_) {
        KVIEmbeddedImage* wrapper = nullptr;
        if (kvGuard([&] { return getWrapper(i, wrapper); }) == KV_OK && wrapper != nullptr)
            mask |= wrapper->getModifications(scene);
        releaseIfIdle(i);
    }
    return mask;
}

KVStatus KVIMosaicFilter::decodeBegin(const KVIScene& scene) {
    // Whatever a read left open without its end.
    endImageReads();
    readScene_ = scene;
    overviewServesRead_ =
        overview_ != nullptr && overviewMagnification_ >= scene.getMagnification();
    if (!overviewServesRead_) return KV_OK;
    KV_RETURN_IF_FAILED(overview_->setStripHeight(getStripHeight()));
    return overview_->readBegin(scene);
}

KVStatus KVIMosaicFilter::decodeStrip(KVISceneBuffer& buffer, const KVIScene& stripScene) {
    if (overviewServesRead_) return overview_->readStrip(buffer, stripScene);
    if (builtSlot_.empty()) return KV_FAILURE;
    return kvGuard([&]() -> KVStatus {
        KV_RETURN_IF_FAILED(listImages(stripScene));
        // An image whose own read is under way gets every strip of that read, listed or not:
        // its whole pixels (offset rounded, size rounded up) may reach a row or so beyond its
        // ground box.
        const std::size_t listed = imageList_.size();
        for (const BuiltImage& image : built_)
            if (image.useCount >= 1 &&
                !std::binary_search(imageList_.begin(), imageList_.begin() + listed, image.index))
                imageList_.push_back(image.index);
        if (imageList_.size() > listed) std::sort(imageList_.begin(), imageList_.end());
        KV_RETURN_IF_FAILED(fillWithBackground(stripScene, buffer));
        const double mag = stripScene.getMagnification();
        const std::int64_t firstRow = stripScene.getUpperLeftRow();
        for (const std::uint32_t i : imageList_) {
            KVIEmbeddedImage* wrapper = nullptr;
            KV_RETURN_IF_FAILED(getWrapper(i, wrapper));
            if (useCount(i) < 1) {
                // First strip of this read that touches the image: its own read spans the rows
                // from here to its last row in the read.
                KV_RETURN_IF_FAILED(wrapper->setStripHeight(getStripHeight()));
                wrapper->setMergeMode(mergeMode_);
                KVIScene mapped;
                if (!wrapper->mapSceneToInput(readScene_, mapped) || mapped.getNumCols() <= 0 ||
                    mapped.getNumRows() <= 0)
                    continue;
                const std::int64_t bottom =
                    std::int64_t{wrapper->getRowOffset(mag)} + mapped.getLowerRightRow() + 1;
                if (bottom <= firstRow) continue;
                const std::int64_t rows = bottom - firstRow;
                KV_RETURN_IF_FAILED(wrapper->readBegin(
                    KVIScene(stripScene.getUpperLeftCol(), static_cast<double>(firstRow),
                             stripScene.getNumCols(), static_cast<double>(rows), mag)));
                const std::int64_t height = std::max<std::uint32_t>(wrapper->getStripHeight(), 1);
                findBuilt(i)->useCount = static_cast<std::int32_t>(std::min<std::int64_t>(
                    (rows + height - 1) / height, std::numeric_limits<std::int32_t>::max()));
            }
            KV_RETURN_IF_FAILED(wrapper->readStrip(buffer, stripScene));
        }

        // Every image's count drops by one strip: a read that is done ends, and an image that
        // takes no part in the read is released (when so set). Walked from the end, so that an
        // image released moves only one already visited.
        KVStatus status = KV_OK;
        for (std::size_t j = built_.size(); j-- > 0;) {
            BuiltImage& image = built_[j];
            image.useCount = std::max(image.useCount - 1, -1);
            if (image.useCount == 0 && image.wrapper != nullptr) {
                const KVStatus ended = image.wrapper->readEnd();
                if (status == KV_OK) status = ended;
            } else if (image.useCount < 0) {
                releaseIfIdle(image.index);
            }
        }
        return status;
    });
}

KVStatus KVIMosaicFilter::decodeEnd() {
    if (overviewServesRead_) {
        overviewServesRead_ = false;
        return overview_->readEnd();
    }
    return endImageReads();
}

KVStatus KVIMosaicFilter::endImageReads() {
    KVStatus status = KV_OK;
    for (BuiltImage& image : built_) {
        if (image.wrapper == nullptr || image.useCount <= 0) continue;
        const KVStatus ended = image.wrapper->readEnd();
        if (status == KV_OK) status = ended;
        image.useCount = 0;
    }
    return status;
}

} // namespace Korvel
