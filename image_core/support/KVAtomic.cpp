#include "support/KVAtomic.h"

namespace Korvel {

std::uint32_t atomicIncrement(std::uint32_t* counter) {
    return std::atomic_ref<std::uint32_t>(*counter).fetch_add(1, std::memory_order_acq_rel) + 1;
}

std::uint32_t atomicDecrement(std::uint32_t* counter) {
    return std::atomic_ref<std::uint32_t>(*counter).fetch_sub(1, std::memory_order_acq_rel) - 1;
}

} // namespace Korvel
