#pragma once
// Atomic operations on plain counters and pointer slots: reference counts and lazily made values
// that several threads may race to install.

#include <atomic>
#include <cstdint>

namespace Korvel {

// Both return the counter's new value.
std::uint32_t atomicIncrement(std::uint32_t* counter);
std::uint32_t atomicDecrement(std::uint32_t* counter);

// Stores desired in *slot if it holds expected; true when it stored.
template <typename T> bool atomicCompareExchange(T** slot, T* expected, T* desired) {
    return std::atomic_ref<T*>(*slot).compare_exchange_strong(expected, desired,
                                                              std::memory_order_acq_rel);
}

// Reads a slot that atomicCompareExchange may be writing.
template <typename T> T* atomicLoad(T* const* slot) {
    return std::atomic_ref<T*>(*const_cast<T**>(slot)).load(std::memory_order_acquire);
}

} // namespace Korvel
