#pragma once
// The reader of one generation-4 raster image of a container: it may read a subset of the
// image's bands, and float images report their range through band 0's scale and offset.

#include "QG3SingleImageReaderBase.h"

namespace Korvel {

class QG4SingleImageReader : public QG3SingleImageReaderBase {
public:
    // Null when out of memory.
    static QG4SingleImageReader* create();

    // As the generation-3 reader, with a band list (null or a count of 0: every band). The
    // listed bands are read in the image's band order: KV_BAD_ARGUMENT for a band the image does
    // not have, KV_QRN_BAND_LISTED_TWICE for a band listed twice.
    KVStatus initialize(QG3FileSimpleContainer* container, std::uint32_t imageNumber,
                        const std::uint16_t* bands, std::uint32_t bandCount,
                        KVIOStreamInf* worldFile, std::uint32_t memoryUsage,
                        std::uint32_t streamUsage);

protected:
    QG4SingleImageReader() = default;
    ~QG4SingleImageReader() override;
};

} // namespace Korvel
