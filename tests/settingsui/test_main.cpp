// Entry of the settings dialog test programs. Like the shared test entry (fixed time zone, the
// offscreen platform), but the widgets also need one QApplication for the whole run. Defining
// main here keeps the shared entry's archive member out of the link.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
    setenv("TZ", "UTC", 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
