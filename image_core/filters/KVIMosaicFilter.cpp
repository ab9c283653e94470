#include "filters/KVIMosaicFilter.h"

#include "buffers/KVISceneBuffer.h"
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
#include <optional>
#include <string>

namespace Korvel {

namespace {

// What initialize keeps of an image until the canvas is placed.
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

// KV_MOSAIC_X_RESOLUTION or KV_MOSAIC_Y_RESOLUTION when a resolution of geo is unusable or its
// sign differs from the reference's.
KVStatus checkResolutionSigns(const KVIGeoCoord& geo, const KVIGeoCoord& reference) {
    if (!usable(geo.getXRes()) || (geo.getXRes() < 0.0) != (reference.getXRes() < 0.0))
        return KV_MOSAIC_X_RESOLUTION;
    if (!usable(geo.getYRes()) || (geo.getYRes() < 0.0) != (reference.getYRes() < 0.0))
        return KV_MOSAIC_Y_RESOLUTION;
    return KV_OK;
}

// The pixel with an alpha band added after its bands, of the type of its last band.
KVIPixel withAlphaBand(const KVIPixel& pixel) {
    const std::uint16_t bands = pixel.getNumBands();
    const std::uint32_t type =
        bands > 0 ? pixel.getSample(static_cast<std::uint16_t>(bands - 1)).getDataType()
                  : KVI_DATATYPE_UINT8;
    KVIPixel result(pixel.getColorSpace() | KVI_COLORSPACE_ALPHA,
                    static_cast<std::uint16_t>(bands + 1), type);
    result.copyBandsOf(pixel);
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
    result.copyBandsOf(pixel);
    return result;
}

} // namespace

// Appends the index of each image whose box overlaps the query box with positive area.
class KVIMosaicFilter::ListImageStagesInSceneCallback : public KVIRTree::SearchBBoxCallback {
public:
    explicit ListImageStagesInSceneCallback(std::vector<std::uint32_t>& list) : list_(list) {}
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

// One image as its stage describes itself: what combining the images takes from it.
struct KVIMosaicFilter::ImageDescription {
    KVIPixel pixel;
    KVIPixel minRange;
    KVIPixel maxRange;
    KVIGeoCoord geo;
    ImageRecord record;
    bool selective = true;
    // Its flags for its whole scene at magnification 1.0.
    std::uint32_t modifications = 0;
    // Its metadata's input name and file size, when it has them.
    std::string name;
    std::optional<double> fileSize;
};

// What describing and combining the images gathers, in image order, for the mosaic's own
// description and its canvas.
struct KVIMosaicFilter::Layout {
    std::vector<ImageRecord> records;
    std::string names;
    double fileSize = 0.0;
    std::uint32_t modifications = 0;
    bool selective = true;
    bool anyAlpha = false;
    // Image 0's pixel, no-data and background pixels, and the dynamic range gathered in the
    // widest shape (image 0's pixel with an alpha band added), cut to the mosaic's pixel once
    // every image is known.
    std::optional<KVIPixel> pixel0;
    std::optional<KVIPixel> noData0;
    std::optional<KVIPixel> background0;
    std::optional<KVIPixel> minRange;
    std::optional<KVIPixel> maxRange;
    KVIGeoCoord geo0;
    // Failures of the later steps, kept in image order and reported in step order.
    KVStatus compatibility = KV_OK;
    KVStatus geometry = KV_OK;
    // The finest resolution per axis so far (image 0's when resolutions may not differ).
    double rx = 0.0;
    double ry = 0.0;
};

KVStatus KVIMosaicFilter::layOut(std::uint32_t n, const KVIPixel* background,
                                 bool allowDifferentResolutions) {
    // Nothing of an earlier layout stays.
    KV_RETURN_IF_FAILED(setBackgroundPixel(nullptr));
    KV_RETURN_IF_FAILED(setNoDataPixel(nullptr));
    overviewMagnification_ = 0.0;
    Layout layout;
    // Each stage is asked once and released at once.
    for (std::uint32_t i = 0; i < n; ++i) {
        KVIImageStage* raw = nullptr;
        const KVStatus status = manager_->getImageStage(i, raw);
        const KVIRef<KVIImageStage> stage(raw);
        if (status != KV_OK) return status;
        if (stage == nullptr) return KV_NOT_AVAILABLE;
        const ImageDescription image = describeImage(*stage);
        if (i == 0) KV_RETURN_IF_FAILED(takeFirstImage(*stage, image, background, layout));
        combineImage(i, n, image, allowDifferentResolutions, layout);
    }
    KV_RETURN_IF_FAILED(storeDescription(layout, background));
    return placeCanvas(layout, allowDifferentResolutions);
}

KVIMosaicFilter::ImageDescription KVIMosaicFilter::describeImage(KVIImageStage& stage) {
    ImageDescription image;
    image.pixel = stage.getPixelProps();
    image.minRange = stage.getMinDynamicRange();
    image.maxRange = stage.getMaxDynamicRange();
    image.geo = stage.getGeoCoord();
    ImageRecord& record = image.record;
    record.width = stage.getWidth();
    record.height = stage.getHeight();
    record.minMagnification = stage.getMinMagnification();
    record.maxMagnification = stage.getMaxMagnification();
    record.xRes = image.geo.getXRes();
    record.yRes = image.geo.getYRes();
    image.selective = stage.isSelective();
    image.modifications = stage.getModifications(KVIScene(0, 0, record.width, record.height, 1.0));
    // An image without metadata (as most images of a file of many are) has neither tag.
    if (stage.getMetadata().getCount() != 0) {
        const KVIMetadataAccessor accessor(stage.getMetadata());
        const char* name = nullptr;
        if (accessor.getInputName(name) == KV_OK && name != nullptr) image.name = name;
        double size = 0.0;
        if (accessor.getInputFileSize(size) == KV_OK) image.fileSize = size;
    }
    return image;
}

KVStatus KVIMosaicFilter::takeFirstImage(const KVIImageStage& stage, const ImageDescription& image,
                                         const KVIPixel* background, Layout& layout) {
    KV_RETURN_IF_FAILED(setMetadata(&stage.getMetadata()));
    layout.pixel0 = image.pixel;
    if (stage.getNoDataPixel() != nullptr) layout.noData0 = *stage.getNoDataPixel();
    if (background == nullptr && stage.getBackgroundPixel() != nullptr)
        layout.background0 = *stage.getBackgroundPixel();
    layout.minRange = image.pixel.hasAlpha() ? image.pixel : withAlphaBand(image.pixel);
    layout.maxRange = *layout.minRange;
    layout.minRange->setToMax();
    layout.maxRange->setToMin();
    layout.geo0 = image.geo;
    layout.rx = std::abs(image.geo.getXRes());
    layout.ry = std::abs(image.geo.getYRes());
    return KV_OK;
}

void KVIMosaicFilter::combineImage(std::uint32_t i, std::uint32_t n, const ImageDescription& image,
                                   bool allowDifferentResolutions, Layout& layout) {
    const ImageRecord& record = image.record;
    layout.selective = layout.selective && image.selective;
    layout.anyAlpha = layout.anyAlpha || image.pixel.hasAlpha();
    layout.modifications |= image.modifications;
    // When images may be resampled, a run of images of one resolution shares a record holding
    // the widest magnification range of the run (the range's bounds scale alike, so the mosaic's
    // range comes out the same), and a file of images alike keeps one; only the check of sizes
    // without resampling needs every image.
    std::vector<ImageRecord>& records = layout.records;
    if (!allowDifferentResolutions || records.empty() || records.back().xRes != record.xRes ||
        records.back().yRes != record.yRes) {
        records.push_back(record);
    } else {
        ImageRecord& run = records.back();
        run.minMagnification = std::min(run.minMagnification, record.minMagnification);
        run.maxMagnification = std::max(run.maxMagnification, record.maxMagnification);
    }
    if (!image.name.empty()) {
        layout.names += image.name;
        if (i + 1 < n) layout.names += ", ";
    }
    if (image.fileSize) layout.fileSize += *image.fileSize;

    if (layout.compatibility == KV_OK)
        layout.compatibility = layout.pixel0->checkCompatible(image.pixel);
    layout.minRange->keepMinOf(image.minRange);
    layout.maxRange->keepMaxOf(image.maxRange);

    if (layout.geometry != KV_OK) return;
    layout.geometry = checkResolutionSigns(image.geo, layout.geo0);
    if (layout.geometry != KV_OK) return;
    if (allowDifferentResolutions) {
        layout.rx = std::min(layout.rx, std::abs(image.geo.getXRes()));
        layout.ry = std::min(layout.ry, std::abs(image.geo.getYRes()));
    }
    const KVStatus inserted =
        index_->insert(sceneBox(KVIScene(0, 0, record.width, record.height, 1.0), image.geo), i);
    // A box that is not finite cannot be laid out.
    if (inserted != KV_OK)
        layout.geometry = inserted == KV_BAD_ARGUMENT ? KV_MOSAIC_X_RESOLUTION : inserted;
}

KVStatus KVIMosaicFilter::storeDescription(const Layout& layout, const KVIPixel* background) {
    setSelective(layout.selective);
    KVIMetadataDatabase* metadata = getMutableMetadata();
    if (metadata == nullptr) return KV_FAILURE;
    KVIMetadataAccessor accessor(*metadata);
    if (!layout.names.empty()) KV_RETURN_IF_FAILED(accessor.setInputName(layout.names.c_str()));
    if (layout.fileSize != 0.0) KV_RETURN_IF_FAILED(accessor.setInputFileSize(layout.fileSize));
    KV_RETURN_IF_FAILED(accessor.setModifications(layout.modifications));

    // Pixel, no-data and background pixels: image 0's, with an alpha band when some image has
    // alpha and image 0 has none.
    const KVIPixel& pixel0 = *layout.pixel0;
    const bool alphaAdded = layout.anyAlpha && !pixel0.hasAlpha();
    const KVIPixel merged = alphaAdded ? withAlphaBand(pixel0) : pixel0;
    const std::uint16_t alphaBand = static_cast<std::uint16_t>(merged.getNumBands() - 1);
    KV_RETURN_IF_FAILED(setPixelProps(merged));
    if (layout.noData0) {
        KVIPixel noData = shapedValues(merged, *layout.noData0);
        if (alphaAdded) noData.getSample(alphaBand).setToMin();
        KV_RETURN_IF_FAILED(setNoDataPixel(&noData));
    }
    const KVIPixel* givenBackground =
        background != nullptr ? background : (layout.background0 ? &*layout.background0 : nullptr);
    KVIPixel backgroundPixel = givenBackground != nullptr ? shapedValues(merged, *givenBackground)
                                                          : *makeBackgroundPixel();
    if (alphaAdded) backgroundPixel.getSample(alphaBand).setToMin();
    KV_RETURN_IF_FAILED(setBackgroundPixel(&backgroundPixel));

    KV_RETURN_IF_FAILED(layout.compatibility);
    return setDynamicRange(firstBands(*layout.minRange, merged),
                           firstBands(*layout.maxRange, merged));
}

KVStatus KVIMosaicFilter::placeCanvas(const Layout& layout, bool allowDifferentResolutions) {
    // The finest resolution per axis with image 0's signs, the origin at the corner where the
    // images' pixel (0, 0) lies.
    KV_RETURN_IF_FAILED(layout.geometry);
    const KVIRTreeBox bounds = index_->getBounds();
    const double xRes = layout.geo0.getXRes() < 0.0 ? -layout.rx : layout.rx;
    const double yRes = layout.geo0.getYRes() < 0.0 ? -layout.ry : layout.ry;
    grid_ = KVIGeoCoord(xRes > 0.0 ? bounds.xmin : bounds.xmax,
                        yRes < 0.0 ? bounds.ymax : bounds.ymin, xRes, yRes, 0.0, 0.0);
    KVIGeoCoord geo = grid_;
    geo.setWKT(layout.geo0.getWKT());
    KV_RETURN_IF_FAILED(setGeoCoord(geo));
    const double width = std::floor((bounds.xmax - bounds.xmin) / layout.rx + 0.5);
    const double height = std::floor((bounds.ymax - bounds.ymin) / layout.ry + 0.5);
    constexpr double kMaxSide = std::numeric_limits<std::uint32_t>::max();
    if (!(width >= 0.0 && width <= kMaxSide)) return KV_MOSAIC_X_RESOLUTION;
    if (!(height >= 0.0 && height <= kMaxSide)) return KV_MOSAIC_Y_RESOLUTION;
    setDimensions(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height));

    double minMag = 1.0;
    double maxMag = 1.0;
    for (const ImageRecord& record : layout.records) {
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

KVStatus KVIMosaicFilter::buildChain(KVIImageStage& stage, const ChainOptions& options,
                                     KVIRef<KVIEmbeddedImage>& chain) {
    const KVIGeoCoord geo = stage.getGeoCoord();
    KVIImageStage* input = &stage;
    KVIRef<KVIMultiResFilter> scaled;
    if (options.scaled) {
        scaled.reset(KVIMultiResFilter::create());
        if (scaled == nullptr) return KV_OUT_OF_MEMORY;
        scaled->setScale(geo.getXRes() / grid_.getXRes(), geo.getYRes() / grid_.getYRes());
        KV_RETURN_IF_FAILED(scaled->initialize(&stage, options.defaultScale, getMinMagnification(),
                                               getMaxMagnification()));
        KV_RETURN_IF_FAILED(scaled->setResampleMethod(resampleMethod_));
        input = scaled.get();
    }
    KVIRef<KVIEmbeddedImage> embedded(KVIEmbeddedImage::create());
    if (embedded == nullptr) return KV_OUT_OF_MEMORY;
    if (options.fillHolder != nullptr)
        KV_RETURN_IF_FAILED(embedded->setFillHolder(options.fillHolder));
    // A multi-resolution filter keeps its input's origin: the image's pixel (0, 0) lies there.
    KV_RETURN_IF_FAILED(embedded->initialize(
        input, getWidth(), getHeight(), (geo.getX() - grid_.getX()) / grid_.getXRes(),
        (geo.getY() - grid_.getY()) / grid_.getYRes(), options.background, options.noData));
    chain = std::move(embedded);
    return KV_OK;
}

KVStatus KVIMosaicFilter::setUpOverview() {
    KVIImageStage* raw = nullptr;
    const KVStatus status = manager_->getOverviewImageStage(raw);
    const KVIRef<KVIImageStage> stage(raw);
    KV_RETURN_IF_FAILED(status);
    if (stage == nullptr) return KV_OK;
    KV_RETURN_IF_FAILED(getPixelProps().checkCompatible(stage->getPixelProps()));
    const KVIGeoCoord geo = stage->getGeoCoord();
    KV_RETURN_IF_FAILED(checkResolutionSigns(geo, grid_));
    const double sx = geo.getXRes() / grid_.getXRes();
    const double sy = geo.getYRes() / grid_.getYRes();
    const double magnification = 1.0 / std::sqrt(sx * sy);
    setMagnification(std::min(getMinMagnification(), stage->getMinMagnification() * magnification),
                     std::max(getMaxMagnification(), stage->getMaxMagnification() * magnification));

    // Always resampled, with its own fill holder, filled with the mosaic's background.
    KVIRef<KVIEmbeddedImage> overview;
    KV_RETURN_IF_FAILED(
        buildChain(*stage, ChainOptions{true, 0.0, nullptr, getBackgroundPixel(), getNoDataPixel()},
                   overview));
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
    ListImageStagesInSceneCallback lister(imageList_);
    KV_RETURN_IF_FAILED(index_->search(sceneBox(scene, grid_), lister));
    std::sort(imageList_.begin(), imageList_.end());
    return KV_OK;
}

std::uint32_t KVIMosaicFilter::getNumBuiltImages() const {
    return static_cast<std::uint32_t>(
        std::count_if(built_.begin(), built_.end(),
                      [](const BuiltImage& image) { return image.stage != nullptr; }));
}

KVIMosaicFilter::BuiltImage& KVIMosaicFilter::entryOf(std::uint32_t i) {
    if (builtSlot_[i] == kNotBuilt) {
        built_.push_back(BuiltImage{});
        built_.back().index = i;
        builtSlot_[i] = static_cast<std::uint32_t>(built_.size() - 1);
    }
    return built_[builtSlot_[i]];
}

KVStatus KVIMosaicFilter::getWrapper(std::uint32_t i, KVIEmbeddedImage*& wrapper) {
    wrapper = nullptr;
    if (const BuiltImage* image = findBuilt(i); image != nullptr && image->wrapper != nullptr) {
        wrapper = image->wrapper.get();
        return KV_OK;
    }
    if (const BuiltImage* image = findBuilt(i); image == nullptr || image->stage == nullptr) {
        KVIImageStage* raw = nullptr;
        const KVStatus status = manager_->getImageStage(i, raw);
        KVIRef<KVIImageStage> made(raw);
        KV_RETURN_IF_FAILED(status);
        if (made == nullptr) return KV_NOT_AVAILABLE;
        entryOf(i).stage = std::move(made);
    }
    KVIImageStage* stage = findBuilt(i)->stage.get();
    const KVIGeoCoord geo = stage->getGeoCoord();
    const bool scaled = geo.getXRes() / grid_.getXRes() != 1.0 ||
                        geo.getYRes() / grid_.getYRes() != 1.0 ||
                        stage->getMinMagnification() != getMinMagnification() ||
                        stage->getMaxMagnification() != getMaxMagnification();
    KVIRef<KVIEmbeddedImage> embedded;
    KV_RETURN_IF_FAILED(buildChain(
        *stage, ChainOptions{scaled, 1.0, fillHolder_.get(), nullptr, nullptr}, embedded));
    embedded->setUseBackground(false);
    embedded->setMergeMode(mergeMode_);
    wrapper = embedded.get();
    entryOf(i).wrapper = std::move(embedded);
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
    BuiltImage* image = findBuilt(i);
    if (image == nullptr || image->open) return;
    if (releaseUnused_) {
        image->wrapper.reset();
        image->stage.reset();
    }
    if (!image->inRead && image->stage == nullptr) releaseImage(i);
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
    leaveReads(kUnknownRow);
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
        const std::int64_t firstRow = stripScene.getUpperLeftRow();
        KV_RETURN_IF_FAILED(listStripImages(stripScene));
        KV_RETURN_IF_FAILED(fillWithBackground(stripScene, buffer));
        // Images beneath one that writes the whole strip straight are not seen: those whose read
        // is not open are passed over (their read goes on, to be taken up where they show).
        std::size_t hidden = 0;
        if (!readImagesWhole_) KV_RETURN_IF_FAILED(findHiddenImages(buffer, stripScene, hidden));
        const std::int64_t stripEnd = firstRow + std::max<std::uint32_t>(getStripHeight(), 1);
        std::uint64_t openColumns = 0;
        for (const BuiltImage& image : built_)
            if (image.open && stripEnd < image.bottom) openColumns += image.readColumns;
        KVStatus ended = KV_OK;
        for (std::size_t k = 0; k < imageList_.size(); ++k) {
            const std::uint32_t i = imageList_[k];
            if (k < hidden && !findBuilt(i)->open) continue;
            KV_RETURN_IF_FAILED(readImageStrip(i, buffer, stripScene, openColumns, ended));
        }

        const KVStatus left = leaveReads(stripEnd);
        if (ended == KV_OK) ended = left;
        return ended;
    });
}

KVStatus KVIMosaicFilter::listStripImages(const KVIScene& stripScene) {
    KV_RETURN_IF_FAILED(listImages(stripScene));
    // A listed image takes part in the read from the first strip that lists it.
    const auto unseen = static_cast<std::size_t>(
        std::count_if(imageList_.begin(), imageList_.end(),
                      [&](std::uint32_t i) { return builtSlot_[i] == kNotBuilt; }));
    // Room for them at once, growing as a vector grows: a strip that lists a quarter of a million
    // images makes room once, one that lists a few more than the last does not move them all.
    if (built_.size() + unseen > built_.capacity())
        built_.reserve(std::max(built_.size() + unseen, 2 * built_.capacity()));
    for (const std::uint32_t i : imageList_) {
        BuiltImage& image = entryOf(i);
        image.listed = true;
        if (image.inRead) continue;
        image.inRead = true;
        image.top = stripScene.getUpperLeftRow();
        image.bottom = kUnknownRow;
    }
    // An image whose read is under way gets every strip of that read, listed or not: its whole
    // pixels (offset rounded, size rounded up, a level's size at a magnification between levels)
    // may reach rows beyond its ground box. One that has left its box without having shown
    // learns here where its read ends.
    const std::size_t listed = imageList_.size();
    for (BuiltImage& image : built_) {
        if (image.inRead && !image.listed) imageList_.push_back(image.index);
        image.listed = false;
    }
    for (std::size_t k = listed; k < imageList_.size(); ++k)
        KV_RETURN_IF_FAILED(findReadRows(imageList_[k], stripScene.getMagnification()));
    if (imageList_.size() > listed) std::sort(imageList_.begin(), imageList_.end());
    return KV_OK;
}

KVStatus KVIMosaicFilter::findHiddenImages(const KVISceneBuffer& buffer, const KVIScene& stripScene,
                                           std::size_t& hidden) {
    hidden = 0;
    const KVIPixel bufferPixel = buffer.getPixelProps();
    for (std::size_t k = imageList_.size(); k-- > 0;) {
        KVIEmbeddedImage* wrapper = nullptr;
        KV_RETURN_IF_FAILED(getWrapper(imageList_[k], wrapper));
        if (wrapper->hidesStrip(stripScene, bufferPixel)) {
            hidden = k;
            return KV_OK;
        }
    }
    return KV_OK;
}

KVStatus KVIMosaicFilter::findReadRows(std::uint32_t i, double magnification) {
    KVIEmbeddedImage* wrapper = nullptr;
    KV_RETURN_IF_FAILED(getWrapper(i, wrapper));
    BuiltImage& image = entryOf(i);
    if (image.bottom != kUnknownRow) return KV_OK;
    // To the image's last row of the mosaic's read; nothing when the read holds none of it.
    image.bottom = image.top;
    KVIScene mapped;
    if (!wrapper->mapSceneToInput(readScene_, mapped) || mapped.getNumCols() <= 0 ||
        mapped.getNumRows() <= 0)
        return KV_OK;
    image.bottom = std::max(image.top, std::int64_t{wrapper->getRowOffset(magnification)} +
                                           mapped.getLowerRightRow() + 1);
    image.readColumns = static_cast<std::uint64_t>(mapped.getNumCols());
    return KV_OK;
}

KVStatus KVIMosaicFilter::readImageStrip(std::uint32_t i, KVISceneBuffer& buffer,
                                         const KVIScene& stripScene, std::uint64_t& openColumns,
                                         KVStatus& ended) {
    const double mag = stripScene.getMagnification();
    KV_RETURN_IF_FAILED(findReadRows(i, mag));
    KVIEmbeddedImage* wrapper = findBuilt(i)->wrapper.get();
    const BuiltImage& image = *findBuilt(i);
    const std::int64_t firstRow = stripScene.getUpperLeftRow();
    if (firstRow >= image.bottom) return KV_OK;
    const std::int64_t height = std::max<std::uint32_t>(getStripHeight(), 1);
    const bool wasOpen = image.open;
    if (!wasOpen) {
        // The image's one read over the rows from its first strip to its last, taken up at this
        // strip: the same pixels wherever it was left off or began to show.
        KV_RETURN_IF_FAILED(wrapper->setStripHeight(getStripHeight()));
        wrapper->setMergeMode(mergeMode_);
        const KVIScene read(stripScene.getUpperLeftCol(), static_cast<double>(image.top),
                            stripScene.getNumCols(), static_cast<double>(image.bottom - image.top),
                            mag);
        const std::int64_t strip = std::clamp<std::int64_t>(
            (firstRow - image.top) / height, 0, std::numeric_limits<std::uint32_t>::max());
        KV_RETURN_IF_FAILED(wrapper->readBeginAt(read, static_cast<std::uint32_t>(strip)));
        findBuilt(i)->open = true;
    }
    KV_RETURN_IF_FAILED(wrapper->readStrip(buffer, stripScene));

    // The reads left open from strip to strip span at most twice the strip's width together
    // (images side by side span it about once): an image stacked beyond that is read over this
    // strip and taken up again at the next, so that their decoding state stays bounded however
    // many lie there. A read is also ended after its last strip, so that its decoding state goes
    // before the next image's.
    BuiltImage& after = *findBuilt(i);
    const std::uint64_t budget = 2 * static_cast<std::uint64_t>(stripScene.getNumCols());
    const bool last = firstRow + height >= after.bottom;
    if (!last && (wasOpen || readImagesWhole_ || openColumns + after.readColumns <= budget)) {
        if (!wasOpen) openColumns += after.readColumns;
        return KV_OK;
    }
    endChainRead(after, ended);
    releaseIfIdle(i);
    return KV_OK;
}

KVStatus KVIMosaicFilter::decodeEnd() {
    if (overviewServesRead_) {
        overviewServesRead_ = false;
        return overview_->readEnd();
    }
    return leaveReads(kUnknownRow);
}

KVStatus KVIMosaicFilter::leaveReads(std::int64_t end) {
    KVStatus ended = KV_OK;
    // Walked from the end, so that an image released moves only one already visited.
    for (std::size_t j = built_.size(); j-- > 0;) {
        BuiltImage& image = built_[j];
        if (image.inRead &&
            (end == kUnknownRow || (image.bottom != kUnknownRow && end >= image.bottom))) {
            endChainRead(image, ended);
            image.inRead = false;
        }
        releaseIfIdle(image.index);
    }
    return ended;
}

void KVIMosaicFilter::endChainRead(BuiltImage& image, KVStatus& ended) {
    if (!image.open) return;
    image.open = false;
    const KVStatus status = image.wrapper->readEnd();
    if (ended == KV_OK) ended = status;
}

} // namespace Korvel
