// The banner under the caption bar: a skin image stretched across the bar as
// its background, with the page's picture and two lines of guidance on it.
#pragma once

#include <QFrame>
#include <QString>

class CBannerBar : public QFrame
{
    Q_OBJECT

public:
    explicit CBannerBar(QWidget *parent = nullptr);

    // The skin image painted behind the bar's contents ("banner_bg.png").
    void setBackground(const QString &skinImage);
    QString background() const { return m_background; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_background;
};
