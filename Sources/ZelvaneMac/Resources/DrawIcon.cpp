// Draws the application icon into the bundle at build time: DrawIcon OUTPUT.png PIXELS
#include <QGuiApplication>
#include <QImage>

#include <cstdio>
#include <cstdlib>

#include "ZelvaneMac/Widgets/Common/AppIcon.hpp"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: DrawIcon OUTPUT.png PIXELS\n", stderr);
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    const int pixels = std::atoi(argv[2]);
    if (pixels < 16 || pixels > 2048) {
        std::fputs("DrawIcon: PIXELS must be from 16 to 2048\n", stderr);
        return 2;
    }
    if (!zelvane::zelvaneIconImage(pixels).save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "DrawIcon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
