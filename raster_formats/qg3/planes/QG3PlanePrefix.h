#pragma once
// The prefix in front of every item of plane data: flag X (the item carries data), flag Y (the
// plane is raw), then an unsigned number, five bits in the first byte and seven in each further
// byte, least significant group first, each byte saying in its top bit whether another follows.
// With X the number is the data length, without X a count (at least 1) of items that carry no
// data. The narrow form takes at most four bytes, the fourth giving all eight bits (27 value
// bits); the wide form at most eight, each with its continuation bit (54 value bits).

#include "qg3/container/QG3Status.h"
#include "support/KVStatusGuard.h"

#include <cstdint>

namespace Korvel {

struct QG3PlanePrefix {
    bool hasData = false;    // X
    bool raw = false;        // Y
    std::uint64_t value = 0; // data length with X, else the count of absent items
};

inline constexpr unsigned QG3_NARROW_PREFIX_BYTES = 4;
inline constexpr unsigned QG3_WIDE_PREFIX_BYTES = 8;

// Decodes one prefix from next(byte, isFirst), which gives the following byte or a failure
// status. KV_QG3_PREFIX_TOO_LONG when a wide prefix's eighth byte asks for a ninth;
// KV_QG3_READ_FAILED for an absent run of 0.
template <typename NextByte>
KVStatus decodePlanePrefix(bool wide, QG3PlanePrefix& prefix, NextByte&& next) {
    std::uint8_t b = 0;
    KV_RETURN_IF_FAILED(next(b, true));
    prefix.hasData = (b & 0x80) != 0;
    prefix.raw = (b & 0x40) != 0;
    std::uint64_t value = b & 0x1F;
    bool more = (b & 0x20) != 0;
    unsigned shift = 5;
    for (unsigned i = 1; more; ++i) {
        KV_RETURN_IF_FAILED(next(b, false));
        if (!wide && i + 1 == QG3_NARROW_PREFIX_BYTES) {
            value |= std::uint64_t(b) << shift;
            break;
        }
        value |= std::uint64_t(b & 0x7F) << shift;
        shift += 7;
        more = (b & 0x80) != 0;
        if (wide && more && i + 1 == QG3_WIDE_PREFIX_BYTES) return KV_QG3_PREFIX_TOO_LONG;
    }
    if (!prefix.hasData && value == 0) return KV_QG3_READ_FAILED;
    prefix.value = value;
    return KV_OK;
}

} // namespace Korvel
