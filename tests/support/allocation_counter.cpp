#include "tests/support/allocation_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

// The replacement pair below is malloc/free on both sides; GCC cannot see that through inlining.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
std::atomic<bool> gCounting{false};
std::atomic<long> gAllocations{0};
}  // namespace

void* operator new(std::size_t size) {
    if (gCounting.load(std::memory_order_relaxed))
        gAllocations.fetch_add(1);
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace vidora::test {

CountedAllocations::CountedAllocations() {
    gAllocations = 0;
    gCounting = true;
}

CountedAllocations::~CountedAllocations() {
    stop();
}

long CountedAllocations::count() const {
    return gAllocations.load();
}

void CountedAllocations::stop() {
    gCounting = false;
}

}  // namespace vidora::test
