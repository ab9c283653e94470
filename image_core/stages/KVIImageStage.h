#pragma once
// A stage of the image pipeline: an image that delivers the pixels of a scene strip by strip into
// a scene buffer. read() checks the scene, cuts it into strips of the stage's strip height and
// hands a window of the caller's buffer to the decode hooks for each strip, telling the progress
// delegate how far it got and asking the interrupt delegate whether to stop.
//
// Threads: a stage holds the state of one read at a time (and its decoders theirs). read() may
// be called on one stage from several threads at once: the stage serialises them, and each gets
// what it would get alone. Everything else that changes a stage (the step-by-step protocol of
// readBegin, readStrip and readEnd, the setters, the delegates) belongs to one thread at a time,
// and so do the stages a filter reads from: while a filter is shared, read its input only
// through it. The describing getters may be called from any thread while no setter runs.

#include "model/KVIScene.h"
#include "stages/KVIImage.h"

#include <cstdint>
#include <mutex>
#include <optional>

namespace Korvel {

class KVIMaskSource;
class KVISceneBuffer;

// Told how far a read has come, 0.0 to 1.0; a nonzero answer stops the read with that status.
class KVIProgressDelegate {
public:
    virtual ~KVIProgressDelegate() = default;
    virtual KVStatus reportProgress(float fraction) = 0;
};

// Asked between strips; a nonzero answer stops the read with that status.
class KVIInterruptDelegate {
public:
    virtual ~KVIInterruptDelegate() = default;
    virtual KVStatus checkInterrupt() = 0;
};

class KVIImageStage : public KVIImage {
public:
    virtual bool isSelective() const = 0;
    virtual KVIMaskSource* getMaskSource() const = 0;
    // Delegates are not owned.
    virtual void setProgressDelegate(KVIProgressDelegate* delegate) = 0;
    virtual KVIProgressDelegate* getProgressDelegate() const = 0;
    virtual void setInterruptDelegate(KVIInterruptDelegate* delegate) = 0;
    virtual KVIInterruptDelegate* getInterruptDelegate() const = 0;

    // The read protocol; read() runs all three. A read that began successfully must end with
    // readEnd, which also runs after a failure.
    virtual KVStatus readBegin(const KVIScene& scene);
    // Begins a read of the scene that starts at strip firstStrip (readBegin is firstStrip 0): the
    // strips from there on are those the whole read would give, in the whole read's numbering,
    // so that a read can be taken up again where one was left off. KV_BAD_ARGUMENT when the scene
    // has no such strip.
    KVStatus readBeginAt(const KVIScene& scene, std::uint32_t firstStrip);
    virtual KVStatus readStrip(KVISceneBuffer& buffer, const KVIScene& stripScene);
    virtual KVStatus readEnd();

    virtual std::uint32_t getStripHeight() const = 0;
    // A height of 0 is refused with KV_BAD_ARGUMENT.
    virtual KVStatus setStripHeight(std::uint32_t height) = 0;
    // The cost of reading a scene, in kilobytes.
    virtual std::int64_t getSceneCost(const KVIScene& scene) = 0;
    // The scene clipped to the image; false when nothing is left.
    virtual bool clipScene(const KVIScene& scene, KVIScene& clipped) = 0;

    // Each stores a copy; null clears. KV_OUT_OF_MEMORY leaves the property empty.
    virtual KVStatus setBackgroundPixel(const KVIPixel* pixel) = 0;
    virtual KVStatus setNoDataPixel(const KVIPixel* pixel) = 0;
    virtual KVStatus setGeoCoord(const KVIGeoCoord& geo) = 0;
    virtual KVStatus setDynamicRange(const KVIPixel& minPixel, const KVIPixel& maxPixel) = 0;
    virtual KVStatus setPrecision(std::uint8_t bits) = 0;
    virtual KVStatus setPixelLookupTable(const KVIPixelLookupTable* table) = 0;
    virtual KVStatus setMetadata(const KVIMetadataDatabase* metadata) = 0;

    // The modification flags (KVI_MOD_...) of the pixels a scene would give.
    virtual std::uint32_t getModifications(const KVIScene& scene) = 0;

    // The hooks that produce the pixels, called by the read protocol.
    virtual KVStatus decodeBegin(const KVIScene& scene) = 0;
    // The hook of readBeginAt from a strip after the first. By default the decode begins over the
    // scene's rows from that strip on, which gives the whole read's strips for a stage that
    // decodes every part of an image alike; a stage whose strips depend on where its read began
    // (one that resamples, or places its input) takes it up itself.
    virtual KVStatus decodeBeginAt(const KVIScene& scene, std::uint32_t firstStrip);
    virtual KVStatus decodeStrip(KVISceneBuffer& buffer, const KVIScene& stripScene) = 0;
    virtual KVStatus decodeEnd() = 0;

    // Reads a whole scene into the buffer's window.
    KVStatus read(const KVIScene& scene, KVISceneBuffer& buffer);
    // KV_SCENE_MAG_OUT_OF_RANGE, KV_SCENE_CLIPPED_AWAY (nothing of the scene is in the image),
    // KV_SCENE_OUTSIDE_IMAGE (it reaches out by half a pixel or more), else KV_OK.
    KVStatus checkScene(const KVIScene& scene) const;
    // KV_SCENE_BUFFER_MISMATCH when the scene is larger than the buffer's window, else the strict
    // comparison of the stage's pixel with the buffer's.
    KVStatus checkSceneBuffer(const KVIScene& scene, const KVISceneBuffer& buffer) const;
    // Strip i of the current read; an empty scene outside a read.
    KVIScene getStripScene(std::uint32_t index) const;
    // Sets the scene's rows and columns of the buffer's window, held within the window, to the
    // pixel. KV_UNSUPPORTED_DATA_TYPE for a band whose samples are not 1, 2, 4 or 8 bytes,
    // KV_PIXEL_BAND_COUNT_MISMATCH when the pixel has fewer bands than the buffer.
    static KVStatus fillWithPixel(const KVIScene& scene, KVISceneBuffer& buffer,
                                  const KVIPixel& pixel);
    // fillWithPixel with the background pixel; nothing without one.
    KVStatus fillWithBackground(const KVIScene& scene, KVISceneBuffer& buffer) const;

protected:
    ~KVIImageStage() override;

    // Held by read() for the whole of a read; a stage whose queries change its state (as a
    // mosaic's build its images' chains) takes it for those too.
    std::mutex& readMutex() const { return readMutex_; }

private:
    struct ReadState {
        KVIScene scene;
        std::uint32_t stripHeight = 0;
        std::uint32_t numStrips = 0;
    };

    // The interrupt delegate's answer, then the progress delegate's to fraction.
    KVStatus askDelegates(float fraction);

    std::optional<ReadState> readState_;
    mutable std::mutex readMutex_;
};

} // namespace Korvel
