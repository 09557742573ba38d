// A mode button of the mode page: a card with the mode's picture, its title
// (the button's text) and a description that is always shown beneath the
// title, so that keyboard and touch users read it as well as mouse users.
//
// The card grows with the window: the picture and the type follow the card's
// height, within bounds, so that a large window is filled rather than left
// empty. The description wraps; heightForWidth() tells how high the card must
// be for the whole of it. A focused card is outlined like a hovered one.
#pragma once

#include <QColor>
#include <QPushButton>
#include <QRect>
#include <QString>

class CModeButton : public QPushButton
{
    Q_OBJECT

public:
    explicit CModeButton(QWidget *parent = nullptr);

    // The skin image shown at the card's left ("mode_deep.png").
    void setPicture(const QString &skinImage);
    void setDescription(const QString &description);
    QString description() const { return m_description; }
    // The colour of the outline when hovered or focused.
    void setAccent(const QColor &accent);

    // Where the description is drawn, in the card's coordinates, and
    // whether all of it fits there.
    QRect descriptionRect() const;
    bool descriptionFits() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    struct Layout
    {
        QRect picture;
        QRect title;
        QRect description;
        QFont titleFont;
        QFont descriptionFont;
    };
    // The card's parts and type for a card of `size`.
    Layout layoutFor(const QSize &size) const;
    // The type of a card `height` pixels high.
    QFont titleFont(int height) const;
    QFont descriptionFont(int height) const;

    QString m_picture;
    QString m_description;
    QColor m_accent;
};
