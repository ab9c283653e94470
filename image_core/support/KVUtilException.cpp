#include "support/KVUtilException.h"

namespace Korvel {

// Out of line so that the exception's type information lives in this library alone.
KVUtilException::~KVUtilException() = default;

} // namespace Korvel
