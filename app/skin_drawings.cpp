#include "skin_drawings.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace SkinDrawing {

namespace {

const QColor kWhite(Qt::white);
const QColor kContactGold(0xF2, 0xC1, 0x4E);
const QColor kSlate(0x4A, 0x5A, 0x6A);
const QColor kPaper(0xF6, 0xF7, 0xF9);

// Maps the 100-unit box onto a rectangle for the lifetime of the object.
class UnitBox
{
public:
    UnitBox(QPainter &painter, const QRectF &rect)
        : m_painter(painter)
    {
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.translate(rect.topLeft());
        painter.scale(rect.width() / 100, rect.height() / 100);
        painter.setPen(Qt::NoPen);
    }
    ~UnitBox() { m_painter.restore(); }
    UnitBox(const UnitBox &) = delete;
    UnitBox &operator=(const UnitBox &) = delete;

private:
    QPainter &m_painter;
};

QColor Mix(const QColor &a, const QColor &b, float towardB)
{
    const float k = 1 - towardB;
    return QColor::fromRgbF(a.redF() * k + b.redF() * towardB,
                            a.greenF() * k + b.greenF() * towardB,
                            a.blueF() * k + b.blueF() * towardB);
}

QColor WithAlpha(QColor colour, int alpha)
{
    colour.setAlpha(alpha);
    return colour;
}

// A memory card: a rounded body whose top right corner is cut off.
QPainterPath CardPath(const QRectF &box)
{
    const qreal cut = box.width() * 0.28;
    const qreal round = box.width() * 0.08;
    QPainterPath path;
    path.moveTo(box.left() + round, box.top());
    path.lineTo(box.right() - cut, box.top());
    path.lineTo(box.right(), box.top() + cut);
    path.lineTo(box.right(), box.bottom() - round);
    path.quadTo(box.bottomRight(), QPointF(box.right() - round, box.bottom()));
    path.lineTo(box.left() + round, box.bottom());
    path.quadTo(box.bottomLeft(), QPointF(box.left(), box.bottom() - round));
    path.lineTo(box.left(), box.top() + round);
    path.quadTo(box.topLeft(), QPointF(box.left() + round, box.top()));
    return path;
}

void DrawCard(QPainter &painter, const QRectF &box, const QColor &body, const QColor &label)
{
    QLinearGradient shade(box.topLeft(), box.bottomLeft());
    shade.setColorAt(0, body.lighter(115));
    shade.setColorAt(1, body.darker(110));
    painter.fillPath(CardPath(box), shade);
    const qreal w = box.width();
    for (int i = 0; i < 4; ++i) {
        painter.fillRect(
                QRectF(box.left() + w * (0.13 + i * 0.13), box.top() + w * 0.07, w * 0.07, w * 0.2),
                kContactGold);
    }
    painter.setBrush(label);
    painter.drawRoundedRect(QRectF(box.left() + w * 0.12, box.top() + box.height() * 0.47, w * 0.76,
                                   box.height() * 0.4),
                            w * 0.05, w * 0.05);
    painter.setBrush(Qt::NoBrush);
}

void DrawMagnifier(QPainter &painter, const QPointF &centre, qreal radius, const QColor &rim,
                   const QColor &lens, qreal width)
{
    const QPointF handleStart = centre + QPointF(radius * 0.72, radius * 0.72);
    const QPointF handleEnd = centre + QPointF(radius * 1.7, radius * 1.7);
    painter.setPen(QPen(rim, width * 1.5, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(handleStart, handleEnd);
    painter.setPen(QPen(rim, width));
    painter.setBrush(lens);
    painter.drawEllipse(centre, radius, radius);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::NoBrush);
}

// The rounded tile behind the banners' page pictures.
void DrawTile(QPainter &painter, const QColor &colour)
{
    QLinearGradient shade(0, 0, 0, 100);
    shade.setColorAt(0, colour.lighter(120));
    shade.setColorAt(1, colour.darker(108));
    painter.setBrush(shade);
    painter.drawRoundedRect(QRectF(2, 2, 96, 96), 22, 22);
    painter.setBrush(Qt::NoBrush);
}

void DrawUpArrow(QPainter &painter, const QPointF &tip, qreal length, qreal width,
                 const QColor &colour)
{
    painter.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawLine(tip + QPointF(0, width * 0.8), tip + QPointF(0, length));
    QPolygonF head;
    head << tip << tip + QPointF(-length * 0.42, length * 0.42)
         << tip + QPointF(length * 0.42, length * 0.42);
    painter.setBrush(colour);
    painter.drawPolygon(head);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::NoBrush);
}

// A page with a folded corner, as a file is drawn.
QPainterPath PagePath(const QRectF &box)
{
    const qreal fold = box.width() * 0.3;
    QPainterPath page;
    page.moveTo(box.topLeft());
    page.lineTo(box.right() - fold, box.top());
    page.lineTo(box.right(), box.top() + fold);
    page.lineTo(box.bottomRight());
    page.lineTo(box.bottomLeft());
    page.closeSubpath();
    return page;
}

void DrawDisc(QPainter &painter, const QPointF &centre, qreal radius, const QColor &colour)
{
    QRadialGradient shine(centre - QPointF(radius * 0.3, radius * 0.3), radius * 1.3);
    shine.setColorAt(0, colour.lighter(150));
    shine.setColorAt(1, colour);
    painter.setBrush(shine);
    painter.drawEllipse(centre, radius, radius);
    painter.setBrush(kWhite);
    painter.drawEllipse(centre, radius * 0.22, radius * 0.22);
    painter.setBrush(Qt::NoBrush);
}

// A card, an arrow and the image file it is copied into, side by side in a
// band `height` units high from `top`.
void DrawCardToImage(QPainter &painter, const QColor &colour, qreal top, qreal height)
{
    DrawCard(painter, QRectF(4, top, 40, height), colour, Mix(colour, kWhite, 0.65f));
    const qreal middle = top + height / 2;
    painter.setPen(QPen(kSlate, 6, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(50, middle), QPointF(58, middle));
    painter.setPen(Qt::NoPen);
    painter.setBrush(kSlate);
    painter.drawPolygon(QPolygonF() << QPointF(57, middle - 9) << QPointF(67, middle)
                                    << QPointF(57, middle + 9));
    painter.setPen(QPen(colour.darker(130), 3));
    painter.setBrush(kPaper);
    painter.drawPath(PagePath(QRectF(70, top, 27, height)));
    painter.setPen(Qt::NoPen);
    DrawDisc(painter, QPointF(83.5, middle + height / 9), height / 6, colour);
}

// A gradient only: a banner is stretched across bars of any width, and
// nothing in it may look stretched.
void DrawBanner(QPainter &painter, const QRectF &rect, const QColor &colour)
{
    QLinearGradient fade(rect.topLeft(), rect.topRight());
    fade.setColorAt(0, Mix(colour, kWhite, 0.8f));
    fade.setColorAt(0.45, Mix(colour, kWhite, 0.93f));
    fade.setColorAt(1, kWhite);
    painter.fillRect(rect, fade);
    const qreal line = qMax(qreal(1), rect.height() / 35);
    painter.fillRect(QRectF(rect.left(), rect.bottom() - line, rect.width(), line),
                     WithAlpha(colour, 120));
}

} // namespace

void SourceBanner(QPainter &painter, const QRectF &rect)
{
    DrawBanner(painter, rect, kSourceColour);
}

void ResultBanner(QPainter &painter, const QRectF &rect)
{
    DrawBanner(painter, rect, kResultColour);
}

void FileTypeBanner(QPainter &painter, const QRectF &rect)
{
    DrawBanner(painter, rect, kFileTypeColour);
}

void ScanFiles(QPainter &painter, const QRectF &rect)
{
    UnitBox box(painter, rect);
    DrawTile(painter, kSourceColour);
    DrawCard(painter, QRectF(17, 14, 42, 58), kWhite, Mix(kSourceColour, kWhite, 0.7f));
    DrawMagnifier(painter, QPointF(60, 58), 16, kWhite, WithAlpha(kSourceColour.darker(140), 200),
                  6);
}

void AdvanceScan(QPainter &painter, const QRectF &rect)
{
    UnitBox box(painter, rect);
    DrawTile(painter, kFileTypeColour);
    const struct
    {
        qreal y;
        qreal knob;
    } sliders[] = {{30, 38}, {50, 66}, {70, 30}};
    for (const auto &slider : sliders) {
        painter.setPen(QPen(kWhite, 6, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(22, slider.y), QPointF(78, slider.y));
        painter.setPen(Qt::NoPen);
        painter.setBrush(kWhite);
        painter.drawEllipse(QPointF(slider.knob, slider.y), 9, 9);
        painter.setBrush(kFileTypeColour);
        painter.drawEllipse(QPointF(slider.knob, slider.y), 4, 4);
    }
}

void RecoverFile(QPainter &painter, const QRectF &rect)
{
    UnitBox box(painter, rect);
    DrawTile(painter, kResultColour);
    // A landscape photo...
    painter.setBrush(kWhite);
    painter.drawRoundedRect(QRectF(14, 18, 56, 46), 5, 5);
    painter.setBrush(Mix(kResultColour, kWhite, 0.75f));
    painter.drawRect(QRectF(19, 23, 46, 36));
    QPolygonF hills;
    hills << QPointF(19, 59) << QPointF(34, 38) << QPointF(44, 50) << QPointF(52, 42)
          << QPointF(65, 59);
    painter.setBrush(kResultColour);
    painter.drawPolygon(hills);
    painter.setBrush(kWhite);
    painter.drawEllipse(QPointF(55, 31), 4.5, 4.5);
    // ... coming back up out of the card.
    painter.setBrush(kWhite);
    painter.drawEllipse(QPointF(70, 70), 19, 19);
    DrawUpArrow(painter, QPointF(70, 56), 24, 6, kResultColour);
}

void ScanTab(QPainter &painter, const QRectF &rect)
{
    UnitBox box(painter, rect);
    DrawMagnifier(painter, QPointF(42, 42), 25, kSourceColour, Mix(kSourceColour, kWhite, 0.8f), 9);
}

void CreateImageTab(QPainter &painter, const QRectF &rect)
{
    UnitBox box(painter, rect);
    DrawCardToImage(painter, kSourceColour, 18, 54);
}

void RemovableDrive(QPainter &painter, const QRectF &rect)
{
    UnitBox box(painter, rect);
    DrawCard(painter, QRectF(20, 6, 60, 88), kSlate, kSourceColour);
}

void DrivePartition(QPainter &painter, const QRectF &rect)
{
    UnitBox box(painter, rect);
    QLinearGradient shade(0, 26, 0, 76);
    shade.setColorAt(0, QColor(0xDD, 0xE3, 0xE9));
    shade.setColorAt(1, QColor(0xAE, 0xB9, 0xC4));
    painter.setBrush(shade);
    painter.setPen(QPen(kSlate, 3));
    painter.drawRoundedRect(QRectF(8, 26, 84, 50), 9, 9);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kSourceColour);
    painter.drawRoundedRect(QRectF(18, 56, 46, 8), 3, 3);
    painter.setBrush(QColor(0x3C, 0xC4, 0x5A));
    painter.drawEllipse(QPointF(79, 60), 5, 5);
}

void UsbDrive(QPainter &painter, const QRectF &rect)
{
    UnitBox box(painter, rect);
    // Drawn upright like the card, the plug on top, so the two read alike.
    painter.setBrush(QColor(0xC9, 0xD0, 0xD6));
    painter.setPen(QPen(kSlate, 3));
    painter.drawRect(QRectF(33, 6, 34, 26));
    painter.setPen(Qt::NoPen);
    painter.setBrush(kSlate);
    painter.drawRect(QRectF(40, 13, 7, 7));
    painter.drawRect(QRectF(53, 13, 7, 7));
    QLinearGradient shade(0, 30, 0, 94);
    shade.setColorAt(0, kSourceColour.lighter(120));
    shade.setColorAt(1, kSourceColour.darker(115));
    painter.setBrush(shade);
    painter.drawRoundedRect(QRectF(24, 30, 52, 64), 9, 9);
    painter.setBrush(kWhite);
    painter.drawEllipse(QPointF(50, 78), 5, 5);
}

void FixedDisk(QPainter &painter, const QRectF &rect)
{
    UnitBox box(painter, rect);
    QLinearGradient shade(0, 8, 0, 92);
    shade.setColorAt(0, QColor(0x9A, 0xA6, 0xB2));
    shade.setColorAt(1, kSlate);
    painter.setBrush(shade);
    painter.drawRoundedRect(QRectF(14, 8, 72, 84), 8, 8);
    DrawDisc(painter, QPointF(50, 44), 28, kSlate.lighter(160));
    painter.setPen(QPen(kPaper, 5, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(74, 80), QPointF(56, 52));
}

void Lock(QPainter &painter, const QRectF &rect)
{
    UnitBox box(painter, rect);
    painter.setPen(QPen(kSlate, 10, Qt::SolidLine, Qt::FlatCap));
    painter.drawArc(QRectF(29, 8, 42, 50), 0, 180 * 16);
    painter.drawLine(QPointF(29, 33), QPointF(29, 46));
    painter.drawLine(QPointF(71, 33), QPointF(71, 46));
    painter.setPen(Qt::NoPen);
    painter.setBrush(kContactGold.darker(115));
    painter.drawRoundedRect(QRectF(16, 44, 68, 50), 8, 8);
    painter.setBrush(kSlate);
    painter.drawEllipse(QPointF(50, 63), 7, 7);
    painter.drawRect(QRectF(47, 66, 6, 16));
}

void ImageFiles(QPainter &painter, const QRectF &rect)
{
    UnitBox box(painter, rect);
    const QColor folder(0xE8, 0xB3, 0x3A);
    painter.setBrush(folder.darker(112));
    painter.drawRoundedRect(QRectF(6, 16, 40, 20), 5, 5);
    painter.setBrush(folder);
    painter.drawRoundedRect(QRectF(6, 26, 88, 62), 7, 7);
    DrawDisc(painter, QPointF(50, 57), 21, kImageColour);
}

void ImageFile(QPainter &painter, const QRectF &rect)
{
    UnitBox box(painter, rect);
    painter.setPen(QPen(kSlate, 4));
    painter.setBrush(kPaper);
    painter.drawPath(PagePath(QRectF(18, 6, 64, 88)));
    painter.setPen(Qt::NoPen);
    DrawDisc(painter, QPointF(50, 60), 22, kImageColour);
}

void NoCard(QPainter &painter, const QRectF &rect)
{
    UnitBox box(painter, rect);
    const QColor grey(0xA0, 0xAA, 0xB4);
    painter.setPen(QPen(grey, 3, Qt::DashLine));
    painter.drawPath(CardPath(QRectF(24, 8, 52, 76)));
    painter.setPen(Qt::NoPen);
    // An arrow pointing into the empty place: put a card in.
    painter.translate(50, 50);
    painter.rotate(180);
    painter.translate(-50, -50);
    DrawUpArrow(painter, QPointF(50, 34), 34, 6, WithAlpha(kSourceColour, 170));
}

void ModeDeleted(QPainter &painter, const QRectF &rect)
{
    UnitBox box(painter, rect);
    // The file leaving the bin, tilted as if lifted out.
    painter.save();
    painter.translate(62, 22);
    painter.rotate(14);
    painter.setPen(QPen(kDeletedColour.darker(120), 3));
    painter.setBrush(kWhite);
    painter.drawPath(PagePath(QRectF(-13, -20, 26, 34)));
    painter.restore();
    QLinearGradient shade(0, 30, 0, 94);
    shade.setColorAt(0, kDeletedColour.lighter(115));
    shade.setColorAt(1, kDeletedColour.darker(112));
    painter.setBrush(shade);
    painter.drawRoundedRect(QRectF(18, 28, 64, 10), 4, 4);
    QPolygonF body;
    body << QPointF(24, 42) << QPointF(76, 42) << QPointF(71, 94) << QPointF(29, 94);
    painter.drawPolygon(body);
    painter.setBrush(kDeletedColour.darker(125));
    painter.drawRoundedRect(QRectF(41, 22, 18, 8), 3, 3);
    DrawUpArrow(painter, QPointF(50, 52), 32, 7, kWhite);
}

void ModeFormatted(QPainter &painter, const QRectF &rect)
{
    UnitBox box(painter, rect);
    DrawCard(painter, QRectF(20, 4, 60, 92), kFormattedColour, kWhite);
    // A circle arrow on the label: the card that was started over.
    painter.setPen(QPen(kFormattedColour, 6, Qt::SolidLine, Qt::RoundCap));
    const QRectF ring(38, 55, 24, 24);
    painter.drawArc(ring, 100 * 16, 280 * 16);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kFormattedColour);
    const QPointF end(ring.center().x() - 2, ring.top());
    painter.drawPolygon(QPolygonF()
                        << end + QPointF(-1, -8) << end + QPointF(9, 0) << end + QPointF(-1, 8));
}

void ModeDeep(QPainter &painter, const QRectF &rect)
{
    UnitBox box(painter, rect);
    // Every sector of the card, some of them holding found files.
    const QColor empty = Mix(kDeepColour, kWhite, 0.8f);
    for (int row = 0; row < 5; ++row) {
        for (int column = 0; column < 5; ++column) {
            const bool found = (row * 5 + column) % 3 == 1;
            painter.setBrush(found ? kDeepColour : empty);
            painter.drawRoundedRect(QRectF(6 + column * 15, 6 + row * 15, 12, 12), 2.5, 2.5);
        }
    }
    DrawMagnifier(painter, QPointF(58, 56), 21, kDeepColour.darker(135), WithAlpha(kWhite, 170), 8);
}

void ModeImage(QPainter &painter, const QRectF &rect)
{
    UnitBox box(painter, rect);
    DrawCardToImage(painter, kImageColour, 16, 62);
}

} // namespace SkinDrawing
