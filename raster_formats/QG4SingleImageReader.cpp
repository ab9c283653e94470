#include "QG4SingleImageReader.h"

#include <new>

namespace Korvel {

QG4SingleImageReader* QG4SingleImageReader::create() {
    return new (std::nothrow) QG4SingleImageReader();
}

QG4SingleImageReader::~QG4SingleImageReader() = default;

KVStatus QG4SingleImageReader::initialize(QG3FileSimpleContainer* container,
                                          std::uint32_t imageNumber, const std::uint16_t* bands,
                                          std::uint32_t bandCount, KVIOStreamInf* worldFile,
                                          std::uint32_t memoryUsage, std::uint32_t streamUsage) {
    return initializeImage(container, imageNumber, bands, bandCount, true, worldFile, memoryUsage,
                           streamUsage);
}

} // namespace Korvel
