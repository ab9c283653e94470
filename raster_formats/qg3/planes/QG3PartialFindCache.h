#pragma once
// Where the last forward walk of the partial position table ended, per plane reader: a walk to a
// subblock further right in the same row resumes from here instead of from the row's start.

#include "qg3/planes/QG3SubblockKey.h"

#include <cstdint>

namespace Korvel {

struct QG3PartialFindCache {
    bool valid = false;
    QG3SubblockKey key;
    std::uint16_t row = 0;
    std::uint16_t column = 0;
    QG3SubblockPosition position;
};

} // namespace Korvel
