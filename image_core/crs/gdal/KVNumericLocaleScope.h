#pragma once
// Holds the process's numeric locale at "C" for a scope, so that GDAL formats and parses numbers
// with a decimal point, and restores the locale that was in force before on every exit. The
// locale is process-wide: the scope is only ever opened under the GDAL lock.

#include "support/KVStatus.h"

#include <string>

namespace Korvel {

class KVNumericLocaleScope {
public:
    KVNumericLocaleScope();
    ~KVNumericLocaleScope();
    KVNumericLocaleScope(const KVNumericLocaleScope&) = delete;
    KVNumericLocaleScope& operator=(const KVNumericLocaleScope&) = delete;

    // KV_OK while the locale is "C"; KV_OUT_OF_MEMORY when the saved name could not be copied,
    // KV_LOCALE_NOT_SET when "C" could not be set (nothing is changed then).
    KVStatus getStatus() const { return status_; }

private:
    KVStatus status_ = KV_OK;
    bool changed_ = false;
    std::string saved_;
};

} // namespace Korvel
