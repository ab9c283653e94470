#include "PipelineStageImp.h"

#include <algorithm>
#include <cstring>

namespace Korvel {

template <class T>
SubbandSource::PipelineStageImp<T>::PipelineStageImp(std::uint64_t windowSize, SubbandSource* low,
                                                     SubbandSource* high, std::uint32_t padding,
                                                     TransformUtils::PredictKernel predict,
                                                     TransformUtils::UpdateKernel update)
    : SubbandSource(low->getDatatype(), low->getTransform(), low->getChannelName(),
                    low->getLevel() + 1, false, windowSize, low->getLength() + high->getLength()),
      predict_(predict), update_(update), padding_(padding), low_(low), high_(high),
      window_(static_cast<std::int64_t>(windowSize)) {
    // A window never needs more band samples than the low band has; the 4P around them hold the
    // overlap and the extension at the edges.
    const auto bandLength =
        static_cast<std::int64_t>(std::min<std::uint64_t>(low->getLength(), windowSize));
    capacity_ = bandLength + 4 * padding_;
}

template <class T> SubbandSource::PipelineStageImp<T>::~PipelineStageImp() {
    XFREE(lowBuf_);
    XFREE(highBuf_);
    delete low_;
    delete high_;
}

template <class T> void SubbandSource::PipelineStageImp<T>::release() {
    XFREE(lowBuf_);
    XFREE(highBuf_);
    lowBuf_ = highBuf_ = nullptr;
    low_->release();
    high_->release();
}

template <class T>
void SubbandSource::PipelineStageImp<T>::fetch(std::int64_t n, std::int64_t offset,
                                               std::int64_t lowIndex, std::int64_t highIndex) {
    // Room is kept for the P samples of the right edge. Only a band shorter than the request
    // meets this limit, and it then ends within the window anyway.
    n = std::clamp<std::int64_t>(n, 0, capacity_ - padding_ - offset);
    const auto count = static_cast<std::uint64_t>(n);
    const std::uint64_t lowCount = low_->read(lowBuf_ + offset, count);
    const std::uint64_t highCount = high_->read(highBuf_ + offset, count);
    lowEnd_ = offset + static_cast<std::int64_t>(lowCount);
    highEnd_ = offset + static_cast<std::int64_t>(highCount);
    lowIndex_ = lowIndex;
    highIndex_ = highIndex;
    atEnd_ = lowCount != count || highCount != count;
}

namespace {

template <class T> void fill(T* window, std::int64_t from, std::int64_t count, T value) {
    std::fill(window + from, window + from + count, value);
}

} // namespace

template <class T> void SubbandSource::PipelineStageImp<T>::prime(std::int64_t p, std::int64_t m) {
    const std::int64_t P = padding_;
    fetch(window_ + 3 * P - m, m, 2 * P + (p & 1), 2 * P);

    // Left edge of the high band; a band without samples contributes zeros.
    fill(highBuf_, 0, m, highEnd_ > m ? highBuf_[m] : T(0));
    std::int64_t updateCount = window_ + P;
    if (atEnd_) {
        if (highEnd_ > 0) fill(highBuf_, highEnd_, P, highBuf_[highEnd_ - 1]);
        updateCount = lowEnd_ - P;
    }
    if (updateCount > 0) update_(lowBuf_ + P, updateCount, highBuf_ + P);

    // Left edge of the low band, with its updated first sample.
    if (lowEnd_ > m) fill(lowBuf_, 0, m, lowBuf_[m]);
    std::int64_t predictCount = window_ - P;
    if (atEnd_) {
        if (lowEnd_ > 0) fill(lowBuf_, lowEnd_, P, lowBuf_[lowEnd_ - 1]);
        predictCount = highEnd_ - 2 * P;
    }
    if (predictCount > 0) predict_(lowBuf_ + 2 * P, 0, highBuf_ + 2 * P, predictCount);
    position_ = p;
    firstFinal_ = p;
}

template <class T> void SubbandSource::PipelineStageImp<T>::slide() {
    const std::int64_t P = padding_;
    const auto overlap = static_cast<std::size_t>(3 * P) * sizeof(T);
    std::memmove(lowBuf_, lowBuf_ + window_, overlap);
    std::memmove(highBuf_, highBuf_ + window_, overlap);
    fetch(window_, 3 * P, 0, 0);

    std::int64_t updateCount = window_;
    if (atEnd_) {
        if (highEnd_ > 0) fill(highBuf_, highEnd_, P, highBuf_[highEnd_ - 1]);
        updateCount = lowEnd_ - 2 * P;
    }
    if (updateCount > 0) update_(lowBuf_ + 2 * P, updateCount, highBuf_ + 2 * P);
    std::int64_t predictCount = window_;
    if (atEnd_) {
        if (lowEnd_ > 0) fill(lowBuf_, lowEnd_, P, lowBuf_[lowEnd_ - 1]);
        predictCount = highEnd_ - P;
    }
    if (predictCount > 0) predict_(lowBuf_ + P, 0, highBuf_ + P, predictCount);
}

template <class T> std::int64_t SubbandSource::PipelineStageImp<T>::available() const {
    const std::int64_t lows = std::max<std::int64_t>(lowEnd_ - lowIndex_, 0);
    const std::int64_t highs = std::max<std::int64_t>(highEnd_ - highIndex_, 0);
    if (!atEnd_) {
        // The last 3P positions of each band wait for the next window.
        return std::max<std::int64_t>(lows + highs - 6 * padding_, 0);
    }
    // At the end every sample is final; the interleaving stops where the next band runs out.
    if (lowIndex_ > highIndex_) return highs > lows ? 2 * lows + 1 : 2 * highs;
    return lows > highs ? 2 * highs + 1 : 2 * lows;
}

template <class T> void SubbandSource::PipelineStageImp<T>::start(std::int64_t position) {
    if (lowBuf_ == nullptr) {
        const auto bytes = static_cast<std::size_t>(capacity_) * sizeof(T);
        lowBuf_ = static_cast<T*>(XALLOC(bytes));
        std::memset(lowBuf_, 0, bytes);
        highBuf_ = static_cast<T*>(XALLOC(bytes));
        std::memset(highBuf_, 0, bytes);
    }
    const std::int64_t p = std::max<std::int64_t>(position, 0);
    std::int64_t b = p / 2 - 2 * padding_;
    std::int64_t m = 0;
    if (b < 0) {
        m = -b;
        b = 0;
    }
    low_->start(b);
    high_->start(b);
    prime(p, m);
}

template <class T> void SubbandSource::PipelineStageImp<T>::seek(std::int64_t position) {
    if (lowBuf_ == nullptr) return start(position);
    const std::int64_t p = std::max<std::int64_t>(position, 0);
    // Within the finished part of the windows only the indices move.
    if (p >= firstFinal_ && p < position_ + available()) {
        const std::int64_t d = p - (position_ - lowIndex_ - highIndex_);
        lowIndex_ = (d + 1) >> 1;
        highIndex_ = d >> 1;
        position_ = p;
        return;
    }
    std::int64_t b = p / 2 - 2 * padding_;
    std::int64_t m = 0;
    if (b < 0) {
        m = -b;
        b = 0;
    }
    low_->seek(b);
    high_->seek(b);
    prime(p, m);
}

template <class T>
std::uint64_t SubbandSource::PipelineStageImp<T>::read(void* samples, std::uint64_t n) {
    if (lowBuf_ == nullptr) return 0;
    T* out = static_cast<T*>(samples);
    std::uint64_t written = 0;
    for (;;) {
        std::int64_t m = static_cast<std::int64_t>(
            std::min<std::uint64_t>(static_cast<std::uint64_t>(available()), n));
        n -= static_cast<std::uint64_t>(m);
        written += static_cast<std::uint64_t>(m);
        std::int64_t li = lowIndex_;
        std::int64_t hi = highIndex_;
        // After an odd start or an odd count the high band is next.
        if (m > 0 && li > hi) {
            *out++ = highBuf_[hi++];
            --m;
        }
        for (; m >= 2; m -= 2) {
            out[0] = lowBuf_[li++];
            out[1] = highBuf_[hi++];
            out += 2;
        }
        if (m > 0) *out++ = lowBuf_[li++];
        lowIndex_ = li;
        highIndex_ = hi;
        // The next window is read only when this one is used up, even when that happened at
        // the end of the previous call.
        if (n == 0 || atEnd_) break;
        firstFinal_ = position_ + static_cast<std::int64_t>(written);
        slide();
    }
    position_ += static_cast<std::int64_t>(written);
    return written;
}

template class SubbandSource::PipelineStageImp<std::int16_t>;
template class SubbandSource::PipelineStageImp<std::int32_t>;
template class SubbandSource::PipelineStageImp<std::int64_t>;
template class SubbandSource::PipelineStageImp<float>;
template class SubbandSource::PipelineStageImp<double>;

} // namespace Korvel
