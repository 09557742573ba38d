#include "banner_bar.h"

#include <QPainter>

#include "skin_images.h"

CBannerBar::CBannerBar(QWidget *parent)
    : QFrame(parent)
{
}

void CBannerBar::setBackground(const QString &skinImage)
{
    m_background = skinImage;
    update();
}

void CBannerBar::paintEvent(QPaintEvent *event)
{
    if (!m_background.isEmpty()) {
        QPainter painter(this);
        painter.drawPixmap(rect(), SkinPixmap(m_background, size()));
    }
    QFrame::paintEvent(event);
}
