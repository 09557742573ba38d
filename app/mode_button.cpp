#include "mode_button.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionButton>

#include "skin_images.h"

namespace {

constexpr int kPadding = 16;
constexpr int kGap = 16; // between the picture and the texts
constexpr int kTitleGap = 6; // between the title and the description
constexpr int kMinPicture = 56;
constexpr int kMaxPicture = 200;
// Lines of the description are kept to a length that reads easily; on a
// wide card the picture and the texts stand together in its middle.
constexpr int kLineCharacters = 42;
constexpr int kCornerRadius = 10;
// Type sizes in pixels: the smallest is the one heightForWidth() counts on,
// larger ones are taken while the card has the room.
constexpr int kMinTitlePixels = 16;
constexpr int kMaxTitlePixels = 30;
constexpr int kMinDescriptionPixels = 13;
constexpr int kMaxDescriptionPixels = 20;

const QColor kCardBorder(0xD5, 0xDC, 0xE3);
const QColor kTitleColour(0x1F, 0x2A, 0x33);
const QColor kDescriptionColour(0x4F, 0x5B, 0x66);

int PictureSide(const QSize &size)
{
    const int byHeight = (size.height() - 2 * kPadding) * 3 / 5;
    return qBound(kMinPicture, qMin(byHeight, size.width() * 3 / 10), kMaxPicture);
}

QFont WithPixels(QFont font, int pixels, bool bold)
{
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

// White with a touch of `colour`.
QColor Tint(const QColor &colour, float amount)
{
    return QColor::fromRgbF(1 - amount * (1 - colour.redF()), 1 - amount * (1 - colour.greenF()),
                            1 - amount * (1 - colour.blueF()));
}

int WrappedHeight(const QFont &font, int width, const QString &text)
{
    return QFontMetrics(font)
            .boundingRect(QRect(0, 0, qMax(1, width), 100000), Qt::TextWordWrap, text)
            .height();
}

} // namespace

CModeButton::CModeButton(QWidget *parent)
    : QPushButton(parent)
    , m_accent(0x00, 0x89, 0xBE)
{
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::StrongFocus);
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void CModeButton::setPicture(const QString &skinImage)
{
    m_picture = skinImage;
    update();
}

void CModeButton::setDescription(const QString &description)
{
    m_description = description;
    updateGeometry();
    update();
}

void CModeButton::setAccent(const QColor &accent)
{
    m_accent = accent;
    update();
}

QFont CModeButton::titleFont(int height) const
{
    return WithPixels(font(), qBound(kMinTitlePixels, height / 10, kMaxTitlePixels), true);
}

QFont CModeButton::descriptionFont(int height) const
{
    return WithPixels(font(), qBound(kMinDescriptionPixels, height / 15, kMaxDescriptionPixels),
                      false);
}

CModeButton::Layout CModeButton::layoutFor(const QSize &size) const
{
    Layout layout;
    const int side = PictureSide(size);
    const int room = qMax(1, size.width() - 2 * kPadding - side - kGap);

    // The largest type whose block still fits the card, down to the
    // smallest, for which heightForWidth() makes room.
    int textWidth = room;
    int titleHeight = 0;
    int descriptionHeight = 0;
    for (int typeHeight = size.height();; typeHeight -= 16) {
        layout.titleFont = titleFont(typeHeight);
        layout.descriptionFont = descriptionFont(typeHeight);
        textWidth = qMin(room,
                         kLineCharacters * QFontMetrics(layout.descriptionFont).averageCharWidth());
        titleHeight = WrappedHeight(layout.titleFont, textWidth, text());
        descriptionHeight = WrappedHeight(layout.descriptionFont, textWidth, m_description);
        const bool fits
                = titleHeight + kTitleGap + descriptionHeight <= size.height() - 2 * kPadding;
        if (fits || typeHeight <= 0)
            break;
    }
    const int left = kPadding + (room - textWidth) / 2;
    layout.picture = QRect(left, (size.height() - side) / 2, side, side);
    const int textLeft = left + side + kGap;
    const int block = titleHeight + kTitleGap + descriptionHeight;
    const int top = qMax(kPadding, (size.height() - block) / 2);
    layout.title = QRect(textLeft, top, textWidth, titleHeight);
    layout.description
            = QRect(textLeft, top + titleHeight + kTitleGap, textWidth, descriptionHeight);
    return layout;
}

QRect CModeButton::descriptionRect() const
{
    return layoutFor(size()).description;
}

bool CModeButton::descriptionFits() const
{
    return rect().adjusted(0, 0, 0, -kPadding / 2).contains(descriptionRect());
}

int CModeButton::heightForWidth(int width) const
{
    // The picture as large as this width allows, the type as small as it
    // goes: whatever the height, layoutFor() then finds the block fits.
    const int side = qBound(kMinPicture, width * 3 / 10, kMaxPicture);
    const QFont description = descriptionFont(0);
    const int textWidth = qMin(qMax(1, width - 2 * kPadding - side - kGap),
                               kLineCharacters * QFontMetrics(description).averageCharWidth());
    const int block = WrappedHeight(titleFont(0), textWidth, text()) + kTitleGap
            + WrappedHeight(description, textWidth, m_description);
    return 2 * kPadding + qMax(kMinPicture, block);
}

QSize CModeButton::sizeHint() const
{
    constexpr int kPreferredWidth = 380;
    return {kPreferredWidth, heightForWidth(kPreferredWidth)};
}

QSize CModeButton::minimumSizeHint() const
{
    constexpr int kNarrowest = 240;
    return {kNarrowest, heightForWidth(kNarrowest)};
}

void CModeButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool lit = isEnabled() && (underMouse() || hasFocus());
    const QColor fill = isDown() ? Tint(m_accent, 0.12f) : lit ? Tint(m_accent, 0.05f) : Qt::white;
    QPainterPath card;
    card.addRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), kCornerRadius, kCornerRadius);
    painter.fillPath(card, fill);
    painter.setPen(QPen(lit ? m_accent : kCardBorder, lit ? 2 : 1));
    painter.drawPath(card);

    const Layout layout = layoutFor(size());
    painter.drawPixmap(layout.picture, SkinPixmap(m_picture, layout.picture.size()));
    painter.setPen(isEnabled() ? kTitleColour
                               : palette().color(QPalette::Disabled, QPalette::Text));
    painter.setFont(layout.titleFont);
    painter.drawText(layout.title, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text());
    painter.setPen(isEnabled() ? kDescriptionColour
                               : palette().color(QPalette::Disabled, QPalette::Text));
    painter.setFont(layout.descriptionFont);
    painter.drawText(layout.description, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop,
                     m_description);
}
