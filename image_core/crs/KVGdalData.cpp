#include "crs/KVGdalData.h"

#include "crs/KVCrsLibrary.h"

namespace Korvel {

KVStatus checkGdalData() {
    return callCrsLibrary([](const KVCrsEntryPoints& crs) { return crs.checkGdalData(); });
}

} // namespace Korvel
