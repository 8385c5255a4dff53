#pragma once
// A fresh temporary folder that becomes the working directory for one test.
#include <unistd.h>

#include <filesystem>
#include <string>

namespace vidora::test {

class ScopedTempDir {
  public:
    ScopedTempDir() {
        char pattern[] = "/tmp/vidora-test-XXXXXX";
        path_ = ::mkdtemp(pattern);
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(path_);
    }
    ~ScopedTempDir() {
        std::error_code ec;
        std::filesystem::current_path(previous_, ec);
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
    std::filesystem::path previous_;
};

}  // namespace vidora::test
