// The drawings behind the skin's images, each painted into any rectangle.
//
// Every drawing works in a box of 100 × 100 units scaled onto its rectangle
// (banners alone use the rectangle as it is, because they stretch across a
// whole bar). Colours are the pages' own: blue for choosing a source, orange
// for file types, green for results, so a picture tells the page apart
// before its words are read.
#pragma once

#include <QColor>
#include <QRectF>

class QPainter;

namespace SkinDrawing {

// The colour of each page and mode, shared with the windows that tint their
// texts alike.
inline const QColor kSourceColour{0x00, 0x89, 0xBE};
inline const QColor kFileTypeColour{0xE4, 0x71, 0x00};
inline const QColor kResultColour{0x31, 0x6D, 0x1E};
inline const QColor kDeletedColour{0x00, 0x89, 0xBE};
inline const QColor kFormattedColour{0xE4, 0x71, 0x00};
inline const QColor kDeepColour{0x2E, 0x8B, 0x57};
inline const QColor kImageColour{0x6A, 0x5A, 0xB8};

using Painter = void (*)(QPainter &painter, const QRectF &rect);

// A bar of the page colour fading to white.
void SourceBanner(QPainter &painter, const QRectF &rect);
void ResultBanner(QPainter &painter, const QRectF &rect);
void FileTypeBanner(QPainter &painter, const QRectF &rect);

// The banners' page pictures.
void ScanFiles(QPainter &painter, const QRectF &rect); // a card under a magnifier
void AdvanceScan(QPainter &painter, const QRectF &rect); // sliders that pick types
void RecoverFile(QPainter &painter, const QRectF &rect); // a photo coming back

// Tab pictures.
void ScanTab(QPainter &painter, const QRectF &rect);
void CreateImageTab(QPainter &painter, const QRectF &rect);

// Disk-list pictures.
void RemovableDrive(QPainter &painter, const QRectF &rect); // a memory card
void DrivePartition(QPainter &painter, const QRectF &rect); // one volume of it
void UsbDrive(QPainter &painter, const QRectF &rect); // a stick or card reader on USB
void FixedDisk(QPainter &painter, const QRectF &rect); // a built-in disk
void Lock(QPainter &painter, const QRectF &rect); // a volume the system would not open
void ImageFiles(QPainter &painter, const QRectF &rect); // the group of image files
void ImageFile(QPainter &painter, const QRectF &rect); // one image file
void NoCard(QPainter &painter, const QRectF &rect); // the empty place of a card

// The mode buttons' pictures.
void ModeDeleted(QPainter &painter, const QRectF &rect); // a bin giving a file back
void ModeFormatted(QPainter &painter, const QRectF &rect); // a card starting over
void ModeDeep(QPainter &painter, const QRectF &rect); // a lens over every sector
void ModeImage(QPainter &painter, const QRectF &rect); // a card copied to a file

} // namespace SkinDrawing
