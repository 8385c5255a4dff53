// The [stream] keys as vidora.ini holds them, the checks before they are stored, the address
// shown to the user and the port check of --diagnose.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/preferences.h"
#include "stream/stream_settings.h"

namespace vidora {
namespace {

std::filesystem::path tempIni() {
    char pattern[] = "/tmp/vidora-stream-XXXXXX";
    return std::filesystem::path(::mkdtemp(pattern)) / "vidora.ini";
}

TEST(StreamSettings, KeysHaveTheirDefaultsAndSurviveTheFile) {
    const auto file = tempIni();
    Preferences prefs;
    prefs.load(file);
    const StreamSettings defaults = readStreamSettings(prefs);
    EXPECT_FALSE(defaults.enabled);
    EXPECT_EQ(defaults.port, 8554);
    EXPECT_FALSE(defaults.allowOthers);
    EXPECT_EQ(defaults.user, "");
    EXPECT_EQ(defaults.password, "");
    EXPECT_EQ(defaults.maxClients, 4);

    StreamSettings s{true, 9000, true, "anna", "s3cret", 2};
    storeStreamSettings(prefs, s);
    ASSERT_EQ(prefs.save(), "");
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("[stream]"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("allowOthers=true"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("maxClients=2"), std::string::npos) << text.str();
    // The password is in the file, which only its owner may read.
    const auto perms = std::filesystem::status(file).permissions();
    EXPECT_EQ(perms & (std::filesystem::perms::group_all | std::filesystem::perms::others_all),
              std::filesystem::perms::none);

    Preferences again;
    again.load(file);
    EXPECT_EQ(readStreamSettings(again), s);
    std::filesystem::remove_all(file.parent_path());
}

TEST(StreamSettings, OtherComputersNeedAUserAndAPassword) {
    StreamSettings s;
    s.enabled = true;
    EXPECT_EQ(streamSettingsProblem(s), "");
    s.allowOthers = true;
    EXPECT_EQ(streamSettingsProblem(s),
              "Allowing other computers needs a user name and a password.");
    s.user = "anna";
    EXPECT_EQ(streamSettingsProblem(s),
              "Allowing other computers needs a user name and a password.");
    s.password = "pw";
    EXPECT_EQ(streamSettingsProblem(s), "");
    EXPECT_TRUE(s.needsLogin());
    s.user = "an:na";
    EXPECT_NE(streamSettingsProblem(s), "") << "a colon would split the Digest user name";
}

TEST(StreamSettings, AddressNamesThisComputerOnlyWhenOthersMayConnect) {
    StreamSettings s;
    EXPECT_EQ(streamAddress(s, "kitchen"), "rtsp://127.0.0.1:8554/live");
    s.allowOthers = true;
    s.port = 9000;
    EXPECT_EQ(streamAddress(s, "kitchen"), "rtsp://kitchen:9000/live");
}

TEST(StreamSettings, PortCheckSeesAListener) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(fd, 1), 0);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    const int port = ntohs(addr.sin_port);
    EXPECT_FALSE(streamPortFree(port, false));
    ::close(fd);
    EXPECT_TRUE(streamPortFree(port, false));
}

}  // namespace
}  // namespace vidora
