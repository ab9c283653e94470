#include "qg3/container/QG3SelectedPixel.h"

#include "model/KVIColorSpace.h"
#include "qg3/container/QG3BandSet.h"

#include <vector>

namespace Korvel {

std::uint32_t selectedColorSpace(const QG3BandSet& set, std::uint32_t fullColorSpace) {
    if (set.getSetCount() == set.getBitCount()) return fullColorSpace;
    return set.getSetCount() == 1 ? KVI_COLORSPACE_GREY : KVI_COLORSPACE_MULTIBAND;
}

bool reducePixel(const KVIPixel& pixel, const QG3BandSet& set, std::uint32_t colorSpace,
                 KVIPixel& out) {
    std::vector<KVISample> samples;
    for (std::uint16_t band = 0; band < set.getBitCount(); ++band) {
        if (!set.isSet(band)) continue;
        if (band >= pixel.getNumBands()) return false;
        samples.push_back(pixel.getSample(band));
    }
    out = KVIPixel(colorSpace, static_cast<std::uint16_t>(samples.size()), pixel.getDataType(),
                   samples.data());
    return true;
}

} // namespace Korvel
