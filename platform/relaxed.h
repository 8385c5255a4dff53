#pragma once
// Relaxed access to fields of the shared plain records (ViewerState, VidoraConfig, timer state).
// Each such field has one writer or is a flag whose late view is harmless; going through
// std::atomic_ref keeps that a design statement instead of a data race.
#include <atomic>
#include <type_traits>

namespace vidora {

template <class T>
inline T loadRelaxed(const T& field) {
    static_assert(std::is_trivially_copyable_v<T>);
    return std::atomic_ref<T>(const_cast<T&>(field)).load(std::memory_order_relaxed);
}

template <class T, class V>
inline void storeRelaxed(T& field, V value) {
    std::atomic_ref<T>(field).store(static_cast<T>(value), std::memory_order_relaxed);
}

template <class T, class V>
inline T addRelaxed(T& field, V delta) {
    return std::atomic_ref<T>(field).fetch_add(static_cast<T>(delta), std::memory_order_relaxed);
}

}  // namespace vidora
