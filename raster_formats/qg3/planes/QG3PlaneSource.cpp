#include "qg3/planes/QG3PlaneSource.h"

#include "qg3/container/QG3Container.h"
#include "qg3/container/QG3ImageInfo.h"
#include "qg3/container/QG3ImageSource.h"
#include "qg3/container/QG3PacketType.h"
#include "qg3/container/QG3PlanesetPacket.h"
#include "qg3/container/QG3Status.h"
#include "qg3/planes/QG3PlaneStore.h"
#include "qg3/planes/QG3PlaneStoreClient.h"
#include "support/KVStatusGuard.h"

namespace Korvel {

QG3PlaneSource::QG3PlaneSource(QG3ImageSource& imageSource) : imageSource_(imageSource) {}

QG3PlaneSource::~QG3PlaneSource() = default;

KVStatus QG3PlaneSource::initialize() {
    const QG3ImageInfo* imageInfo = imageSource_.getImageInfo();
    QG3Container* container = imageSource_.getContainer();
    if (imageInfo == nullptr || container == nullptr) return KV_QG3_NO_OBJECT;
    QG3Packet* packet = nullptr;
    KV_RETURN_IF_FAILED(container->findPacket(
        QG3PacketType(QG3_PACKET_PLANESET, QG3_ANY, QG3_ANY, imageSource_.getImageNumber(), 0, 0),
        packet));
    planeset_ = dynamic_cast<QG3PlanesetPacket*>(packet);
    if (planeset_ == nullptr) return KV_QG3_NO_OBJECT;
    // The copy throws a KVUtilException of KV_OUT_OF_MEMORY when out of memory; the plane code
    // reports KV_QG3_OUT_OF_MEMORY.
    const KVStatus copied =
        kvGuard([&] { info_ = std::make_unique<QG3ImageInfo>(*imageInfo); }, KV_QG3_OUT_OF_MEMORY);
    if (copied != KV_OK) return copied == KV_OUT_OF_MEMORY ? KV_QG3_OUT_OF_MEMORY : copied;
    info_->planesetKind = planeset_->planesetKind;
    info_->planesetLayout = planeset_->planesetLayout;
    return KV_OK;
}

std::unique_ptr<QG3PlaneStoreClient> QG3PlaneSource::createPlaneStoreClient() {
    return nullptr;
}

} // namespace Korvel
