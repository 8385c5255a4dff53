#pragma once
// Marks the hand-over of picture and sound memory between our threads for ThreadSanitizer.
// GStreamer passes buffers through queues locked with GLib's futex-based mutexes, which the
// sanitizer cannot see; without these marks every generator write and every transfer-sink read
// of the same pooled memory would look like a race. Compiles to nothing in other builds.
#if defined(__SANITIZE_THREAD__)
#define VIDORA_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VIDORA_TSAN 1
#endif
#endif

#ifdef VIDORA_TSAN
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#endif

namespace vidora::media {

// The calling thread takes over the memory at `p` (after whoever released it last).
inline void handoffAcquire([[maybe_unused]] const void* p) {
#ifdef VIDORA_TSAN
    __tsan_acquire(const_cast<void*>(p));
#endif
}
// The calling thread is done with the memory at `p`.
inline void handoffRelease([[maybe_unused]] const void* p) {
#ifdef VIDORA_TSAN
    __tsan_release(const_cast<void*>(p));
#endif
}

}  // namespace vidora::media
