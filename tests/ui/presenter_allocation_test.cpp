// Handing live pictures to the presenter allocates nothing once it runs, whatever part of the
// picture the zoom shows. Every operator new of this program is counted while the check is armed.
#include <gtest/gtest.h>

#include <vector>

#include "tests/support/allocation_counter.h"
#include "ui/live_presenter.h"

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

    test::CountedAllocations allocations;
    for (int i = 0; i < 60; ++i) {
        const int zoom = 1 + i % 4;
        picture.source = {(i * 7) % 90, (i * 3) % 40, 720 / zoom, 288 / zoom};
        presenter.presentLivePicture(picture);
    }
    allocations.stop();
    EXPECT_EQ(allocations.count(), 0);
    EXPECT_EQ(presenter.picturesReceived(), 61u);

    // The check itself works: a picture larger than any receiver's does allocate.
    std::vector<uint8_t> large(1440 * 1152 * 2, 0x80);
    picture.data = large.data();
    picture.width = 1440;
    picture.rows = 1152;
    picture.pitch = 1440 * 2;
    picture.source = {0, 0, 1440, 1152};
    test::CountedAllocations largeAllocations;
    presenter.presentLivePicture(picture);
    largeAllocations.stop();
    EXPECT_GT(largeAllocations.count(), 0);
}

}  // namespace
}  // namespace vidora
