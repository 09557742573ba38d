// Writes the program's file icons and skin images as PNG files into a folder
// (the build places them beside the program, so every image name the
// windows and the catalogue use resolves to a file).
#include <QDir>
#include <QGuiApplication>

#include <cstdio>

#include "file_icons.h"
#include "skin_images.h"

namespace {

bool Write(const QImage &image, const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (image.save(path))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const QDir root(QString::fromLocal8Bit(argv[1]));
    constexpr int kIconSize = 32;
    for (const QString &name : FileIconNames()) {
        if (!Write(RenderFileIcon(name, kIconSize), root.filePath(name)))
            return 1;
    }
    for (const QString &name : SkinImageNames()) {
        const QString path = root.filePath(QStringLiteral("skin/") + name);
        if (!Write(RenderSkinImage(name, SkinImageNaturalSize(name)), path))
            return 1;
    }
    return 0;
}
