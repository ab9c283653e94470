#pragma once
// Hands out the image stages of a file that holds several images. A subclass overrides one of
// the two forms of getImageStage (bring the other in with a using-declaration); the base answers
// each through the other, and with neither overridden there is no stage.

#include "support/KVIReferenceCountedObject.h"
#include "support/KVStatus.h"

#include <cstdint>

namespace Korvel {

class KVIImageStage;

class KVIImageStageManager : public KVIReferenceCountedObject {
public:
    KVIImageStageManager() = default;

    // A new reference to stage index, or null.
    virtual KVIImageStage* getImageStage(std::uint32_t index);
    // The same with a status: KV_FAILURE and null when there is no such stage.
    virtual KVStatus getImageStage(std::uint32_t index, KVIImageStage*& stage);
    // An optional extra stage that shows the whole file at a low magnification; null and KV_OK
    // when there is none.
    virtual KVStatus getOverviewImageStage(KVIImageStage*& stage);
    virtual void setNumImages(std::uint32_t numImages);

    std::uint32_t getNumImages() const { return numImages_; }

protected:
    ~KVIImageStageManager() override;

private:
    std::uint32_t numImages_ = 0;
    // Set while one base form asks the other, so that the pair cannot recurse.
    bool resolving_ = false;
};

} // namespace Korvel
