#pragma once
// Relaxed access to single fields of the shared plain records (ViewerState, VidoraConfig, timer
// state): "a late view is harmless" stays a design statement instead of a data race. A string, a
// record copy or a read-test-write across fields needs the record's lock (config, pan, timer).
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
