// Draws the program icon into a hicolor icon theme folder at the sizes desktops look for (menus,
// launchers, task bars, software centres): <folder>/<N>x<N>/apps/vidora.png. A build step.
#include <QDir>
#include <QGuiApplication>
#include <cstdio>

#include "ui/program_icon.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <hicolor folder>\n", argv[0]);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString root = QString::fromLocal8Bit(argv[1]);
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QString("%1/%2x%2/apps").arg(root).arg(size);
        const QString file = folder + "/vidora.png";
        if (!QDir().mkpath(folder) || !vidora::programIconImage(size).save(file, "PNG")) {
            std::fprintf(stderr, "icon tool: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
