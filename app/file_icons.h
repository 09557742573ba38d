// The program's file icons ("FileIcon/jpg.png", "FileIcon/image_error.png"
// ...): one flat set drawn by the program itself, so that every icon name the
// catalogue uses has an image. An image file of that name among the
// resources takes precedence, so a skin can replace any of them.
#pragma once

#include <QIcon>
#include <QImage>
#include <QString>
#include <QStringList>

class QPainter;
class QRectF;

// The icon for a resource name such as "FileIcon/jpg.png".
QIcon FileIcon(const QString &name);

// Draws the icon of `name` at `size` pixels.
QImage RenderFileIcon(const QString &name, int size);

// The red mark of a damaged file, drawn into `badge` (a square).
void DrawDamageBadge(QPainter &painter, const QRectF &badge);

// Every file icon name the catalogue and the file list use.
QStringList FileIconNames();
