#include "crs/gdal/KVNumericLocaleScope.h"

#include <clocale>
#include <new>

namespace Korvel {

KVNumericLocaleScope::KVNumericLocaleScope() {
    const char* current = std::setlocale(LC_NUMERIC, nullptr);
    if (current == nullptr) {
        status_ = KV_LOCALE_NOT_SET;
        return;
    }
    // The name lives in storage that the next setlocale may overwrite: keep a copy.
    try {
        saved_ = current;
    } catch (const std::bad_alloc&) {
        status_ = KV_OUT_OF_MEMORY;
        return;
    }
    if (std::setlocale(LC_NUMERIC, "C") == nullptr) {
        status_ = KV_LOCALE_NOT_SET;
        return;
    }
    changed_ = true;
}

KVNumericLocaleScope::~KVNumericLocaleScope() {
    if (changed_) std::setlocale(LC_NUMERIC, saved_.c_str());
}

} // namespace Korvel
