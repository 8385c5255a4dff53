// Runs the installer programs in scratch folders and checks what a user and the system see: the
// console text, the exit code, the installed rules file and the udevadm calls.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "installer/driver_package.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kSuccessOutput = "Installing the MR220 usb driver...Installation completed.";
constexpr const char* kUdevadmCalls =
    "control --reload-rules\n"
    "trigger --subsystem-match=usb --action=change\n";
const fs::path kRulesDir = "test-system/udev/rules.d";
const fs::path kInstalled = kRulesDir / "70-halcap.rules";
const fs::path kUdevadmLog = "test-system/udevadm.log";

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class InstallerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "vidora-installer-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        work_ = root_ / "work";
        fs::create_directories(work_);
    }
    void TearDown() override { fs::remove_all(root_); }

    // A folder holding a driver package with `rules`, and an empty scratch rules folder.
    fs::path packageFolder(const fs::path& name, const std::string& rules) {
        const fs::path folder = work_ / name;
        fs::create_directories(folder / kRulesDir);
        writeFile(folder / "halcap.rules", rules);
        return folder;
    }

    // Starts `program` without arguments in `folder`, the way a user at a console would.
    RunResult run(const char* program, const fs::path& folder) {
        const std::string folderText = folder.string();
        const std::string outPath = (root_ / "stdout").string();
        const std::string errPath = (root_ / "stderr").string();
        const pid_t pid = fork();
        if (pid == 0) {
            const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (out < 0 || err < 0 || chdir(folderText.c_str()) != 0 || dup2(out, 1) < 0 ||
                dup2(err, 2) < 0) {
                _exit(126);
            }
            execl(program, program, static_cast<char*>(nullptr));
            _exit(127);
        }
        RunResult result;
        int status = 0;
        if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
            result.exitCode = WEXITSTATUS(status);
        }
        result.out = readFile(outPath);
        result.err = readFile(errPath);
        return result;
    }

    // Every path below the work folder, relative to it.
    std::set<std::string> workTree() const {
        std::set<std::string> tree;
        for (const auto& entry : fs::recursive_directory_iterator(work_)) {
            tree.insert(fs::relative(entry.path(), work_).string());
        }
        return tree;
    }

    fs::path root_;
    fs::path work_;
};

TEST_F(InstallerTest, InstallsTheRulesAndPrintsBothMessagesRunTogether) {
    const fs::path folder = packageFolder("camera room", "# first rules\n");

    RunResult result = run(INSTALLER_TEST_PROGRAM, folder);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, kSuccessOutput);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(readFile(folder / kInstalled), "# first rules\n");
    EXPECT_EQ(fs::status(folder / kInstalled).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);
    EXPECT_EQ(readFile(folder / kUdevadmLog), kUdevadmCalls);

    // A second install replaces the first and leaves no temporary file for udev to trip over.
    // The package's own mode (here owner-only) does not carry over.
    writeFile(folder / "halcap.rules", "# second rules\n");
    fs::permissions(folder / "halcap.rules", fs::perms::owner_read);
    result = run(INSTALLER_TEST_PROGRAM, folder);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, kSuccessOutput);
    EXPECT_EQ(readFile(folder / kInstalled), "# second rules\n");
    EXPECT_EQ(fs::status(folder / kInstalled).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                  fs::perms::others_read);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder / kRulesDir), fs::directory_iterator()),
              1);
}

TEST_F(InstallerTest, HostileFolderNameStaysOnePathAndRunsNothing) {
    // "a" is where a path split at its first space would look for the package.
    const fs::path decoy = packageFolder("a", "# decoy\n");
    const std::string hostile =
        "a b; touch ran1 $(touch ran2) `touch ran3` 'q' \"dq\" & echo > ran4 | cat \\ * %PATH%";
    const fs::path folder = packageFolder(hostile, "# the right rules\n");
    const std::set<std::string> before = workTree();

    const RunResult result = run(INSTALLER_TEST_PROGRAM, folder);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, kSuccessOutput);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(readFile(folder / kInstalled), "# the right rules\n");
    EXPECT_EQ(readFile(folder / kUdevadmLog), kUdevadmCalls);

    // The only new files anywhere are the installed rules and the udevadm record.
    std::set<std::string> expected = before;
    expected.insert((fs::path(hostile) / kInstalled).string());
    expected.insert((fs::path(hostile) / kUdevadmLog).string());
    EXPECT_EQ(workTree(), expected);
}

TEST_F(InstallerTest, WorksInAFolderFarLongerThan256Characters) {
    fs::path name;
    for (char c : {'p', 'q', 'r', 's', 't', 'u'}) {
        name /= std::string(200, c);
    }
    const fs::path folder = packageFolder(name, "# deep rules\n");
    ASSERT_GT(folder.string().size(), 1200u);

    const RunResult result = run(INSTALLER_TEST_PROGRAM, folder);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, kSuccessOutput);
    EXPECT_EQ(readFile(folder / kInstalled), "# deep rules\n");
}

TEST_F(InstallerTest, MissingPackageIsAnErrorNotACompletion) {
    const fs::path folder = work_ / "no package here";
    fs::create_directories(folder / kRulesDir);
    fs::create_directory(folder / "halcap.rules.d");  // near misses do not count

    for (const char* program : {INSTALLER_PROGRAM, INSTALLER_TEST_PROGRAM}) {
        SCOPED_TRACE(program);
        const RunResult result = run(program, folder);
        EXPECT_NE(result.exitCode, 0);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "installer: driver package not found: " +
                                  (folder / "halcap.rules").string() + "\n");
    }
    EXPECT_TRUE(fs::is_empty(folder / kRulesDir));
    EXPECT_FALSE(fs::exists(folder / kUdevadmLog));
}

TEST_F(InstallerTest, FailedStepIsReportedAndNotCompleted) {
    struct Case {
        const char* name;
        const char* failingVerb;  // udevadm command made to fail, or nullptr
        bool removeRulesFolder;
        const char* error;
        const char* calls;  // udevadm calls that happened
    };
    const Case cases[] = {
        {"no rules folder", nullptr, true,
         "cannot copy {folder}/halcap.rules to test-system/udev/rules.d/70-halcap.rules", ""},
        {"reload fails", "control", false, "control --reload-rules failed with exit code 3",
         "control --reload-rules\n"},
        {"trigger fails", "trigger", false,
         "trigger --subsystem-match=usb --action=change failed with exit code 3", kUdevadmCalls},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path folder = packageFolder(c.name, "# rules\n");
        if (c.removeRulesFolder) {
            fs::remove_all(folder / kRulesDir);
        }
        if (c.failingVerb) {
            writeFile(folder / "test-system/udevadm-fails", c.failingVerb);
        }
        std::string error = c.error;
        for (size_t at; (at = error.find("{folder}")) != std::string::npos;) {
            error.replace(at, 8, folder.string());
        }

        const RunResult result = run(INSTALLER_TEST_PROGRAM, folder);
        EXPECT_NE(result.exitCode, 0);
        EXPECT_EQ(result.out, "Installing the MR220 usb driver...\n");
        EXPECT_EQ(result.err.rfind("installer: ", 0), 0u) << result.err;
        EXPECT_NE(result.err.find(error), std::string::npos) << result.err;
        EXPECT_EQ(readFile(folder / kUdevadmLog), c.calls);
    }
}

TEST_F(InstallerTest, UdevadmThatCannotBeStartedIsNamed) {
    const fs::path folder = packageFolder("x", "# rules\n");
    const std::string failure = vidora::installDriverPackage(
        folder / "halcap.rules", {folder / kRulesDir, "/nonexistent/udevadm"});
    EXPECT_EQ(failure, "cannot start /nonexistent/udevadm: No such file or directory");
}

TEST(InstallHinfCommandLine, QuotesTheWholeInfPath) {
    EXPECT_EQ(vidora::installHinfCommandLine(L"C:\\Vidora & Co; (x86)\\halcap.INF"),
              L"RUNDLL32.EXE SETUPAPI.DLL,InstallHinfSection Halcap.Device 132 "
              L"\"C:\\Vidora & Co; (x86)\\halcap.INF\"");
}

TEST(ShippedRules, BuildPlacesThemBesideTheProgramAndInTheRunFolder) {
    const std::string rules = readFile(SHIPPED_RULES);
    EXPECT_NE(rules.find("TAG+=\"uaccess\""), std::string::npos);
    EXPECT_EQ(readFile(BESIDE_PROGRAM_RULES), rules);
    EXPECT_EQ(readFile(RUN_DIR_RULES), rules);
}

}  // namespace
