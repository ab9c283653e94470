#pragma once
// What the wavelet decoder carries about the colour transform of an image: the code of the
// transform to run on the decoded coefficients (the one that undoes the stored code), whether
// one is needed, and a pointer per band for the planes it runs on.

#include <cstdint>
#include <memory>

namespace Korvel {

class QG3ImageInfo;

class BandBufferSet {
public:
    // From the image's stored code when every band is selected, else no transform (code 1).
    // Null when out of memory.
    static std::unique_ptr<BandBufferSet> create(const QG3ImageInfo& info);

    // The code to give applyColorTransform: the inverse of the stored code when a transform is
    // needed, 1 otherwise, 254 until set.
    std::uint32_t code() const { return code_; }
    bool isNeeded() const { return needed_; }
    std::uint16_t bandCount() const { return bandCount_; }
    // One pointer per band, when a transform is needed; null otherwise.
    std::int32_t** bandPlanes() { return planes_.get(); }

private:
    std::uint32_t code_ = 254;
    std::unique_ptr<std::int32_t*[]> planes_;
    std::uint16_t bandCount_ = 0;
    bool needed_ = false;
};

} // namespace Korvel
