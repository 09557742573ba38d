#include "popup_wnd.h"

#include <QAbstractButton>
#include <QLayout>
#include <QLineEdit>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>
#include <QTextEdit>
#include <QWindow>

#include "language_manager.h"

CPopUpWnd::CPopUpWnd(QWidget *owner, const QString &languageSection)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint)
    , m_languageSection(languageSection)
{
    setModal(true);
}

void CPopUpWnd::closeFromAnyThread(int code)
{
    post([this, code] { done(code); });
}

void CPopUpWnd::post(std::function<void()> apply)
{
    {
        std::lock_guard<std::mutex> guard(m_postedLock);
        m_posted.push_back(std::move(apply));
    }
    // Invoked by name, so that no functor of ours crosses Qt's queue.
    QMetaObject::invokeMethod(this, "runPosted", Qt::QueuedConnection);
}

void CPopUpWnd::runPosted()
{
    for (;;) {
        std::function<void()> apply;
        {
            std::lock_guard<std::mutex> guard(m_postedLock);
            if (m_posted.empty())
                return;
            apply = std::move(m_posted.front());
            m_posted.pop_front();
        }
        apply();
    }
}

void CPopUpWnd::connectButtons()
{
    const QList<QAbstractButton *> buttons = findChildren<QAbstractButton *>();
    for (QAbstractButton *button : buttons) {
        connect(button, &QAbstractButton::clicked, this,
                [this, button] { onClick(button->objectName()); });
    }
}

void CPopUpWnd::onClick(const QString &name)
{
    if (name == QLatin1String("okbtn"))
        done(1);
    else if (name == QLatin1String("cancelbtn") || name == QLatin1String("closebtn"))
        done(2);
}

void CPopUpWnd::reject()
{
    onClick(QStringLiteral("closebtn"));
}

void CPopUpWnd::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    initialise();
}

void CPopUpWnd::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    QPainter painter(this);
    painter.setPen(QColor(0xAE, 0xB8, 0xC1));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void CPopUpWnd::initialise()
{
    if (m_initialised)
        return;
    m_initialised = true;
    // Room for the edge paintEvent() draws.
    if (layout() != nullptr)
        layout()->setContentsMargins(1, 1, 1, 1);
    LanguageManager::Instance().ApplySection(this, m_languageSection);
    onWindowInit();
}

bool CPopUpWnd::isCaptionAt(const QPoint &pos) const
{
    if (pos.y() < 0 || pos.y() >= kCaptionHeight)
        return false;
    QWidget *child = childAt(pos);
    return !qobject_cast<QAbstractButton *>(child) && !qobject_cast<QLineEdit *>(child)
            && !qobject_cast<QTextEdit *>(child);
}

void CPopUpWnd::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && isCaptionAt(event->position().toPoint())) {
        // The window system moves the window where it can; elsewhere (and
        // on platforms without system moves) the window follows the mouse.
        if (windowHandle() && windowHandle()->startSystemMove())
            return;
        m_dragging = true;
        m_dragOffset = event->globalPosition().toPoint() - frameGeometry().topLeft();
        return;
    }
    QDialog::mousePressEvent(event);
}

void CPopUpWnd::mouseMoveEvent(QMouseEvent *event)
{
    if (m_dragging) {
        move(event->globalPosition().toPoint() - m_dragOffset);
        return;
    }
    QDialog::mouseMoveEvent(event);
}

void CPopUpWnd::mouseReleaseEvent(QMouseEvent *event)
{
    m_dragging = false;
    QDialog::mouseReleaseEvent(event);
}
