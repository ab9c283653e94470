#pragma once
// One stage of the inverse wavelet over a sliding window. The stage reads a window of W band
// samples (plus 3P of overlap, P the padding of the transform) from each of its two sources,
// undoes the update step on the low band and the predict step on the high band in place, and
// hands out the samples that no later window can change, interleaved: output 2i is low-band
// sample i, output 2i + 1 high-band sample i. Both ends of the signal use constant extension:
// the first sample of each band is repeated to the left, the last one P times to the right.
//
// Window position j holds band sample floor(p / 2) - 2P + j after a start or seek at output
// position p; after each slide by W, position 0 holds what position W held.

#include "SubbandSource.h"
#include "TransformUtils.h"

#include <cstdint>

namespace Korvel {

template <class T> class SubbandSource::PipelineStageImp : public SubbandSource {
public:
    // See createPipeStage. Takes the sources, which must be of T, and the kernels chosen for the
    // transform; windowSize must be larger than twice the padding.
    PipelineStageImp(std::uint64_t windowSize, SubbandSource* low, SubbandSource* high,
                     std::uint32_t padding, TransformUtils::PredictKernel predict,
                     TransformUtils::UpdateKernel update);
    ~PipelineStageImp() override;

    void start(std::int64_t position) override;
    void seek(std::int64_t position) override;
    std::uint64_t read(void* samples, std::uint64_t n) override;
    void release() override;

private:
    // Reads n samples of each band into the windows at offset and sets the window state.
    void fetch(std::int64_t n, std::int64_t offset, std::int64_t lowIndex, std::int64_t highIndex);
    // Fills the windows for output position p; m window positions lie before band sample 0.
    void prime(std::int64_t p, std::int64_t m);
    // Moves the last 3P window positions to the front and undoes the lifting on a new window.
    void slide();
    // Samples that can be handed out from the windows as they are.
    std::int64_t available() const;

    TransformUtils::PredictKernel predict_;
    TransformUtils::UpdateKernel update_;
    std::int64_t padding_;
    SubbandSource* low_;
    SubbandSource* high_;
    std::int64_t window_;   // W
    std::int64_t capacity_; // samples of each window buffer
    T* lowBuf_ = nullptr;
    T* highBuf_ = nullptr;
    std::int64_t lowEnd_ = 0;
    std::int64_t highEnd_ = 0;
    std::int64_t lowIndex_ = 0;
    std::int64_t highIndex_ = 0;
    bool atEnd_ = true;
    std::int64_t position_ = 0;
    // The output position of the first sample in the windows that the lifting has finished.
    std::int64_t firstFinal_ = 0;
};

} // namespace Korvel
