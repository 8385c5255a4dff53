// Draws the default skin into the folder named on the command line (a build step).
#include <QGuiApplication>
#include <cstdio>
#include <string>

#include "skin_art.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    // A build tool: it draws offscreen whatever display the build machine has.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    std::string error;
    if (!vidora::skinart::writeDefaultSkin(argv[1], &error)) {
        std::fprintf(stderr, "skin tool: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
