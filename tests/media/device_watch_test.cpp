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

TEST(DeviceWatch, AGraphMayDetachWhileItIsBeingTold) {
    DeviceWatch watch;
    int told = 0;
    int second = 0;
    int first = 0;
    first = watch.attach("/dev/video0", [&](const GraphEvent&) {
        ++told;
        watch.detach(first);  // the engine tore the graph down at once
        watch.detach(second);
    });
    second = watch.attach("/dev/video0", [&](const GraphEvent&) { ++told; });
    watch.deviceRemoved("/dev/video0");
    EXPECT_EQ(told, 1);
    watch.deviceRemoved("/dev/video0");
    EXPECT_EQ(told, 1);
}

}  // namespace
}  // namespace vidora::media
