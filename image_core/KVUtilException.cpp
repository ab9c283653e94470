#include "KVUtilException.h"

namespace Korvel {

// Anchors the exception's type information in this library.
static_assert(sizeof(KVUtilException) > sizeof(KVStatus));

} // namespace Korvel
