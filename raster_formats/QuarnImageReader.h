#pragma once
// The raster entry of the decoding library: a filter over the one image of a Quarn raster file,
// found and opened by its stage manager. Every image query passes to that image's reader. A file
// of two or more images is read as one mosaic of them (KVIMosaicFilter over the stage manager),
// and every query passes to the mosaic.
//
// Threads: once initialised, one reader may be read (KVIImageStage::read) from several threads
// at once: the reads take turns, each getting what it would get alone, and so do the
// modification and cost queries, which build images' readers in a mosaic. The describing getters
// may be called from any thread. initialize, the setters, the step-by-step read protocol and the
// stages behind the reader (getSingleStage, getMosaic, getStageManager) belong to one thread at
// a time. A reader per thread reads without waiting for the others.

#include "QuarnImageReaderInterface.h"
#include "stages/KVIImageFilter.h"
#include "support/KVIRef.h"

#include <cstdint>

namespace Korvel {

class KVIMosaicFilter;
class KVIOStreamInf;
class QuarnImageStageManager;

class QuarnImageReader : public KVIImageFilter, public QuarnImageReaderInterface {
public:
    // Null when out of memory.
    static QuarnImageReader* create();

    // Opens the file on the stream, which stays the caller's and must outlive the reader. A
    // world-file stream, when given and readable, places the image; one that cannot be read is
    // passed over. memoryUsage 1 automatic, 2 partial, 3 or 4 full; streamUsage 2 keeps the
    // stream open for the reader's life. The statuses of the stage manager, the image's reader
    // and the mosaic are passed on; KV_OUT_OF_MEMORY when the mosaic cannot be made. A second
    // call starts over.
    KVStatus initialize(KVIOStreamInf* stream, KVIOStreamInf* worldFile, std::uint32_t memoryUsage,
                        std::uint32_t streamUsage);

    // The largest number of levels over the file's images.
    std::uint8_t getNumLevels() const override;
    // Bytes 4 to 7 of the file; unchanged before a successful initialize.
    void getVersion(std::uint8_t& b0, std::uint8_t& b1, std::uint8_t& b2,
                    std::uint8_t& b3) const override;

    // The image's own answers, or the mosaic's (a filter would add UNKNOWN); without either, 0
    // and UNKNOWN.
    std::int64_t getSceneCost(const KVIScene& scene) override;
    std::uint32_t getModifications(const KVIScene& scene) override;

    // Null before a successful initialize; a file holds a single stage or a mosaic.
    KVIImageStage* getSingleStage() const { return single_.get(); }
    KVIMosaicFilter* getMosaic() const { return mosaic_.get(); }
    QuarnImageStageManager* getStageManager() const { return manager_.get(); }

protected:
    QuarnImageReader() = default;
    ~QuarnImageReader() override;

private:
    // The mosaic of the manager's images, for a file of several.
    KVStatus openMosaic();
    void releaseAll();

    KVIRef<QuarnImageStageManager> manager_;
    KVIRef<KVIImageStage> single_;
    KVIRef<KVIMosaicFilter> mosaic_;
    std::uint8_t numLevels_ = 0;
};

} // namespace Korvel
