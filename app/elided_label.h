// A one-line label that shows as much of its text as its width allows,
// ending in "…", and the whole text as its tooltip.
//
// text() stays the whole text; only the painting is cut. Its size hint does
// not grow with the text, so a panel of such labels keeps its width whatever
// is selected: the list beside it does not jump. Used for the facts about a
// source, whose values (an image's path, a long volume label) can be of any
// length.
#pragma once

#include <QLabel>

class CElidedLabel : public QLabel
{
    Q_OBJECT

public:
    explicit CElidedLabel(QWidget *parent = nullptr);

    // The text as painted at the current width.
    QString shownText() const;
    bool isElided() const { return shownText() != text(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};
