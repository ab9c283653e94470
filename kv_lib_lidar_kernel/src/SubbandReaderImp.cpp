#include "SubbandReaderImp.h"

#include "BufferedIOReader.h"
#include "SubblockReader.h"

#include <algorithm>
#include <cstring>

namespace Korvel {

template <class T>
SubbandSource::SubbandReaderImp<T>::SubbandReaderImp(SubblockReader& subblocks, std::uint64_t level,
                                                     bool isHighBand,
                                                     BufferedIOReader* headerReader,
                                                     BufferedIOReader* dataReader,
                                                     std::uint64_t length)
    : SubbandSource(subblocks.getDatatype(), subblocks.getTransform(), subblocks.getChannelName(),
                    level, isHighBand, subblocks.getSubblockSize(), length),
      subblocks_(subblocks), headerReader_(headerReader), headerStart_(headerReader->tell()),
      dataReader_(dataReader), dataStart_(dataReader->tell()) {}

template <class T> SubbandSource::SubbandReaderImp<T>::~SubbandReaderImp() {
    release();
}

template <class T> std::uint64_t SubbandSource::SubbandReaderImp<T>::locate(std::uint64_t p) {
    const std::uint64_t size = blockLength_;
    if (p >= length_) {
        count_ = remaining_ = index_ = 0;
        return length_ / size;
    }
    const std::uint64_t k = p / size;
    const std::uint64_t left = length_ - k * size;
    count_ = std::min(left, size);
    remaining_ = left - count_;
    index_ = p - k * size;
    return k;
}

template <class T> void SubbandSource::SubbandReaderImp<T>::rewind() {
    headerReader_->seek(headerStart_, BufferedIOReader::FromStart);
    dataReader_->seek(dataStart_, BufferedIOReader::FromStart);
}

template <class T> void SubbandSource::SubbandReaderImp<T>::start(std::int64_t position) {
    if (dataReader_ == nullptr) return; // released
    // One subblock of samples, or the whole subband when it is shorter.
    const std::uint64_t capacity = std::max<std::uint64_t>(std::min(blockLength_, length_), 1);
    if (buffer_ == nullptr) buffer_ = static_cast<T*>(XALLOC(capacity * sizeof(T)));
    const std::uint64_t k = locate(static_cast<std::uint64_t>(std::max<std::int64_t>(position, 0)));
    rewind();
    pendingEmpty_ = 0;
    if (count_ > 0)
        pendingEmpty_ = subblocks_.skipSubblocks(*headerReader_, *dataReader_, k, buffer_, count_);
}

template <class T> void SubbandSource::SubbandReaderImp<T>::seek(std::int64_t position) {
    if (buffer_ == nullptr) return start(position);
    const auto p = static_cast<std::uint64_t>(std::max<std::int64_t>(position, 0));
    const std::uint64_t first = length_ - remaining_ - count_;
    if (p >= first && p < first + count_) {
        index_ = p - first;
        return;
    }
    const std::uint64_t current = first / blockLength_;
    const std::uint64_t k = locate(p);
    // Past the end nothing is loaded; the byte readers stay where they are, and any later seek
    // back rewinds them (its subblock cannot lie after this one).
    if (count_ == 0) return;
    std::uint64_t skip = k;
    if (k > current) {
        skip = k - current - 1;
        if (skip < pendingEmpty_) {
            // The target lies in the run of empty subblocks that follows the current one.
            std::memset(buffer_, 0, static_cast<std::size_t>(count_ * sizeof(T)));
            pendingEmpty_ -= skip + 1;
            return;
        }
        skip -= pendingEmpty_;
    } else {
        rewind();
    }
    pendingEmpty_ = subblocks_.skipSubblocks(*headerReader_, *dataReader_, skip, buffer_, count_);
}

template <class T>
std::uint64_t SubbandSource::SubbandReaderImp<T>::read(void* samples, std::uint64_t n) {
    T* out = static_cast<T*>(samples);
    std::uint64_t copied = 0;
    while (n > 0 && buffer_ != nullptr) {
        if (remaining_ + count_ - index_ == 0) break;
        if (index_ == count_) {
            index_ = 0;
            count_ = std::min(remaining_, blockLength_);
            remaining_ -= count_;
            pendingEmpty_ = subblocks_.loadSubblock(*headerReader_, *dataReader_, buffer_, count_,
                                                    pendingEmpty_);
        }
        const std::uint64_t m = std::min(n, count_ - index_);
        std::memcpy(out + copied, buffer_ + index_, static_cast<std::size_t>(m * sizeof(T)));
        index_ += m;
        copied += m;
        n -= m;
    }
    return copied;
}

template <class T> void SubbandSource::SubbandReaderImp<T>::release() {
    XFREE(buffer_);
    buffer_ = nullptr;
    if (headerReader_ != dataReader_) delete headerReader_;
    delete dataReader_;
    headerReader_ = dataReader_ = nullptr;
}

template class SubbandSource::SubbandReaderImp<std::int16_t>;
template class SubbandSource::SubbandReaderImp<std::int32_t>;
template class SubbandSource::SubbandReaderImp<std::int64_t>;
template class SubbandSource::SubbandReaderImp<float>;
template class SubbandSource::SubbandReaderImp<double>;

} // namespace Korvel
