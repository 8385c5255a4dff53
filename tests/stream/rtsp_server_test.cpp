// The network stream as other programs see it: ffprobe and ffmpeg on loopback read what the
// server sends, logins are checked, the client limit holds, and the live side never waits.
#include <arpa/inet.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/preference_keys.h"
#include "stream/live_hand_over.h"
#include "stream/rtsp_server.h"
#include "stream/stream_service.h"

namespace vidora {
namespace {

using namespace std::chrono_literals;

// The output (standard output and error) of a shell command.
std::string run(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return out;
    std::array<char, 4096> buffer{};
    size_t n = 0;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        out.append(buffer.data(), n);
    ::pclose(pipe);
    return out;
}

template <class Pred>
bool waitFor(Pred pred, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (pred())
            return true;
        std::this_thread::sleep_for(20ms);
    }
    return pred();
}

// Stands in for the video and audio transfers: 25 pictures a second of a moving pattern (one
// brightness per "channel") and 8 kHz stereo sound, until paused (an unplugged receiver).
class FakeLive {
  public:
    FakeLive(LiveHandOver& handOver, int width, int height)
        : handOver_(handOver), width_(width), height_(height) {
        thread_ = std::thread([this] { loop(); });
    }
    ~FakeLive() {
        stop_ = true;
        thread_.join();
    }
    void setPaused(bool paused) { paused_ = paused; }
    void setChannel(int channel) { channel_ = channel; }
    // Hand-overs that took longer than a picture period (a loaded machine may preempt a few).
    int slowHandOvers() const { return slow_; }
    int pictures() const { return pictures_; }

  private:
    void loop() {
        std::vector<uint8_t> picture(static_cast<std::size_t>(width_) * height_ * 2);
        std::vector<uint8_t> sound(320 * 4);
        auto next = std::chrono::steady_clock::now();
        for (int n = 0; !stop_ && n < 100000; ++n) {
            if (!paused_) {
                const uint8_t luma = static_cast<uint8_t>(40 + channel_ * 50);
                for (std::size_t i = 0; i + 1 < picture.size(); i += 2) {
                    picture[i] = 0x80;
                    picture[i + 1] = static_cast<uint8_t>(luma + ((i / 2 + n * 4) % 64));
                }
                for (std::size_t i = 0; i < sound.size(); i += 2) {
                    const int16_t v = static_cast<int16_t>(((i / 4) % 20 < 10) ? 3000 : -3000);
                    sound[i] = static_cast<uint8_t>(v & 0xff);
                    sound[i + 1] = static_cast<uint8_t>((v >> 8) & 0xff);
                }
                const auto t0 = std::chrono::steady_clock::now();
                handOver_.onLivePicture(picture.data(), picture.size(), width_, height_, 25);
                handOver_.onLiveSound(sound.data(), sound.size(), 8000, 2);
                const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                                    std::chrono::steady_clock::now() - t0)
                                    .count();
                if (us > 40000)
                    ++slow_;
                ++pictures_;
            }
            next += 40ms;
            std::this_thread::sleep_until(next);
        }
    }

    LiveHandOver& handOver_;
    int width_;
    int height_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> paused_{false};
    std::atomic<int> channel_{1};
    std::atomic<int> slow_{0};
    std::atomic<int> pictures_{0};
    std::thread thread_;
};

// The port for this process's attempt-th try, spread by the process id so that tests running
// side by side in other processes try other ports.
int portToTry(int attempt) {
    return 20000 + static_cast<int>((::getpid() * 37 + attempt * 101) % 40000);
}

class RtspServerTest : public ::testing::Test {
  protected:
    // Tests run side by side in several processes. Letting the system pick the port (port 0)
    // can hand two of them the same one: both sockets allow address reuse, and the kernel may
    // give a port that another reusing socket has bound but not yet listened on. Each process
    // therefore tries ports of its own, from its process id, and moves on from a taken one.
    void start(StreamSettings settings) {
        settings.enabled = true;
        std::string problem;
        for (int attempt = 0; attempt < 50; ++attempt) {
            settings.port = portToTry(attempt);
            problem = server.start(settings);
            if (problem.empty())
                break;
        }
        ASSERT_EQ(problem, "");
        ASSERT_EQ(server.boundPort(), settings.port);
    }
    std::string url(const std::string& login = "") const {
        return "rtsp://" + (login.empty() ? "" : login + "@") +
               "127.0.0.1:" + std::to_string(server.boundPort()) + "/live";
    }
    StreamSettings withLogin() {
        StreamSettings s;
        s.allowOthers = true;
        s.user = "anna";
        s.password = "s3cret";
        return s;
    }
    bool pipelineGone() {
        return waitFor([&] { return server.pipelineCount() == 0; }, 10s);
    }

    LiveHandOver handOver;
    RtspServer server{handOver};
};

// Socket inodes this process holds open, from /proc/self/fd.
std::vector<std::string> ownSocketInodes() {
    std::vector<std::string> inodes;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
        if (!error && target.rfind("socket:[", 0) == 0 && target.back() == ']')
            inodes.push_back(target.substr(8, target.size() - 9));
    }
    return inodes;
}

// This process's listening sockets on `port` as /proc/net/tcp and tcp6 list them (local
// addresses in hex). Other programs on the machine (a parallel test binding its own ephemeral
// port) are left out: only sockets whose inode this process holds count.
std::vector<std::string> listeners(int port) {
    const std::vector<std::string> own = ownSocketInodes();
    std::vector<std::string> found;
    char portHex[8];
    std::snprintf(portHex, sizeof portHex, "%04X", port);
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        std::ifstream in(table);
        std::string line;
        std::getline(in, line);
        for (int i = 0; i < 100000 && std::getline(in, line); ++i) {
            std::istringstream fields(line);
            std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
            fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
                timeout >> inode;
            if (state == "0A" && local.size() > 5 && local.substr(local.size() - 4) == portHex &&
                std::find(own.begin(), own.end(), inode) != own.end())
                found.push_back(local.substr(0, local.size() - 5));
        }
    }
    return found;
}

TEST_F(RtspServerTest, ListensOnLoopbackOnlyUnlessOthersAreAllowed) {
    start(StreamSettings{});
    EXPECT_EQ(listeners(server.boundPort()), std::vector<std::string>{"0100007F"});
    const int port = server.boundPort();
    server.stop();
    EXPECT_TRUE(listeners(port).empty());
    start(withLogin());
    EXPECT_EQ(listeners(server.boundPort()), std::vector<std::string>{"00000000"});
    // A port another program holds is reported, not taken over.
    LiveHandOver otherHandOver;
    RtspServer other(otherHandOver);
    StreamSettings same = withLogin();
    same.port = server.boundPort();
    const std::string refused = other.start(same);
    EXPECT_EQ(refused.rfind("cannot listen on port " + std::to_string(same.port) + ": ", 0), 0u)
        << refused;
    EXPECT_FALSE(other.running());
    // Allowing others without a login is refused before anything listens.
    StreamSettings open;
    open.enabled = true;
    open.allowOthers = true;
    EXPECT_EQ(server.start(open), "Allowing other computers needs a user name and a password.");
    EXPECT_FALSE(server.running());
}

TEST_F(RtspServerTest, ProbeReadsH264AtTheRecordSizeAndRateWithSoundAndLoginsAreChecked) {
    FakeLive live(handOver, 352, 288);
    start(withLogin());
    // Nothing is encoded, nor even copied, while nobody watches.
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(server.pipelineCount(), 0);
    EXPECT_EQ(handOver.picturesIn(), 0u);

    const std::string probe =
        "timeout 30 ffprobe -v error -rtsp_transport tcp -show_entries "
        "stream=codec_name,width,height,r_frame_rate,sample_rate -of compact ";
    const std::string good = run(probe + url("anna:s3cret"));
    EXPECT_NE(good.find("codec_name=h264|width=352|height=288|r_frame_rate=25/1"),
              std::string::npos)
        << good;
    EXPECT_NE(good.find("codec_name=pcm_alaw|sample_rate=8000"), std::string::npos) << good;

    const std::string wrong = run(probe + url("anna:wrong"));
    EXPECT_NE(wrong.find("401"), std::string::npos) << wrong;
    EXPECT_EQ(wrong.find("h264"), std::string::npos) << wrong;
    const std::string none = run(probe + url());
    EXPECT_NE(none.find("401"), std::string::npos) << none;
    EXPECT_EQ(none.find("h264"), std::string::npos) << none;

    EXPECT_TRUE(pipelineGone()) << "the encoder runs on after the last client left";
}

TEST_F(RtspServerTest, RecordingKeepsOneTimelineAcrossSwitchesAndUnplugAndDecodes) {
    FakeLive live(handOver, 352, 288);
    start(StreamSettings{});
    const auto file = std::filesystem::temp_directory_path() /
                      ("vidora-stream-" + std::to_string(::getpid()) + ".mkv");
    std::filesystem::remove(file);
    std::string recorderSays;
    std::thread recorder([&] {
        recorderSays = run("timeout 40 ffmpeg -v warning -y -rtsp_transport tcp -i " + url() +
                           " -t 10 -c copy " + file.string());
    });
    // A channel switch, then the receiver unplugged for two seconds and back.
    EXPECT_TRUE(waitFor([&] { return server.picturesSent() > 25; }, 15s));
    live.setChannel(3);
    std::this_thread::sleep_for(2s);
    live.setPaused(true);
    std::this_thread::sleep_for(2s);
    live.setPaused(false);
    recorder.join();

    ASSERT_TRUE(std::filesystem::exists(file)) << recorderSays;
    EXPECT_EQ(run("ffmpeg -v error -i " + file.string() + " -f null -"), "") << recorderSays;
    const std::string times =
        run("ffprobe -v error -select_streams v -show_entries packet=pts_time "
            "-of csv=p=0 " +
            file.string());
    std::istringstream in(times);
    std::vector<double> pts;
    for (std::string line; pts.size() < 100000 && std::getline(in, line);) {
        if (!line.empty() && std::isdigit(static_cast<unsigned char>(line[0])))
            pts.push_back(std::stod(line));
    }
    ASSERT_GT(pts.size(), 200u) << times.substr(0, 400);
    EXPECT_GE(pts.back() - pts.front(), 9.0);
    std::vector<double> sorted = pts;
    std::sort(sorted.begin(), sorted.end());
    // Decode order may differ from display order only within a few pictures (there are none
    // with zero latency, so none at all), and no picture is stamped twice.
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
    double worstStepBack = 0;
    for (std::size_t i = 1; i < pts.size(); ++i)
        worstStepBack = std::max(worstStepBack, pts[i - 1] - pts[i]);
    EXPECT_LE(worstStepBack, 0.0) << "the timeline went backwards";
    double longestGap = 0;
    for (std::size_t i = 1; i < sorted.size(); ++i)
        longestGap = std::max(longestGap, sorted[i] - sorted[i - 1]);
    EXPECT_LT(longestGap, 0.5) << "the stream stopped while the receiver was unplugged";
    std::filesystem::remove(file);
    EXPECT_TRUE(pipelineGone());
}

// A bare RTSP client that asks for the stream over its control connection and then reads
// nothing (or drops out).
class RawClient {
  public:
    explicit RawClient(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        const int small = 4096;
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
        timeval tv{5, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        base_ = "rtsp://127.0.0.1:" + std::to_string(port) + "/live";
    }
    ~RawClient() { ::close(fd_); }

    // Sends one request and returns the reply's head (and body, when short).
    std::string request(const std::string& method, const std::string& target,
                        const std::string& headers = "") {
        std::string text = method + " " + target + " RTSP/1.0\r\nCSeq: " + std::to_string(++cseq_) +
                           "\r\n" + headers + "\r\n";
        if (::send(fd_, text.data(), text.size(), MSG_NOSIGNAL) < 0)
            return {};
        char buffer[4096];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    }
    // DESCRIBE, SETUP of both streams over this connection, PLAY; true when playing.
    bool play() {
        if (request("DESCRIBE", base_, "Accept: application/sdp\r\n").find("200 OK") ==
            std::string::npos)
            return false;
        const std::string setup = request("SETUP", base_ + "/stream=0",
                                          "Transport: RTP/AVP/TCP;unicast;interleaved=0-1\r\n");
        const auto at = setup.find("Session: ");
        if (at == std::string::npos)
            return false;
        const std::string session = setup.substr(at + 9, setup.find_first_of(";\r", at) - at - 9);
        request("SETUP", base_ + "/stream=1",
                "Transport: RTP/AVP/TCP;unicast;interleaved=2-3\r\nSession: " + session + "\r\n");
        return request("PLAY", base_, "Session: " + session + "\r\n").find("200 OK") !=
               std::string::npos;
    }
    bool connected() const { return connected_; }
    const std::string& base() const { return base_; }

  private:
    int fd_ = -1;
    bool connected_ = false;
    int cseq_ = 0;
    std::string base_;
};

int openFiles() {
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        (void)entry;
        ++n;
    }
    return n;
}

int threads() {
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        (void)entry;
        ++n;
    }
    return n;
}

TEST_F(RtspServerTest, FourClientsGetPicturesAndTheFifthIsRefused) {
    FakeLive live(handOver, 176, 144);
    StreamSettings s;
    s.maxClients = 4;
    start(s);
    std::vector<std::thread> readers;
    std::array<std::string, 4> outputs;
    for (std::size_t i = 0; i < 4; ++i) {
        readers.emplace_back([&, i] {
            outputs[i] = run("timeout 40 ffmpeg -nostats -rtsp_transport tcp -i " + url() +
                             " -t 6 -c copy -f null -");
        });
    }
    EXPECT_TRUE(waitFor([&] { return server.clientCount() == 4; }, 20s));
    RawClient fifth(server.boundPort());
    EXPECT_TRUE(fifth.connected());
    const std::string reply = fifth.request("DESCRIBE", fifth.base());
    EXPECT_NE(reply.find("RTSP/1.0 503"), std::string::npos) << reply;
    EXPECT_EQ(reply.find("application/sdp"), std::string::npos) << reply;
    for (auto& t : readers)
        t.join();
    EXPECT_GE(server.clientsRefused(), 1u);
    for (const std::string& out : outputs) {
        // ffmpeg's closing line: "frame=  150 ..." for six seconds at 25 a second.
        const auto at = out.rfind("frame=");
        ASSERT_NE(at, std::string::npos) << out;
        const int frames = std::atoi(out.c_str() + at + 6);
        EXPECT_GE(frames, 120) << out;
    }
}

TEST_F(RtspServerTest, StalledClientDoesNotSlowTheLiveSideAndDropsLeaveNothingBehind) {
    FakeLive live(handOver, 352, 288);
    start(StreamSettings{});
    // Warm up once: GStreamer keeps its thread pools and registry after the first pipeline.
    run("timeout 30 ffprobe -v error -rtsp_transport tcp " + url());
    ASSERT_TRUE(pipelineGone());
    const int filesBefore = openFiles();
    const int threadsBefore = threads();

    {
        RawClient stalled(server.boundPort());
        ASSERT_TRUE(stalled.play());
        const int before = live.pictures();
        const uint64_t sentBefore = server.picturesSent();
        std::this_thread::sleep_for(3s);
        // 25 a second on the live side whatever the client does; the hand-over never waits.
        EXPECT_GE(live.pictures() - before, 60);
        EXPECT_LE(live.slowHandOvers(), 3);
        EXPECT_GE(server.picturesSent() - sentBefore, 50u) << "the feeder waited for the client";
    }
    for (int i = 0; i < 50; ++i) {
        RawClient client(server.boundPort());
        ASSERT_TRUE(client.connected());
        if (i % 10 == 0)
            ASSERT_TRUE(client.play());  // builds the pipeline, then drops without a goodbye
        else
            EXPECT_NE(client.request("OPTIONS", client.base()).find("200 OK"), std::string::npos);
    }
    // Dropped sessions end when the server notices the connection went.
    EXPECT_TRUE(waitFor([&] { return server.clientCount() == 0; }, 10s));
    EXPECT_TRUE(pipelineGone());
    EXPECT_TRUE(
        waitFor([&] { return openFiles() <= filesBefore && threads() <= threadsBefore; }, 10s))
        << "files " << openFiles() << " (were " << filesBefore << "), threads " << threads()
        << " (were " << threadsBefore << ")";
}

// A port no socket on any address holds right now, from this process's own sequence.
int unusedPort() {
    for (int attempt = 0; attempt < 50; ++attempt) {
        const int port = portToTry(attempt);
        if (streamPortFree(port, true))
            return port;
    }
    return 0;
}

TEST(StreamService, FollowsTheKeysWhenTheDialogStoresThemAndLetsTheTransfersGo) {
    Preferences prefs;
    RecordingPort port;
    VideoTransfer video(port);
    AudioTransfer audio(port);
    {
        StreamService service(prefs, video, audio, noPictureStamp());
        EXPECT_EQ(service.apply(), "");
        EXPECT_FALSE(service.server().running()) << "the stream is on by default";
        EXPECT_EQ(service.address(), "");

        const int free = unusedPort();
        prefs.set(kStreamEnabled, true);
        prefs.set(kStreamPort, free);
        prefs.changed();
        ASSERT_TRUE(service.server().running());
        EXPECT_EQ(service.address(), "rtsp://127.0.0.1:" + std::to_string(free) + "/live");
        EXPECT_EQ(listeners(free), std::vector<std::string>{"0100007F"});

        // Others allowed without a login: refused, and nothing listens.
        prefs.set(kStreamAllowOthers, true);
        prefs.changed();
        EXPECT_FALSE(service.server().running());
        EXPECT_TRUE(listeners(free).empty());

        prefs.set(kStreamUser, "anna");
        prefs.set(kStreamPassword, "pw");
        prefs.changed();
        ASSERT_TRUE(service.server().running());
        EXPECT_EQ(listeners(free), std::vector<std::string>{"00000000"});

        prefs.set(kStreamEnabled, false);
        prefs.changed();
        EXPECT_FALSE(service.server().running());
        EXPECT_TRUE(listeners(free).empty());
        prefs.set(kStreamEnabled, true);
        prefs.changed();
        EXPECT_TRUE(service.server().running());
    }
    // The service is gone: pictures and sound still flow without it (nothing dangles).
    ASSERT_TRUE(video.acceptVideoFormat({352, 288, kFourccUyvy, 25}));
    std::vector<uint8_t> picture(352 * 288 * 2, 0x80);
    video.setPacing(std::chrono::microseconds(0));
    video.renderVideo(picture.data(), picture.size());
    EXPECT_EQ(video.picturesShown(), 1u);
    prefs.changed();  // no listener left behind
}

}  // namespace
}  // namespace vidora
