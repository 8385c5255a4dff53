// Handing live pictures to the presenter allocates nothing once it runs, whatever part of the
// picture the zoom shows. Every operator new of this program is counted while the check is armed.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

#include "ui/live_presenter.h"

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

namespace vidora {
namespace {

TEST(LivePresenter, TakesPicturesWithoutAllocating) {
    LivePresenter presenter;
    std::vector<uint8_t> field(720 * 576 * 2, 0x80);
    LivePicture picture;
    picture.data = field.data();
    picture.width = 720;
    picture.rows = 288;
    picture.pitch = 720 * 4;
    picture.destination = {0, 0, 841, 627};
    picture.source = {0, 0, 720, 288};
    presenter.presentLivePicture(picture);  // warm-up

    gAllocations = 0;
    gCounting = true;
    for (int i = 0; i < 60; ++i) {
        const int zoom = 1 + i % 4;
        picture.source = {(i * 7) % 90, (i * 3) % 40, 720 / zoom, 288 / zoom};
        presenter.presentLivePicture(picture);
    }
    gCounting = false;
    EXPECT_EQ(gAllocations.load(), 0);
    EXPECT_EQ(presenter.picturesReceived(), 61u);

    // The check itself works: a picture larger than any receiver's does allocate.
    std::vector<uint8_t> large(1440 * 1152 * 2, 0x80);
    picture.data = large.data();
    picture.width = 1440;
    picture.rows = 1152;
    picture.pitch = 1440 * 2;
    picture.source = {0, 0, 1440, 1152};
    gCounting = true;
    presenter.presentLivePicture(picture);
    gCounting = false;
    EXPECT_GT(gAllocations.load(), 0);
}

}  // namespace
}  // namespace vidora
