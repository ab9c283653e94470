#include "qg3/planes/QG3PlaneReaderFactory.h"

#include "qg3/container/QG3ImageInfo.h"
#include "qg3/container/QG3PlanesetPacket.h"
#include "qg3/container/QG3Status.h"
#include "qg3/planes/QG3DataFirstPlaneReader.h"
#include "qg3/planes/QG3InterleavedPlaneReader.h"
#include "qg3/planes/QG3PlaneDescIter.h"
#include "qg3/planes/QG3RasterBlockPlaneReader.h"
#include "support/KVStatusGuard.h"

#include <limits>

namespace Korvel {

std::unique_ptr<QG3FilePlaneReader> createPlaneReader(const QG3ImageInfo& info,
                                                      const QG3PlanesetPacket& planeset,
                                                      KVIOStreamInf* stream,
                                                      const QG3PlaneReaderOptions& options) {
    if (stream == nullptr) return nullptr;
    std::unique_ptr<QG3FilePlaneReader> reader;
    kvGuard([&] {
        switch (planeset.planesetLayout) {
        case QG3_LAYOUT_INTERLEAVED:
            reader = std::make_unique<QG3InterleavedPlaneReader>(info, planeset, stream, options);
            break;
        case QG3_LAYOUT_DATA_FIRST:
            reader = std::make_unique<QG3DataFirstPlaneReader>(info, planeset, stream, options);
            break;
        case QG3_LAYOUT_RASTER_BLOCKS:
            reader = std::make_unique<QG3RasterBlockPlaneReader>(info, planeset, stream, options);
            break;
        }
    });
    return reader;
}

QG3PlaneReaderOptions planeReaderOptions(const QG3ImageInfo& info,
                                         const QG3PlanesetPacket& planeset, bool keepOpen,
                                         bool useCursors, bool ownsStream) {
    QG3PlaneReaderOptions options;
    options.hasWord = info.hasItemWord;
    options.valueWidth = info.hasItemValue ? info.itemValueWidth : 0;
    options.widePrefix = planeset.getFlag2() == 1;
    options.keepOpen = keepOpen;
    options.useCursors = useCursors;
    options.ownsStream = ownsStream;
    return options;
}

KVStatus checkPlaneset(const QG3ImageInfo& info, const QG3PlanesetPacket& planeset) {
    if (!info.subbands || info.estimateFactor > QG3_MAX_PLANES) return KV_QG3_BAD_FORMAT;
    if (planeset.planesetKind != QG3_PLANESET_PIPE) return KV_OK;
    // The pipe order's inverse holds for subblocks of 3 and more, and for the smaller sizes only
    // with few levels.
    if ((info.subblockSize == 1 && info.numLevels >= 2) ||
        (info.subblockSize == 2 && info.numLevels >= 3))
        return KV_QG3_BAD_FORMAT;
    if (info.totalSubblocks > std::numeric_limits<std::uint32_t>::max()) return KV_QG3_BAD_FORMAT;
    return KV_OK;
}

} // namespace Korvel
