#pragma once
// Holds where the coded items of an image's subblocks are, over the image's information.

#include <cstdint>

namespace Korvel {

class QG3ImageInfo;

class QG3PlaneStore {
public:
    // info is not owned and must outlive the store.
    explicit QG3PlaneStore(const QG3ImageInfo& info) : info_(&info) {}
    QG3PlaneStore(const QG3PlaneStore&) = delete;
    QG3PlaneStore& operator=(const QG3PlaneStore&) = delete;
    virtual ~QG3PlaneStore() = default;

    const QG3ImageInfo& getImageInfo() const { return *info_; }

protected:
    const QG3ImageInfo* info_;
};

} // namespace Korvel
