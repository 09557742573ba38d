#include "file_icons.h"

#include <QFileInfo>
#include <QHash>
#include <QPainter>
#include <QPainterPath>

#include <set>

#include "catalogue/type_options.h"
#include "platform/paths.h"

namespace {

using vexlo::catalogue::TypeBoxId;

constexpr int kIconSize = 32;

// One colour per category, so a list of files reads by colour first.
QColor categoryColour(TypeBoxId box)
{
    switch (box) {
    case TypeBoxId::kPhoto:
        return QColor(0x2E, 0x9E, 0x5B);
    case TypeBoxId::kAudio:
        return QColor(0x8E, 0x44, 0xAD);
    case TypeBoxId::kVideo:
        return QColor(0xE0, 0x6C, 0x1B);
    case TypeBoxId::kOffice:
        return QColor(0x2A, 0x6F, 0xC9);
    case TypeBoxId::kZip:
        return QColor(0xB0, 0x8A, 0x1E);
    default:
        return QColor(0x6B, 0x73, 0x7C);
    }
}

struct IconStyle
{
    QColor colour;
    QString label;
    bool folder = false;
};

// The generic icons of the file list by their stem.
const QHash<QString, IconStyle> &genericStyles()
{
    static const QHash<QString, IconStyle> styles = {
            {QStringLiteral("image"), {categoryColour(TypeBoxId::kPhoto), QStringLiteral("IMG")}},
            {QStringLiteral("music"), {categoryColour(TypeBoxId::kAudio), QStringLiteral("AUD")}},
            {QStringLiteral("video"), {categoryColour(TypeBoxId::kVideo), QStringLiteral("VID")}},
            {QStringLiteral("doc"), {categoryColour(TypeBoxId::kOffice), QStringLiteral("DOC")}},
            {QStringLiteral("zip"), {categoryColour(TypeBoxId::kZip), QStringLiteral("ZIP")}},
            {QStringLiteral("exe"), {QColor(0x44, 0x44, 0x44), QStringLiteral("EXE")}},
            {QStringLiteral("default"), {categoryColour(TypeBoxId::kOther), QString()}},
            {QStringLiteral("folder"), {QColor(0xE8, 0xB3, 0x3A), QString(), true}},
    };
    return styles;
}

IconStyle styleOf(const QString &stem)
{
    if (const auto it = genericStyles().constFind(stem); it != genericStyles().constEnd())
        return it.value();
    // A type option's icon: coloured by the box of the first option using it.
    const QString name = QStringLiteral("FileIcon/") + stem + QStringLiteral(".png");
    for (const auto &box : vexlo::catalogue::TypeBoxes()) {
        for (const auto &option : box.options) {
            if (QLatin1String(option.icon.data(), option.icon.size()) == name) {
                QString label = stem.section(u'_', 0, 0).toUpper().left(4);
                if (stem.endsWith(QLatin1String("_default")))
                    label.clear();
                return {categoryColour(box.id), label};
            }
        }
    }
    return {categoryColour(TypeBoxId::kOther), stem.toUpper().left(4)};
}

void drawFolder(QPainter &painter, int size, const QColor &colour)
{
    const qreal s = size;
    QPainterPath path;
    path.moveTo(s * 0.06, s * 0.22);
    path.lineTo(s * 0.40, s * 0.22);
    path.lineTo(s * 0.48, s * 0.32);
    path.lineTo(s * 0.94, s * 0.32);
    path.lineTo(s * 0.94, s * 0.84);
    path.lineTo(s * 0.06, s * 0.84);
    path.closeSubpath();
    painter.fillPath(path, colour);
}

void drawPage(QPainter &painter, int size, const IconStyle &style)
{
    const qreal s = size;
    const qreal fold = s * 0.28;
    QPainterPath page;
    page.moveTo(s * 0.16, s * 0.04);
    page.lineTo(s * 0.84 - fold, s * 0.04);
    page.lineTo(s * 0.84, s * 0.04 + fold);
    page.lineTo(s * 0.84, s * 0.96);
    page.lineTo(s * 0.16, s * 0.96);
    page.closeSubpath();
    painter.fillPath(page, QColor(0xF4, 0xF6, 0xF8));
    painter.setPen(QPen(style.colour.darker(115), qMax(1.0, s / 32)));
    painter.drawPath(page);
    painter.fillRect(QRectF(s * 0.16, s * 0.50, s * 0.68, s * 0.30), style.colour);
    if (!style.label.isEmpty()) {
        QFont font;
        font.setBold(true);
        font.setPixelSize(qMax(6, int(s * (style.label.size() > 3 ? 0.17 : 0.21))));
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(QRectF(s * 0.16, s * 0.50, s * 0.68, s * 0.30), Qt::AlignCenter,
                         style.label);
    }
}

} // namespace

void DrawDamageBadge(QPainter &painter, const QRectF &badge)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xD6, 0x2A, 0x2A));
    painter.drawEllipse(badge);
    painter.setPen(QPen(Qt::white, qMax(1.5, badge.width() / 6.5), Qt::SolidLine, Qt::RoundCap));
    const qreal m = badge.width() * 0.3;
    painter.drawLine(badge.topLeft() + QPointF(m, m), badge.bottomRight() - QPointF(m, m));
    painter.drawLine(badge.topRight() + QPointF(-m, m), badge.bottomLeft() + QPointF(m, -m));
    painter.restore();
}

QImage RenderFileIcon(const QString &name, int size)
{
    QString stem = QFileInfo(name).completeBaseName();
    const bool damaged = stem.endsWith(QLatin1String("_error"));
    if (damaged)
        stem.chop(int(qstrlen("_error")));
    const IconStyle style = styleOf(stem);

    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    if (style.folder)
        drawFolder(painter, size, style.colour);
    else
        drawPage(painter, size, style);
    if (damaged)
        DrawDamageBadge(painter, QRectF(size * 0.52, size * 0.52, size * 0.46, size * 0.46));
    return image;
}

QIcon FileIcon(const QString &name)
{
    const QString file
            = QString::fromStdString(vexlo::platform::ResourcePath(name.toStdString()).string());
    if (QFileInfo::exists(file))
        return QIcon(file);
    return QIcon(QPixmap::fromImage(RenderFileIcon(name, kIconSize)));
}

QStringList FileIconNames()
{
    std::set<QString> names;
    for (const auto &box : vexlo::catalogue::TypeBoxes()) {
        for (const auto &option : box.options)
            names.insert(QString::fromUtf8(option.icon.data(), qsizetype(option.icon.size())));
    }
    for (const char *stem : {"image", "music", "video", "doc", "zip", "exe", "default"}) {
        names.insert(QStringLiteral("FileIcon/%1.png").arg(QLatin1String(stem)));
        names.insert(QStringLiteral("FileIcon/%1_error.png").arg(QLatin1String(stem)));
    }
    names.insert(QStringLiteral("FileIcon/folder.png"));
    return QStringList(names.begin(), names.end());
}
