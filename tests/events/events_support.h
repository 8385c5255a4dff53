#pragma once
// Helpers for the event log's tests: AVI files made with the program's own writer, and the
// database read back through the sqlite3 program, as a user would read it.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "recording/avi_file.h"

namespace vidora::test {

// A fresh folder, removed with its object.
class EventsFolder {
  public:
    EventsFolder() {
        char pattern[] = "/tmp/vidora-events-XXXXXX";
        path_ = ::mkdtemp(pattern);
    }
    ~EventsFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

// An AVI file of `pictures` pictures at `fps` made by the recorder's own AVI writer: closed (with
// its index), or cut off `cutBytes` before its end as a crash leaves it (no index, headers of the
// last commit, possibly half a picture).
inline void writeAvi(const std::string& path, int pictures, int fps, bool closed = true,
                     uint64_t cutBytes = 0) {
    AviFile file;
    if (!file.create(path, false))
        throw std::runtime_error("cannot create " + path);
    AviStreamInfo info;
    info.type = fourcc("vids");
    info.rate = static_cast<uint32_t>(fps);
    info.frame[2] = 32;
    info.frame[3] = 24;
    const int stream = file.createStream(info);
    uint8_t bitmap[40] = {40};
    file.setFormat(stream, bitmap, sizeof bitmap);
    std::vector<uint8_t> picture(100, 0x5a);
    for (int i = 0; i < pictures; ++i)
        file.writeSample(stream, static_cast<uint64_t>(i), picture.data(), 100, 1, i % 10 == 0);
    file.close();
    if (!closed) {
        // The index goes (8 + 16 bytes per picture), and `cutBytes` more.
        const uint64_t index = 8 + 16 * static_cast<uint64_t>(pictures);
        std::filesystem::resize_file(path, std::filesystem::file_size(path) - index - cutBytes);
    }
}

// The output of the sqlite3 program for one query ("|" between columns, one line per row).
inline std::string sqlite(const std::filesystem::path& db, const std::string& query) {
    const std::string command =
        "sqlite3 -batch -noheader '" + db.string() + "' \"" + query + "\" 2>&1";
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            out.append(buffer, n);
        ::pclose(pipe);
    }
    while (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

inline std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace vidora::test
