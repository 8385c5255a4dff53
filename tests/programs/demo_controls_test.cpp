// The demo's keys for the simulated receiver's fault switches, pressed on a real window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QShortcut>
#include <QTest>
#include <QWidget>
#include <array>
#include <memory>

#include "platform/sim/simulated_receiver.h"
#include "programs/demo_controls.h"

namespace {

using vidora::sim::SimulatedReceiver;

QApplication& application() {
    static int argc = 1;
    static char name[] = "demo_controls_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);  // outlives the tests on purpose
    return *app;
}

int32_t request(SimulatedReceiver& receiver, std::array<uint8_t, 8> block) {
    int32_t length = 8;
    return receiver.vendorRequest(block.data(), &length);
}

constexpr std::array<uint8_t, 8> kStatusRead{0xC0, 0x03, 0x00, 0x03, 0x00, 0x00, 0x01, 0x00};
constexpr std::array<uint8_t, 8> kSelectHighOne{0x40, 0x03, 0x02, 0x01, 0x01, 0x00, 0x00, 0x00};

void press(QWidget& window, Qt::Key key) {
    QTest::keyClick(&window, key, Qt::ControlModifier | Qt::ShiftModifier);
}

TEST(DemoControls, KeysWorkTheSimulatedReceiversFaultSwitches) {
    application();
    auto receiver = std::make_shared<SimulatedReceiver>();
    QWidget window;
    vidora::installSimulatedReceiverKeys(&window, receiver);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    // The next status read fails, once.
    ASSERT_EQ(request(*receiver, kStatusRead), 0);
    press(window, Qt::Key_A);
    EXPECT_NE(request(*receiver, kStatusRead), 0);
    EXPECT_EQ(request(*receiver, kStatusRead), 0);

    // The next select fails and tunes nothing; the one after goes through.
    ASSERT_EQ(receiver->channel(), 0);
    press(window, Qt::Key_C);
    EXPECT_NE(request(*receiver, kSelectHighOne), 0);
    EXPECT_EQ(receiver->channel(), 0);
    EXPECT_EQ(request(*receiver, kSelectHighOne), 0);
    EXPECT_EQ(receiver->channel(), 2);

    // Unplug and plug back in: requests fail while the receiver is out.
    press(window, Qt::Key_U);
    EXPECT_FALSE(receiver->plugged());
    EXPECT_NE(request(*receiver, kStatusRead), 0);
    press(window, Qt::Key_U);
    EXPECT_TRUE(receiver->plugged());
    EXPECT_EQ(request(*receiver, kStatusRead), 0);

    // Keys without the modifiers are the viewer's own and change nothing here.
    QTest::keyClick(&window, Qt::Key_U);
    EXPECT_TRUE(receiver->plugged());
}

TEST(DemoControls, TheViewerOnRealReceiversHasNoSuchKeys) {
    application();
    QWidget window;
    vidora::installSimulatedReceiverKeys(&window, nullptr);
    EXPECT_TRUE(window.findChildren<QShortcut*>().isEmpty());
}

}  // namespace
