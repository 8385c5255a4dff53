#include "platform/media/device_watch.h"

#include <gtest/gtest.h>

#include <vector>

namespace vidora::media {
namespace {

TEST(DeviceWatch, LossAndReturnReachOnlyTheGraphsOnThatDevice) {
    DeviceWatch watch;
    std::vector<GraphEvent> a, b;
    int arrivals = 0;
    const int ta = watch.attach("/dev/video0", [&](const GraphEvent& e) { a.push_back(e); });
    watch.attach("/dev/video1", [&](const GraphEvent& e) { b.push_back(e); });
    watch.setArrivalNotify([&] { ++arrivals; });

    watch.deviceRemoved("/dev/video0");
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].code, kEventDeviceLost);
    EXPECT_TRUE(a[0].removed);
    EXPECT_TRUE(a[0].isCaptureDevice);
    EXPECT_TRUE(b.empty());
    EXPECT_EQ(arrivals, 0);

    watch.deviceAdded("/dev/video0");
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(a[1].code, kEventDeviceLost);
    EXPECT_FALSE(a[1].removed) << "re-added";
    EXPECT_EQ(arrivals, 1);

    watch.deviceAdded("/dev/video9");
    EXPECT_EQ(arrivals, 2) << "any new device is worth a look";

    watch.detach(ta);
    watch.deviceRemoved("/dev/video0");
    EXPECT_EQ(a.size(), 2u);
}

}  // namespace
}  // namespace vidora::media
