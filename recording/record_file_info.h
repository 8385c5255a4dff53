#pragma once
// The file a running recording is being written into, as the user sees it: its path and the
// bytes taken into it so far. An empty path: no file is open.
#include <cstdint>
#include <string>

namespace vidora {

struct RecordFileInfo {
    std::string path;
    uint64_t bytes = 0;
};

}  // namespace vidora
