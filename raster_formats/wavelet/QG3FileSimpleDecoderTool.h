#pragma once
// The decoder tool of an image in a file: the decode hooks that read plane data run with the
// container's stream and the client's own stream open, and close them again afterwards (unless
// the container keeps its stream open).

#include "QG3DecoderTool.h"

namespace Korvel {

class QG3FileSimplePlaneSource;

class QG3FileSimpleDecoderTool : public QG3DecoderTool {
public:
    // Null when out of memory; released, never deleted.
    static QG3FileSimpleDecoderTool* create();

    // Describes the image and takes a client of the plane source's store: KV_QG3_SEEK_FAILED
    // when the file stream cannot be duplicated for it (or memory runs out).
    KVStatus initialize(QG3FileSimplePlaneSource& planeSource);

    KVStatus decodeBegin(const KVIScene& scene) override;
    KVStatus decodeStrip(KVISceneBuffer& buffer, const KVIScene& stripScene) override;

protected:
    QG3FileSimpleDecoderTool() = default;
    ~QG3FileSimpleDecoderTool() override;

private:
    // Runs op between opening and closing the streams; op's failure wins over theirs.
    template <class Op> KVStatus withStreams(Op&& op);
};

} // namespace Korvel
