#pragma once
// Helpers shared by the recording tests: scratch folders, message-box recording, settings set-up,
// synthetic pictures and sound, ffprobe/ffmpeg runs and little-endian reads.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/message_box.h"
#include "app/settings.h"
#include "recording/picture_stamp.h"

namespace vidora::test {

// A fresh folder below /tmp, removed at the end.
class TempFolder {
  public:
    TempFolder() {
        char pattern[] = "/tmp/vidora-rec-XXXXXX";
        path_ = ::mkdtemp(pattern);
    }
    ~TempFolder() {
        if (std::getenv("VIDORA_KEEP_TEST_FILES"))
            return;  // for looking at them by hand
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string path() const { return path_.string(); }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    // Names of the regular files, sorted.
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(path_)) {
            if (e.is_regular_file())
                names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    std::filesystem::path path_;
};

// Records every message box instead of showing it (the calling thread is the UI thread).
class MessageBoxRecorder {
  public:
    MessageBoxRecorder() {
        setMessageBoxPresenter([this](const MessageBoxRequest& r) {
            requests.push_back(r);
            return IDOK;
        });
    }
    ~MessageBoxRecorder() { setMessageBoxPresenter({}); }
    std::vector<MessageBoxRequest> requests;
};

// Default settings with the folders pointing at `folder`.
inline void resetSettings(const std::string& folder) {
    applyDefaultSettings();
    std::snprintf(gConfig.recordFolder, sizeof gConfig.recordFolder, "%s", folder.c_str());
    std::snprintf(gConfig.pictureFolder, sizeof gConfig.pictureFolder, "%s", folder.c_str());
    gConfig.recordFps = 25;
    gConfig.recordLimitMB = 0;
    gConfig.recordLimitPolicy = 1;
    gConfig.pictureLimitMB = 0;
    gConfig.pictureLimitPolicy = 1;
    gState.recordFolderMB = 0;
    gState.pictureFolderMB = 0;
}

// A stamp that remembers how it was called and marks the picture's first bytes.
class RecordingStamp : public PictureStamp {
  public:
    void stamp(const PictureDesc& desc, uint8_t* pixels) override {
        calls.push_back(desc);
        if (mark && desc.width > 0 && desc.height > 0)
            std::memset(pixels, 0xFF, 12);
    }
    std::vector<PictureDesc> calls;
    bool mark = false;
};

// A moving synthetic UYVY picture: gradients plus a bright square that moves with `n`.
inline std::vector<uint8_t> uyvyPicture(int width, int height, int n) {
    std::vector<uint8_t> p(static_cast<std::size_t>(width) * height * 2);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; x += 2) {
            uint8_t* q = &p[(static_cast<std::size_t>(y) * width + x) * 2];
            bool square = x >= (n * 4) % width && x < (n * 4) % width + 48 && y >= height / 3 &&
                          y < height / 3 + 48;
            uint8_t luma = square ? 235 : static_cast<uint8_t>(16 + (x + y + n) % 200);
            q[0] = static_cast<uint8_t>(128 + (x * 64) / width - 32);  // U
            q[1] = luma;
            q[2] = static_cast<uint8_t>(128 + (y * 64) / height - 32);  // V
            q[3] = luma;
        }
    }
    return p;
}

// Stereo 16-bit frames where both channels carry the same value: the media layer's feed.
inline std::vector<uint8_t> stereoTone(std::size_t frames, std::size_t start) {
    std::vector<uint8_t> b(frames * 4);
    for (std::size_t i = 0; i < frames; ++i) {
        int16_t v = static_cast<int16_t>(((start + i) * 37) % 16000 - 8000);
        std::memcpy(&b[i * 4], &v, 2);
        std::memcpy(&b[i * 4 + 2], &v, 2);
    }
    return b;
}

struct CommandResult {
    int status = -1;
    std::string out;
};

// Runs a shell command and collects its standard output.
inline CommandResult run(const std::string& command) {
    CommandResult r;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return r;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0)
        r.out.append(buf, n);
    int status = ::pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

inline std::string quoted(const std::string& s) {
    return "'" + s + "'";
}

// ffprobe's stream and format entries as "stream.0.codec_name" -> "mpeg4", "format.duration" ...
inline std::map<std::string, std::string> probe(const std::string& path) {
    CommandResult r =
        run("ffprobe -v error -show_streams -show_format -of flat=s=. " + quoted(path) + " 2>&1");
    std::map<std::string, std::string> values;
    std::istringstream in(r.out);
    std::string line;
    while (std::getline(in, line)) {
        auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        std::string key = line.substr(0, eq);
        std::string value = line.substr(eq + 1);
        if (value.size() >= 2 && value.front() == '"')
            value = value.substr(1, value.size() - 2);
        if (key.rfind("streams.stream.", 0) == 0)
            key = key.substr(8);
        values[key] = value;
    }
    if (r.status != 0)
        values["error"] = r.out;
    return values;
}

struct ProbedPacket {
    int stream = 0;
    long long size = 0;
    bool key = false;
};

// The packets in file order as the demuxer reads them.
inline std::vector<ProbedPacket> probePackets(const std::string& path) {
    CommandResult r =
        run("ffprobe -v error -show_entries packet=stream_index,size,flags -of csv=p=0 " +
            quoted(path) + " 2>/dev/null");
    std::vector<ProbedPacket> packets;
    std::istringstream in(r.out);
    std::string line;
    while (std::getline(in, line)) {
        ProbedPacket p;
        char flags[16] = {};
        if (std::sscanf(line.c_str(), "%d,%lld,%15s", &p.stream, &p.size, flags) >= 2) {
            p.key = flags[0] == 'K';
            packets.push_back(p);
        }
    }
    return packets;
}

// Decodes every video frame; returns the number decoded, or -1 when ffmpeg reports an error.
inline int decodeVideoFrames(const std::string& path) {
    CommandResult r =
        run("ffmpeg -nostdin -v error -i " + quoted(path) + " -map 0:v:0 -f framemd5 - 2>&1");
    if (r.status != 0)
        return -1;
    int frames = 0;
    std::istringstream in(r.out);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        if (line.find("rror") != std::string::npos)
            return -1;
        ++frames;
    }
    return frames;
}

// Decodes the sound; returns the number of mono 16-bit samples, or -1 on an error.
inline long long decodeSoundSamples(const std::string& path) {
    CommandResult r = run("ffmpeg -nostdin -v error -i " + quoted(path) +
                          " -map 0:a:0 -f s16le -ac 1 - 2>/dev/null | wc -c");
    if (r.status != 0)
        return -1;
    return std::atoll(r.out.c_str()) / 2;
}

inline std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline uint32_t le32(const std::vector<uint8_t>& b, std::size_t at) {
    return uint32_t{b.at(at)} | uint32_t{b.at(at + 1)} << 8 | uint32_t{b.at(at + 2)} << 16 |
           uint32_t{b.at(at + 3)} << 24;
}
inline uint16_t le16(const std::vector<uint8_t>& b, std::size_t at) {
    return static_cast<uint16_t>(b.at(at) | b.at(at + 1) << 8);
}
inline std::string tag(const std::vector<uint8_t>& b, std::size_t at) {
    return std::string(reinterpret_cast<const char*>(&b.at(at)), 4);
}

}  // namespace vidora::test
