#pragma once
// Where the decoder of one generation-3/4 image finds its coded planes: the image's planeset
// packet, a copy of the image information that names the planeset's order and layout, and the
// plane store built over them by the file-backed form, which also makes the store's clients.

#include "support/KVStatus.h"

#include <memory>

namespace Korvel {

class QG3ImageInfo;
class QG3ImageSource;
class QG3PlaneStore;
class QG3PlaneStoreClient;
class QG3PlanesetPacket;

class QG3PlaneSource {
public:
    // The image source is not owned, must be open and must outlive the plane source.
    explicit QG3PlaneSource(QG3ImageSource& imageSource);
    QG3PlaneSource(const QG3PlaneSource&) = delete;
    QG3PlaneSource& operator=(const QG3PlaneSource&) = delete;
    virtual ~QG3PlaneSource();

    // Finds the image's planeset packet (KV_QG3_NO_OBJECT when there is none) and copies the image
    // information with the planeset's order and layout (KV_QG3_OUT_OF_MEMORY when out of memory).
    // The packet is read through the container, whose stream the caller opens.
    virtual KVStatus initialize();
    // A client of the plane store over a reader of its own; null in the base.
    virtual std::unique_ptr<QG3PlaneStoreClient> createPlaneStoreClient();

    QG3ImageSource& getImageSource() const { return imageSource_; }
    // Null before initialize.
    const QG3ImageInfo* getImageInfo() const { return info_.get(); }
    QG3PlaneStore* getPlaneStore() const { return store_.get(); }

protected:
    QG3ImageSource& imageSource_;
    std::unique_ptr<QG3ImageInfo> info_;
    QG3PlanesetPacket* planeset_ = nullptr; // owned by the packet database
    // Made by the file-backed form over info_ (and so destroyed before it).
    std::unique_ptr<QG3PlaneStore> store_;
};

} // namespace Korvel
