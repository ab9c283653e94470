#pragma once
// The reader of one generation-3 image of a container.

#include "QG3SingleImageReaderBase.h"

namespace Korvel {

class QG3SingleImageReader : public QG3SingleImageReaderBase {
public:
    // Null when out of memory.
    static QG3SingleImageReader* create();

    // Describes the image from its header, extras and metadata packets. The container is not
    // owned and must outlive the reader; the world file, when given, places the image.
    KVStatus initialize(QG3FileSimpleContainer* container, std::uint32_t imageNumber,
                        KVIOStreamInf* worldFile, std::uint32_t memoryUsage,
                        std::uint32_t streamUsage);

protected:
    QG3SingleImageReader() = default;
    ~QG3SingleImageReader() override;
};

} // namespace Korvel
