// The programs' command line and their folders, run as a user runs them: a fresh home folder,
// a start folder of their own, and only what they print, the files they leave and the boxes
// they show to go by.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <cstring>
#include <set>
#include <sstream>

#include "platform/media/graph_elements.h"
#include "tests/programs/child_process.h"
#include "ui/bitmap24.h"

namespace vidora {
namespace {

namespace fs = std::filesystem;

const fs::path kBuiltSkin = fs::path(VIDORA_BINARY_DIR) / "share" / "vidora" / "UI";

class CommandLine : public ::testing::Test {
  protected:
    CommandLine() {
        char pattern[] = "/tmp/vidora-cli-XXXXXX";
        root_ = ::mkdtemp(pattern);
        for (const char* folder : {"start", "home", "scratch"})
            fs::create_directory(root_ / folder);
    }
    ~CommandLine() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    fs::path start() const { return root_ / "start"; }
    fs::path home() const { return root_ / "home"; }

    // A user with an empty home folder and no XDG settings, started in start().
    test::ChildResult run(const char* program, std::vector<std::string> args,
                          std::map<std::string, std::optional<std::string>> extra = {}) {
        test::ChildRun child;
        child.args = std::move(args);
        child.folder = start();
        child.environment = {{"HOME", home().string()},
                             {"XDG_DATA_HOME", std::nullopt},
                             {"XDG_CONFIG_HOME", std::nullopt},
                             {"QT_LOGGING_RULES", std::nullopt}};
        for (auto& [name, value] : extra)
            child.environment[name] = value;
        return test::runChild(program, child, root_ / "scratch");
    }

    fs::path root_;
};

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The line of --diagnose's element table that lists `factory`.
std::string elementLine(const std::string& output, const std::string& factory) {
    for (const std::string& line : linesOf(output)) {
        if (line.rfind("  " + factory + " ", 0) == 0)
            return line;
    }
    return {};
}

TEST_F(CommandLine, HelpAndVersionPrintAndTouchNoFile) {
    for (const char* program : {VIDORA_DEMO_PATH, VIDORA_PATH}) {
        const std::string name = fs::path(program).filename().string();
        SCOPED_TRACE(name);
        const std::string before = test::listing(root_ / "start") + test::listing(home());

        const test::ChildResult version = run(program, {"--version"});
        EXPECT_EQ(version.status, 0);
        EXPECT_EQ(version.out, name + " " + VIDORA_VERSION + "\n");
        EXPECT_EQ(version.err, "");

        const test::ChildResult help = run(program, {"--help"});
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.out.rfind("Usage: " + name + " [options]\n", 0), 0u) << help.out;
        for (const char* option : {"--help", "--version", "--workdir <dir>", "--screenshot <file>",
                                   "--quit-after <seconds>", "--diagnose", "--verbose"})
            EXPECT_NE(help.out.find(option), std::string::npos) << option;
        EXPECT_EQ(run(program, {"-h"}).out, help.out);

        EXPECT_EQ(test::listing(root_ / "start") + test::listing(home()), before);
    }
    EXPECT_EQ(test::listing(root_ / "start"), "");
    EXPECT_EQ(test::listing(home()), "");
}

TEST_F(CommandLine, WrongUseEndsWithTheUsageAndExitCodeTwo) {
    const struct {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        {{"--frobnicate"}, "vidora-demo: Unknown option 'frobnicate'."},
        {{"--workdir"}, "vidora-demo: Missing value after '--workdir'."},
        {{"stray"}, "vidora-demo: Unexpected argument 'stray'."},
        {{"--quit-after", "soon"},
         "vidora-demo: --quit-after needs a number of seconds, not 'soon'."},
        {{"--quit-after", "-1"}, "vidora-demo: --quit-after needs a number of seconds, not '-1'."},
        {{"--screenshot", "shot.png"}, "vidora-demo: --screenshot needs --quit-after"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.front());
        const test::ChildResult r = run(VIDORA_DEMO_PATH, c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind(c.says, 0), 0u) << r.err;
        EXPECT_NE(r.err.find("\n\nUsage: vidora-demo [options]\n"), std::string::npos) << r.err;
    }
    EXPECT_EQ(test::listing(root_ / "start"), "");
    EXPECT_EQ(test::listing(home()), "");
}

TEST_F(CommandLine, AMissingOrDamagedSkinIsAnErrorBoxNamingItsFolder) {
    // An empty UI/ in the start folder: that folder is the working folder, and its skin is bad.
    fs::create_directory(start() / "UI");
    test::ChildResult r = run(DIALOG_PROBE_PATH, {});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "box|Vidora|Vidora cannot start: its skin is missing or damaged.\n\nFolder: " +
                         (start() / "UI").string() +
                         "\nThere is no skin file ui.ini.|error\n"
                         "exit 1\n");
    EXPECT_EQ(test::listing(start()), "UI\n") << "no settings file is written";

    // A copy of the skin without one of its pictures.
    fs::copy(kBuiltSkin, start() / "UI", fs::copy_options::recursive);
    fs::remove(start() / "UI" / "tool.bmp");
    r = run(DIALOG_PROBE_PATH, {});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("\nThe picture tool.bmp of [ToolGroup] is missing or not a 24-bit BMP.|"
                         "error\nexit 1\n"),
              std::string::npos)
        << r.out;
    EXPECT_FALSE(fs::exists(start() / "vidora.cfg"));
}

TEST_F(CommandLine, WithoutSkinInTheStartFolderAFreshUserGetsAHomeAndFolders) {
    // No xdg-user-dir answer other than the home folder, no user-dirs.dirs: ~/Videos, ~/Pictures.
    const test::ChildResult r =
        run(VIDORA_DEMO_PATH, {"--screenshot", "shot.png", "--quit-after", "6"},
            {{"PATH", "/usr/bin:/bin"}});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::listing(start()).substr(0, 9), "shot.png ") << "only the screenshot lands here";

    const fs::path vidoraHome = home() / ".local" / "share" / "vidora";
    ASSERT_TRUE(fs::is_symlink(vidoraHome / "UI"));
    EXPECT_TRUE(fs::equivalent(vidoraHome / "UI", kBuiltSkin)) << "the skin beside the programs";
    ASSERT_EQ(fs::file_size(vidoraHome / "vidora.cfg"), 936u);
    const std::string settings = test::readWhole(vidoraHome / "vidora.cfg");
    EXPECT_STREQ(settings.c_str() + 104 + 56, (home() / "Videos" / "Vidora").c_str());
    EXPECT_STREQ(settings.c_str() + 104 + 344, (home() / "Pictures" / "Vidora").c_str());
    EXPECT_TRUE(fs::is_directory(home() / "Videos" / "Vidora"));
    EXPECT_TRUE(fs::is_directory(home() / "Pictures" / "Vidora"));

    // The picture shows the skin: the caption band of the frame and the control panel's
    // channel group are drawn as the skin's pictures have them.
    const QImage shot((start() / "shot.png").c_str());
    ASSERT_EQ(shot.width(), 1030);
    ASSERT_EQ(shot.height(), 725);
    const auto frame = Bitmap24::loadBmp((kBuiltSkin / "frame.bmp").string());
    const auto channels = Bitmap24::loadBmp((kBuiltSkin / "channel.bmp").string());
    ASSERT_TRUE(frame && channels);
    auto sameAs = [&](const Bitmap24& picture, int left, int top, int width, int height, int dx,
                      int dy, std::set<QRgb>* colours) {
        int same = 0;
        for (int y = top; y < top + height; ++y) {
            for (int x = left; x < left + width; ++x) {
                const QColor c = shot.pixelColor(x + dx, y + dy);
                const Rgb p = picture.pixel(x, y);
                same += c.red() == p.r && c.green() == p.g && c.blue() == p.b;
                colours->insert(shot.pixel(x + dx, y + dy));
            }
        }
        return same * 100 / (width * height);
    };
    std::set<QRgb> captionColours, panelColours;
    EXPECT_GE(sameAs(*frame, 12, 4, 1006, 41, 0, 0, &captionColours), 98) << "caption";
    EXPECT_GT(captionColours.size(), 8u) << "the caption has its logo and name";
    // The control panel sits right of the video, below the caption, 11 pixels from the edge.
    EXPECT_GE(sameAs(*channels, 0, 0, 160, 20, 1030 - 11 - 160, 49, &panelColours), 95)
        << "control panel";
    EXPECT_GT(panelColours.size(), 3u) << "the channel group's title is drawn";
}

TEST_F(CommandLine, DiagnoseNamesTheMissingReceiverAndNoMissingElementOfTheDemo) {
    for (const char* program : {VIDORA_DEMO_PATH, VIDORA_PATH}) {
        SCOPED_TRACE(program);
        const test::ChildResult r = run(program, {"--diagnose"});
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find("  PROBLEM: the receiver is missing: no video capture device is "
                             "named \"Halcap Capture\"."),
                  std::string::npos)
            << r.out;
        for (const media::GraphElement& element : media::graphElements()) {
            if (!element.demo)
                continue;
            const std::string line = elementLine(r.out, element.factory);
            EXPECT_NE(line.find(" ok "), std::string::npos) << element.factory << ": " << line;
        }
        EXPECT_NE(r.out.find("\nSound output:\n  "), std::string::npos);
        EXPECT_NE(r.out.find("  working folder  " + (home() / ".local/share/vidora").string() +
                             " (a home of its own, created at the first start)"),
                  std::string::npos)
            << r.out;
        EXPECT_FALSE(fs::exists(home() / ".local/share/vidora")) << "nothing is created";
        EXPECT_EQ(test::listing(start()), "");
    }
}

TEST_F(CommandLine, DiagnoseShowsTheReceiverKeptInTheWorkingFoldersPreferences) {
    const auto keep = [](const fs::path& folder, const std::string& node) {
        fs::create_directories(folder);
        std::ofstream(folder / "vidora.ini") << "[device]\npath=" << node << "\n";
    };
    const auto shows = [](const std::string& out, const std::string& node) {
        return out.find("\nReceiver:\n  chosen in More settings or with --device: " + node +
                        "\n") != std::string::npos &&
               out.find(" and the chosen " + node + " is not listed.") != std::string::npos;
    };
    // A working folder given on the command line; one in the start folder is not it.
    keep(root_ / "work", "/dev/video77");
    keep(start(), "/dev/video66");
    test::ChildResult r = run(VIDORA_PATH, {"--diagnose", "--workdir", (root_ / "work").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(shows(r.out, "/dev/video77")) << r.out;
    EXPECT_NE(r.out.find("\nVideo capture devices (as the viewer finds them):\n  "),
              std::string::npos);
    // The home (the start folder has no skin, so it is not the working folder).
    keep(home() / ".local/share/vidora", "/dev/video78");
    r = run(VIDORA_PATH, {"--diagnose"});
    EXPECT_TRUE(shows(r.out, "/dev/video78")) << r.out;
    EXPECT_EQ(r.out.find("video66"), std::string::npos) << r.out;
    // --device outranks what is kept, and --diagnose keeps nothing.
    r = run(VIDORA_PATH, {"--diagnose", "--device", "/dev/video79"});
    EXPECT_TRUE(shows(r.out, "/dev/video79")) << r.out;
    EXPECT_EQ(r.out.find("video78"), std::string::npos) << r.out;
    std::ifstream kept(home() / ".local/share/vidora/vidora.ini");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}),
              "[device]\npath=/dev/video78\n");
}

TEST_F(CommandLine, DiagnoseNamesTheDebianPackageOfEveryMissingElement) {
    // GStreamer without any plugin: an empty plugin folder and a registry of its own.
    fs::create_directory(root_ / "no-plugins");
    const std::string empty = (root_ / "no-plugins").string();
    const test::ChildResult r = run(VIDORA_PATH, {"--diagnose"},
                                    {{"GST_PLUGIN_SYSTEM_PATH_1_0", empty},
                                     {"GST_PLUGIN_PATH_1_0", empty},
                                     {"GST_REGISTRY_1_0", (root_ / "registry.bin").string()}});
    EXPECT_EQ(r.status, 1);
    for (const media::GraphElement& element : media::graphElements()) {
        const std::string line = elementLine(r.out, element.factory);
        EXPECT_NE(line.find(" MISSING "), std::string::npos) << line;
        EXPECT_NE(line.find(std::string("(install ") + element.debianPackage + ")"),
                  std::string::npos)
            << line;
        // vidora reports what its own graph lacks; what only the demo uses is listed, no more.
        const std::string problem = std::string("  - the GStreamer element ") + element.factory +
                                    " is missing: sudo apt-get install " + element.debianPackage;
        EXPECT_EQ(r.out.find(problem) != std::string::npos, element.receiver) << element.factory;
    }
    EXPECT_NE(elementLine(r.out, "v4l2src").find("gstreamer1.0-plugins-good"), std::string::npos);
    EXPECT_NE(elementLine(r.out, "alsasrc").find("gstreamer1.0-alsa"), std::string::npos);
}

}  // namespace
}  // namespace vidora
