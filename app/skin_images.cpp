#include "skin_images.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmapCache>

#include <array>

#include "platform/paths.h"
#include "skin_drawings.h"

namespace {

struct SkinImage
{
    const char *name;
    QSize naturalSize;
    SkinDrawing::Painter draw;
};

// Banners are shown 70 pixels high, page pictures 50, tab pictures 32, list
// pictures 24; mode pictures up to 120.
const std::array<SkinImage, 20> kImages = {{
        {"banner_bg.png", {1920, 140}, SkinDrawing::SourceBanner},
        {"banner_bg1.png", {1920, 140}, SkinDrawing::ResultBanner},
        {"banner_bg2.png", {1920, 140}, SkinDrawing::FileTypeBanner},
        {"scan_files.png", {100, 100}, SkinDrawing::ScanFiles},
        {"advance_scan.png", {100, 100}, SkinDrawing::AdvanceScan},
        {"recover_file.png", {100, 100}, SkinDrawing::RecoverFile},
        {"btn_scan.png", {64, 64}, SkinDrawing::ScanTab},
        {"btn_create_image.png", {64, 64}, SkinDrawing::CreateImageTab},
        {"removable_drive.png", {48, 48}, SkinDrawing::RemovableDrive},
        {"drive_usb.png", {48, 48}, SkinDrawing::DrivePartition},
        {"usb_drive.png", {48, 48}, SkinDrawing::UsbDrive},
        {"disk.png", {48, 48}, SkinDrawing::FixedDisk},
        {"lock.png", {48, 48}, SkinDrawing::Lock},
        {"image_files.png", {48, 48}, SkinDrawing::ImageFiles},
        {"image_file.png", {48, 48}, SkinDrawing::ImageFile},
        {"mode_deleted.png", {240, 240}, SkinDrawing::ModeDeleted},
        {"mode_formatted.png", {240, 240}, SkinDrawing::ModeFormatted},
        {"mode_deep.png", {240, 240}, SkinDrawing::ModeDeep},
        {"mode_image.png", {240, 240}, SkinDrawing::ModeImage},
        // Shown where the disk list has nothing to show.
        {"no_card.png", {240, 240}, SkinDrawing::NoCard},
}};

const SkinImage *Find(const QString &name)
{
    for (const SkinImage &image : kImages) {
        if (name == QLatin1String(image.name))
            return &image;
    }
    return nullptr;
}

QString SkinFile(const QString &name)
{
    const std::filesystem::path relative = std::filesystem::path("skin") / name.toStdString();
    return QString::fromStdString(vexlo::platform::ResourcePath(relative).string());
}

} // namespace

QImage RenderSkinImage(const QString &name, const QSize &size)
{
    const SkinImage *image = Find(name);
    if (image == nullptr || size.isEmpty())
        return {};
    QImage drawn(size, QImage::Format_ARGB32_Premultiplied);
    drawn.fill(Qt::transparent);
    QPainter painter(&drawn);
    image->draw(painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return drawn;
}

QPixmap SkinPixmap(const QString &name, const QSize &size)
{
    if (Find(name) == nullptr || size.isEmpty())
        return {};
    const qreal ratio = qApp != nullptr ? qApp->devicePixelRatio() : 1.0;
    const QSize pixels = size * ratio;
    // The pixmap cache is bounded: a banner is made again for every width a
    // window is dragged through, and those must not pile up.
    const QString key
            = QStringLiteral("skin:%1@%2x%3").arg(name).arg(pixels.width()).arg(pixels.height());
    QPixmap pixmap;
    if (QPixmapCache::find(key, &pixmap))
        return pixmap;

    QImage image;
    if (const QString file = SkinFile(name); QFileInfo::exists(file))
        image = QImage(file).scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (image.isNull())
        image = RenderSkinImage(name, pixels);
    pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(ratio);
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

QIcon SkinIcon(const QString &name)
{
    QIcon icon;
    for (int side : {16, 22, 24, 32, 48, 64})
        icon.addPixmap(SkinPixmap(name, QSize(side, side)));
    return icon;
}

QStringList SkinImageNames()
{
    QStringList names;
    for (const SkinImage &image : kImages)
        names.append(QLatin1String(image.name));
    return names;
}

QSize SkinImageNaturalSize(const QString &name)
{
    const SkinImage *image = Find(name);
    return image != nullptr ? image->naturalSize : QSize();
}
