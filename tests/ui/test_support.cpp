#include "test_support.h"

#include <unistd.h>
#include <atomic>
#include <fstream>

// Fontconfig keeps caches for the life of the process; they are not ours to free.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n";
}

namespace vidora::test {

TempFolder::TempFolder() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("vidora-ui-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void TempFolder::write(const std::string& name, const std::string& text) const {
    std::ofstream out(path_ / name, std::ios::binary);
    out << text;
}

void TempFolder::write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    std::ofstream out(path_ / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

WindowTest::WindowTest() {
    setWindowHost(&host);
}

WindowTest::~WindowTest() {
    destroyAllWindows();
    setWindowHost(nullptr);
}

ParentWindow* WindowTest::makeParent(int width, int height) {
    auto* parent = static_cast<ParentWindow*>(
        adoptWindow(std::make_unique<ParentWindow>(CONTROL_PANEL_ID, width, height)));
    EXPECT_TRUE(parent->create(WS_CHILD | WS_VISIBLE, 0, "panel"));
    return parent;
}

Rgb tracePixel(int x, int y) {
    return {static_cast<uint8_t>(x & 0xFF), static_cast<uint8_t>(y & 0xFF),
            static_cast<uint8_t>(0x80 | ((x >> 8) << 4) | (y >> 8))};
}

Bitmap24 tracedPicture(int width, int height) {
    Bitmap24 picture(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            picture.setPixel(x, y, tracePixel(x, y));
    return picture;
}

}  // namespace vidora::test

namespace vidora::test {

QApplication& testApplication() {
    // Offscreen whatever display the machine has (the test registration's environment list
    // does not reliably reach the test process).
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "ui_tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: Qt's own statics go first at exit, and a QApplication outliving them
    // crashes on the way out.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

}  // namespace vidora::test
