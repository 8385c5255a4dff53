// The Files button's own way to the file manager: xdg-open, found on the PATH, gets the record
// folder and is watched until it ends; when it finds no program for folders, the user is told
// where the folder is. An xdg-open of the test's own stands in for the desktop's.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QCoreApplication>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "app/message_box.h"
#include "test_support.h"
#include "tests/app/temp_dir.h"
#include "ui/ui_services.h"

namespace vidora::test {
namespace {

namespace fs = std::filesystem;

class FolderOpenerTest : public ::testing::Test {
  protected:
    FolderOpenerTest() : path_(qgetenv("PATH")) {
        testApplication();
        setUiServices({});
        setMessageBoxPresenter([this](const MessageBoxRequest& r) {
            boxes.push_back(r);
            return IDOK;
        });
        fs::create_directory("bin");
        fs::create_directory("RECORD");
    }
    ~FolderOpenerTest() override {
        qputenv("PATH", path_);
        setMessageBoxPresenter({});
    }

    // Puts an xdg-open alone on the PATH that writes its arguments to "called" and exits with
    // `status`.
    void fakeXdgOpen(int status) {
        const fs::path script = fs::absolute("bin/xdg-open");
        std::ofstream(script) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '"
                              << fs::absolute("called").string() << "'\nexit " << status << "\n";
        ::chmod(script.c_str(), 0755);
        qputenv("PATH", fs::absolute("bin").string().c_str());
    }
    std::string called() const {
        std::ifstream in("called");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Runs the event loop until `done` holds or `ms` passed; returns done().
    bool processUntil(const std::function<bool()>& done, int ms = 10000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!done() && std::chrono::steady_clock::now() < end) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return done();
    }

    ScopedTempDir folder;
    std::vector<MessageBoxRequest> boxes;

  private:
    QByteArray path_;
};

TEST_F(FolderOpenerTest, TheRecordFolderGoesToXdgOpenWhichOpensIt) {
    fakeXdgOpen(0);
    exploreFolder("./RECORD");
    ASSERT_TRUE(processUntil([&] { return !called().empty(); }));
    EXPECT_EQ(called(), (folder.path() / "RECORD").string() + "\n");
    processUntil([] { return false; }, 300);  // it has ended meanwhile: nothing to tell
    EXPECT_TRUE(boxes.empty());
}

TEST_F(FolderOpenerTest, WhenXdgOpenFindsNoProgramTheUserIsToldWhereTheFolderIs) {
    for (int status : {3, 4}) {
        boxes.clear();
        fakeXdgOpen(status);
        exploreFolder("./RECORD");
        ASSERT_TRUE(processUntil([&] { return !boxes.empty(); })) << status;
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, noFolderProgramText("./RECORD"));
        EXPECT_EQ(boxes[0].text.rfind(
                      "The record folder is " + (folder.path() / "RECORD").string() + "\n\n", 0),
                  0u)
            << boxes[0].text;
        EXPECT_EQ(boxes[0].caption, "Vidora");
        EXPECT_EQ(boxes[0].type, MB_OK | MB_ICONINFORMATION);
    }
}

TEST_F(FolderOpenerTest, WithoutXdgOpenAndNoOtherWayTheUserIsToldWhereTheFolderIs) {
    qputenv("PATH", fs::absolute("bin").string().c_str());  // nothing to start
    exploreFolder("./RECORD");
    ASSERT_TRUE(processUntil([&] { return !boxes.empty(); }, 2000));
    EXPECT_EQ(boxes[0].text, noFolderProgramText("./RECORD"));
    EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(FolderOpenerTest, AFolderThatIsNotThereIsLeftAlone) {
    fakeXdgOpen(0);
    exploreFolder("./NOWHERE");
    processUntil([] { return false; }, 300);
    EXPECT_TRUE(called().empty());
    EXPECT_TRUE(boxes.empty());
}

}  // namespace
}  // namespace vidora::test
