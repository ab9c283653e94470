#include "qg3/planes/QG3PlaneDescIter.h"

#include "qg3/container/QG3ImageInfo.h"
#include "qg3/planes/PipeSubblockIter.h"
#include "qg3/planes/SBCPSubblockIter.h"

#include <new>

namespace Korvel {

std::unique_ptr<QG3PlaneDescIter>
QG3PlaneDescIter::create(const QG3ImageInfo& info, std::uint32_t kind, std::uint32_t planes) {
    std::unique_ptr<QG3SubblockIter> subblocks;
    if (kind == QG3_PLANESET_PIPE)
        subblocks.reset(new (std::nothrow) PipeSubblockIter());
    else if (kind == QG3_PLANESET_SUBBAND)
        subblocks.reset(new (std::nothrow) SBCPSubblockIter<0>());
    if (!subblocks || !subblocks->init(info)) return nullptr;
    const std::uint32_t bands = info.bandSet.getBitCount();
    std::uint64_t total = 0;
    if (__builtin_mul_overflow(info.totalSubblocks, std::uint64_t(bands) * planes, &total))
        return nullptr;
    std::unique_ptr<QG3PlaneDescIter> iter(
        new (std::nothrow) QG3PlaneDescIter(std::move(subblocks), bands, planes, total));
    if (iter) iter->reset();
    return iter;
}

void QG3PlaneDescIter::reset() {
    subblocks_->reset();
    band_ = 0;
    plane_ = 0;
    // Without bands or planes there is nothing to describe.
    if (total_ == 0) subblocks_->advance(~std::uint64_t(0));
}

void QG3PlaneDescIter::skip(std::uint64_t count) {
    if (atEnd()) return;
    const std::uint64_t planes = plane_ + count; // count < 2^64 - 32 in every use
    plane_ = static_cast<std::uint32_t>(planes % planes_);
    const std::uint64_t bands = band_ + planes / planes_;
    band_ = static_cast<std::uint32_t>(bands % bands_);
    if (const std::uint64_t subblocks = bands / bands_; subblocks > 0)
        subblocks_->advance(subblocks);
}

QG3SubblockKey QG3PlaneDescIter::key() const {
    if (atEnd()) return QG3SubblockKey{};
    return QG3SubblockKey{subblocks_->subblock(), static_cast<std::uint16_t>(band_),
                          subblocks_->subband(), static_cast<std::uint8_t>(plane_)};
}

} // namespace Korvel
