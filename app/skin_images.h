// The images the windows name ("banner_bg.png", "scan_files.png",
// "removable_drive.png" ...), drawn by the program itself (skin_drawings.h).
//
// A file of the same name in the skin folder beside the program takes the
// drawing's place, so a skin can replace any image; the build writes every
// drawing there at its natural size, which is at least twice the size it is
// shown at, so it stays sharp when scaled down on a dense screen. Pixmaps
// are kept in Qt's bounded pixmap cache. Used from the user-interface thread.
#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <QStringList>

// The image `name` at `size` (in device-independent pixels; the pixmap
// carries the screen's pixel ratio). A name the skin does not know gives a
// null pixmap.
QPixmap SkinPixmap(const QString &name, const QSize &size);

// An icon of a square image, for buttons, tabs and list rows.
QIcon SkinIcon(const QString &name);

// The drawing of `name` at `size` pixels, without looking for a file.
QImage RenderSkinImage(const QString &name, const QSize &size);

// Every image name with the size the build writes it at.
QStringList SkinImageNames();
QSize SkinImageNaturalSize(const QString &name);
