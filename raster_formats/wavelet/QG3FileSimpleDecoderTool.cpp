#include "QG3FileSimpleDecoderTool.h"

#include "qg3/container/QG3FileSimpleContainer.h"
#include "qg3/container/QG3Status.h"
#include "qg3/planes/QG3FilePlaneStoreClient.h"
#include "qg3/planes/QG3FileSimplePlaneSource.h"
#include "support/KVStatusGuard.h"

#include <new>

namespace Korvel {

QG3FileSimpleDecoderTool* QG3FileSimpleDecoderTool::create() {
    return new (std::nothrow) QG3FileSimpleDecoderTool();
}

QG3FileSimpleDecoderTool::~QG3FileSimpleDecoderTool() = default;

KVStatus QG3FileSimpleDecoderTool::initialize(QG3FileSimplePlaneSource& planeSource) {
    std::unique_ptr<QG3FilePlaneStoreClient> client = planeSource.createFilePlaneStoreClient();
    if (!client) return KV_QG3_SEEK_FAILED;
    return QG3DecoderTool::initialize(planeSource, std::move(client));
}

template <class Op> KVStatus QG3FileSimpleDecoderTool::withStreams(Op&& op) {
    // The file-backed forms that initialize gave the tool (none when the tool was set up
    // through the base with other forms).
    auto* source = dynamic_cast<QG3FileSimplePlaneSource*>(getPlaneSource());
    auto* client = dynamic_cast<QG3FilePlaneStoreClient*>(getClient());
    if (source == nullptr || client == nullptr) return KV_QG3_NO_OBJECT;
    QG3FileSimpleContainer& container = source->getFileContainer();
    KV_RETURN_IF_FAILED(container.openStream());
    if (const KVStatus status = client->openStream(); status != KV_OK) {
        container.closeStream();
        return status;
    }
    const KVStatus status = op();
    KVStatus closed = container.closeStream();
    if (closed == KV_OK) closed = client->closeStream();
    return status != KV_OK ? status : closed;
}

KVStatus QG3FileSimpleDecoderTool::decodeBegin(const KVIScene& scene) {
    return withStreams([&] { return QG3DecoderTool::decodeBegin(scene); });
}

KVStatus QG3FileSimpleDecoderTool::decodeStrip(KVISceneBuffer& buffer, const KVIScene& stripScene) {
    return withStreams([&] { return QG3DecoderTool::decodeStrip(buffer, stripScene); });
}

} // namespace Korvel
