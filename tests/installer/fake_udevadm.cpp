// Stand-in for udevadm in the installer's test build. Appends its arguments as one line to
// test-system/udevadm.log in the folder it is started in (marked when the rules were not in place
// yet at that moment), and exits with 3 when the file test-system/udevadm-fails lists its first
// argument, so tests can fail a step on purpose.
#include <filesystem>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    std::ofstream log("test-system/udevadm.log", std::ios::app);
    if (!std::filesystem::exists("test-system/udev/rules.d/70-halcap.rules")) {
        log << "(rules missing) ";
    }
    for (int i = 1; i < argc; ++i) {
        log << (i > 1 ? " " : "") << argv[i];
    }
    log << '\n';

    std::ifstream failing("test-system/udevadm-fails");
    for (std::string verb; failing >> verb;) {
        if (argc > 1 && verb == argv[1]) {
            return 3;
        }
    }
    return 0;
}
