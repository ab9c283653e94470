#include "qg3/container/QG3FileSimpleImageSource.h"

#include "qg3/container/QG3FileSimpleContainer.h"
#include "qg3/container/QG3Status.h"
#include "support/KVStatusGuard.h"

namespace Korvel {

QG3FileSimpleImageSource::QG3FileSimpleImageSource(QG3FileSimpleContainer* container,
                                                   std::uint32_t imageNumber)
    : QG3ImageSource(container, imageNumber), fileContainer_(container) {}

QG3FileSimpleImageSource::~QG3FileSimpleImageSource() = default;

KVStatus QG3FileSimpleImageSource::open() {
    if (fileContainer_ == nullptr) return KV_QG3_NO_OBJECT;
    KV_RETURN_IF_FAILED(fileContainer_->openStream());
    const KVStatus status = QG3ImageSource::open();
    const KVStatus closed = fileContainer_->closeStream();
    return status != KV_OK ? status : closed;
}

} // namespace Korvel
