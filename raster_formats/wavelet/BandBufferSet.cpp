#include "BandBufferSet.h"

#include "ReversibleColorTransform.h"
#include "qg3/container/QG3ImageInfo.h"

#include <new>

namespace Korvel {

std::unique_ptr<BandBufferSet> BandBufferSet::create(const QG3ImageInfo& info) {
    std::unique_ptr<BandBufferSet> set(new (std::nothrow) BandBufferSet);
    if (!set) return nullptr;
    const QG3BandSet& bands = info.bandSet;
    set->bandCount_ = bands.getBitCount();
    // A transform mixes the bands, so it can be undone only when all of them are decoded.
    const bool allBands = bands.getSetCount() == bands.getBitCount();
    set->code_ = allBands ? info.colorTransform : ColorTransformCode::None;
    set->needed_ = set->code_ != ColorTransformCode::None;
    if (set->needed_) {
        set->planes_.reset(new (std::nothrow) std::int32_t*[set->bandCount_]());
        if (!set->planes_) return nullptr;
        set->code_ = inverseColorTransformCode(set->code_);
    }
    return set;
}

} // namespace Korvel
