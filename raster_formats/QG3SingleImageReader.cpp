#include "QG3SingleImageReader.h"

#include <new>

namespace Korvel {

QG3SingleImageReader* QG3SingleImageReader::create() {
    return new (std::nothrow) QG3SingleImageReader();
}

QG3SingleImageReader::~QG3SingleImageReader() = default;

KVStatus QG3SingleImageReader::initialize(QG3FileSimpleContainer* container,
                                          std::uint32_t imageNumber, KVIOStreamInf* worldFile,
                                          std::uint32_t memoryUsage, std::uint32_t streamUsage) {
    return initializeImage(container, imageNumber, nullptr, 0, false, worldFile, memoryUsage,
                           streamUsage);
}

} // namespace Korvel
