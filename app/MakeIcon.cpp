// Writes the program's icon as PNG files for installation:
// make_tovrela_icon FOLDER writes FOLDER/<size>x<size>/tovrela.png.

#include <QDir>
#include <QGuiApplication>
#include <cstdio>

#include "ProgramIcon.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_tovrela_icon FOLDER\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1/%2x%2").arg(QString::fromLocal8Bit(argv[1])).arg(size);
        if (!QDir().mkpath(folder) || !DrawProgramIcon(size).save(folder + "/tovrela.png")) {
            std::fprintf(stderr, "make_tovrela_icon: cannot write %s\n", qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
