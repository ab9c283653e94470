#include "metadata/KVIMetadataReader.h"

namespace Korvel {

KVIMetadataReader::~KVIMetadataReader() = default;

} // namespace Korvel
