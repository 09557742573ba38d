// Writes the program's file icons as PNG files into a folder (the build
// places them beside the program, so every icon name resolves to a file).
#include <QDir>
#include <QGuiApplication>

#include <cstdio>

#include "file_icons.h"

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const QDir root(QString::fromLocal8Bit(argv[1]));
    constexpr int kSize = 32;
    for (const QString &name : FileIconNames()) {
        const QString path = root.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (!RenderFileIcon(name, kSize).save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
