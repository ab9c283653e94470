#pragma once
// Presents the several images of a stage manager as one image. The images are laid into one
// georeferenced canvas at the finest resolution per axis; their ground boxes are kept in an
// R-tree, and each strip of a read lists the images it touches and merges them into the strip
// in ascending image order, so that where images overlap the higher index lies on top.
//
// Each image is read through a chain built the first time the image is needed: a
// multi-resolution filter when its resolution or magnification range differs from the
// mosaic's, and always an embedded image that places it on the canvas. In a read, each image's
// pixels are those of one read of its chain from the first strip that lists it to its last row.
// That read is kept open from strip to strip only while the reads kept open span at most twice
// the strip's width, and is passed over where an image above hides the whole strip; elsewhere it
// is taken up again at the strip at hand, in the state the one read has there. Chains without an
// open read are released after each strip (when so set) and made again on the next use, so a
// mosaic holds stages only for the images of the strips at hand.
// When the manager offers an overview stage, reads at or below its scale go to it instead.
//
// Its description (size, pixel, background and no-data pixels, geo coordinate, magnification
// range, metadata) is stored by initialize; a geo coordinate set later changes what the mosaic
// reports, not where its images lie. Its data size (KVIImage::getDataSize: width x height
// x the colour bytes of its pixel) is the size of the mosaic of all images.

#include "filters/KVIRTree.h"
#include "stages/KVIImageReader.h"
#include "support/KVIRef.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

namespace Korvel {

class KVIEmbeddedImage;
class KVIImageStageManager;
class PixelHolder;

class KVIMosaicFilter : public KVIImageReaderStack {
public:
    // A new mosaic with one reference, or null when out of memory.
    static KVIMosaicFilter* create();

    // Whether the chains of images a read no longer touches are released (true by default).
    void setReleaseUnusedImages(bool release);
    // The merge mode of every image's embedded image (KVI_MERGE_VISIBLE by default).
    void setMergeMode(std::uint32_t mergeMode);
    std::uint32_t getMergeMode() const { return mergeMode_; }
    // For tests: each image's read kept open from its first strip to its last and read even
    // where an image above hides it, as a mosaic that had no bound on what it holds would read
    // (the pixels are the same; off by default).
    void setReadImagesWhole(bool whole) { readImagesWhole_ = whole; }

    // Lays out the manager's images (the manager is retained). background null takes image 0's,
    // or the default the image model makes. Images of other resolutions are resampled to the
    // finest when allowDifferentResolutions is set; else an image whose size changes by half a
    // pixel or more at the mosaic's resolution is refused. Statuses: KV_NOT_AVAILABLE (no image,
    // or a null stage), the manager's, KV_MOSAIC_X_RESOLUTION / KV_MOSAIC_Y_RESOLUTION
    // (resolution signs differ from image 0's, sizes refused, or a canvas that is not finite or
    // does not fit 32 bits), the pixel comparison's (KVIPixel::checkCompatible), those of the
    // overview stage, KV_OUT_OF_MEMORY. Stages are asked once each and released; no chain is
    // built here (but the overview's).
    KVStatus initialize(KVIImageStageManager* manager, const KVIPixel* background,
                        bool allowDifferentResolutions);

    // The canvas size times the magnification, rounded up, at any magnification.
    KVStatus getDimsAtMag(double magnification, std::uint32_t& width,
                          std::uint32_t& height) const override;
    KVIMaskSource* getMaskSource() const override { return nullptr; }
    // The smaller of the scene's own cost (its pixels x bytes per pixel, in kilobytes) and the sum
    // of the costs of the images it touches; 0 when it touches none.
    std::int64_t getSceneCost(const KVIScene& scene) override;
    // The mosaic does not clip: false for every scene.
    bool clipScene(const KVIScene& scene, KVIScene& clipped) override;
    // KVI_MOD_MOSAICKED when the scene touches two or more images, with the flags of every image
    // it touches; 0 when it touches none.
    std::uint32_t getModifications(const KVIScene& scene) override;

    KVStatus decodeBegin(const KVIScene& scene) override;
    KVStatus decodeStrip(KVISceneBuffer& buffer, const KVIScene& stripScene) override;
    KVStatus decodeEnd() override;

    // Inspection: the number of images, and of images whose stage is built now.
    std::uint32_t getNumImages() const { return static_cast<std::uint32_t>(builtSlot_.size()); }
    std::uint32_t getNumBuiltImages() const;
    const KVIRTree& getIndex() const { return *index_; }

protected:
    KVIMosaicFilter();
    ~KVIMosaicFilter() override;

private:
    class ListImageStagesInSceneCallback;
    struct ImageDescription;
    struct Layout;
    // How a stage is placed on the canvas: beneath the embedded image a multi-resolution filter
    // (when scaled) of that default scale; the embedded image's fill holder (null for one of its
    // own), background and no-data pixels.
    struct ChainOptions {
        bool scaled = false;
        double defaultScale = 1.0;
        PixelHolder* fillHolder = nullptr;
        const KVIPixel* background = nullptr;
        const KVIPixel* noData = nullptr;
    };

    // Describes the n images one by one, combines them and places the canvas.
    KVStatus layOut(std::uint32_t n, const KVIPixel* background, bool allowDifferentResolutions);
    static ImageDescription describeImage(KVIImageStage& stage);
    // Image 0 gives the mosaic its metadata and the shape of its pixels and dynamic range.
    KVStatus takeFirstImage(const KVIImageStage& stage, const ImageDescription& image,
                            const KVIPixel* background, Layout& layout);
    // Adds image i of n: its flags, name, size, pixel and range, resolutions and ground box.
    void combineImage(std::uint32_t i, std::uint32_t n, const ImageDescription& image,
                      bool allowDifferentResolutions, Layout& layout);
    // The mosaic's metadata, pixels, background and dynamic range from the combined images.
    KVStatus storeDescription(const Layout& layout, const KVIPixel* background);
    // The canvas's placement, size and magnification range.
    KVStatus placeCanvas(const Layout& layout, bool allowDifferentResolutions);
    // The chain that places a stage on the canvas, at the stage's own origin.
    KVStatus buildChain(KVIImageStage& stage, const ChainOptions& options,
                        KVIRef<KVIEmbeddedImage>& chain);
    KVStatus setUpOverview();
    // Lists (ascending) the images whose boxes overlap the scene's box with positive area.
    KVStatus listImages(const KVIScene& scene);
    // The images of a strip: those listed, which take part in the read from then on, and those
    // whose read is under way.
    KVStatus listStripImages(const KVIScene& stripScene);
    // hidden: the place in the list of the highest image that writes the whole strip straight
    // (the images below it do not show), 0 when none does.
    KVStatus findHiddenImages(const KVISceneBuffer& buffer, const KVIScene& stripScene,
                              std::size_t& hidden);
    // Where image i's read ends, from its chain (built when missing), when not known yet.
    KVStatus findReadRows(std::uint32_t i, double magnification);
    // Reads image i's part of a strip, beginning (or taking up again) its chain's read and ending
    // it after its last strip, or after this one when the reads left open would span more than
    // the budget; openColumns counts their columns, ended keeps the first failure of an end.
    KVStatus readImageStrip(std::uint32_t i, KVISceneBuffer& buffer, const KVIScene& stripScene,
                            std::uint64_t& openColumns, KVStatus& ended);
    // The chain of image i, built when missing.
    KVStatus getWrapper(std::uint32_t i, KVIEmbeddedImage*& wrapper);
    // An image whose chain's read is not open gives its chain up (when so set), and is forgotten
    // when it takes no part in the read either.
    void releaseIfIdle(std::uint32_t i);
    // The images whose read is over before row `end` (every image, at the end of a read, with
    // kUnknownRow) leave it, their chain's read ended; an image whose chain's read is not open
    // gives its chain up (when so set). The first failure of an end is returned.
    KVStatus leaveReads(std::int64_t end);
    void releaseImage(std::uint32_t i);
    // Every chain, stage and the overview.
    void releaseAll();

    static constexpr std::int64_t kUnknownRow = std::numeric_limits<std::int64_t>::max();
    // An image the mosaic holds something of: its stage and chain, or its part in the read at
    // hand. That part is one read of its chain, as if begun in the first strip that lists the
    // image (top) and ending after its last row in the read (bottom, known once its chain has
    // been asked). The chain's read is open from strip to strip while the budget allows, and is
    // otherwise taken up again at each strip where the image shows: the same pixels either way.
    struct BuiltImage {
        std::uint32_t index = 0;
        bool inRead = false;
        bool open = false;
        // Listed in the strip at hand (while its images are listed).
        bool listed = false;
        std::int64_t top = 0;
        std::int64_t bottom = kUnknownRow;
        // The columns of its read.
        std::uint64_t readColumns = 0;
        KVIRef<KVIImageStage> stage;
        KVIRef<KVIEmbeddedImage> wrapper;
    };
    // Ends the chain's read of the image when it is open; ended keeps the first failure.
    static void endChainRead(BuiltImage& image, KVStatus& ended);
    static constexpr std::uint32_t kNotBuilt = 0xFFFFFFFF;
    // Image i's entry, or null.
    BuiltImage* findBuilt(std::uint32_t i) {
        return builtSlot_[i] == kNotBuilt ? nullptr : &built_[builtSlot_[i]];
    }
    // Image i's entry, made when missing.
    BuiltImage& entryOf(std::uint32_t i);

    KVIRef<KVIImageStageManager> manager_;
    std::unique_ptr<KVIRTree> index_;
    // The images the mosaic holds something of, so that a strip visits only those, and each
    // image's place in that list (kNotBuilt when it has none): all that is kept per image besides
    // its place in the index, since a file may hold hundreds of thousands of images.
    std::vector<BuiltImage> built_;
    std::vector<std::uint32_t> builtSlot_;
    std::uint32_t mergeMode_ = 0;
    // The method of every multi-resolution filter the mosaic makes: nearest.
    std::uint32_t resampleMethod_;
    bool releaseUnused_ = true;
    bool readImagesWhole_ = false;
    std::unique_ptr<PixelHolder> fillHolder_;
    std::vector<std::uint32_t> imageList_;
    KVIRef<KVIEmbeddedImage> overview_;
    double overviewMagnification_ = 0.0;
    // The canvas's placement as laid out: images are placed and listed on it, whatever geo
    // coordinate the mosaic is given later (a world file).
    KVIGeoCoord grid_;
    KVIScene readScene_;
    bool overviewServesRead_ = false;
};

} // namespace Korvel
