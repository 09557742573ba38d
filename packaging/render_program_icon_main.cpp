// Writes the program's icon into an icon theme folder (hicolor layout):
// PNG files at the sizes desktops ask for and a scalable SVG, all from the
// one drawing the program shows for scanning, so the launcher, the window
// and the pages agree.
#include <QDir>
#include <QGuiApplication>
#include <QPainter>
#include <QSvgGenerator>
#include <cstdio>

#include "skin_drawings.h"
#include "skin_images.h"

namespace {

const char* const kIconName = "vexlo-sd-recovery";
const char* const kDrawingName = "scan_files.png";
constexpr int kSvgSide = 256;

bool MakeFolderOf(const QString& path) {
  if (QDir().mkpath(QFileInfo(path).absolutePath())) return true;
  std::fprintf(stderr, "cannot create the folder of %s\n", qPrintable(path));
  return false;
}

bool WritePng(const QDir& theme, int side) {
  const QString path =
      theme.filePath(QStringLiteral("%1x%1/apps/%2.png").arg(side).arg(QLatin1String(kIconName)));
  if (!MakeFolderOf(path)) return false;
  if (RenderSkinImage(QLatin1String(kDrawingName), QSize(side, side)).save(path)) return true;
  std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
  return false;
}

bool WriteSvg(const QDir& theme) {
  const QString path =
      theme.filePath(QStringLiteral("scalable/apps/%1.svg").arg(QLatin1String(kIconName)));
  if (!MakeFolderOf(path)) return false;
  QSvgGenerator svg;
  svg.setFileName(path);
  svg.setSize(QSize(kSvgSide, kSvgSide));
  svg.setViewBox(QRect(0, 0, kSvgSide, kSvgSide));
  svg.setTitle(QStringLiteral("Vexlo SD Card Data Recovery"));
  QPainter painter;
  if (!painter.begin(&svg)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
  }
  painter.setRenderHint(QPainter::Antialiasing);
  SkinDrawing::ScanFiles(painter, QRectF(0, 0, kSvgSide, kSvgSide));
  return painter.end();
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <icon theme folder>\n", argv[0]);
    return 2;
  }
  const QDir theme(QString::fromLocal8Bit(argv[1]));
  for (int side : {16, 22, 24, 32, 48, 64, 128, 256}) {
    if (!WritePng(theme, side)) return 1;
  }
  return WriteSvg(theme) ? 0 : 1;
}
