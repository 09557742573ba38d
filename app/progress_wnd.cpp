#include "progress_wnd.h"

#include <QMetaObject>
#include <QThread>

#include "message_box.h"

namespace {

constexpr unsigned long kDonePollMs = 50;

} // namespace

CProgressWnd::CProgressWnd(QWidget *owner, const QString &languageSection)
    : CPopUpWnd(owner, languageSection)
    , m_messages(LanguageManager::Instance().Section(QStringLiteral("Messages")))
{
}

CProgressWnd::~CProgressWnd()
{
    if (!m_worker.joinable())
        return;
    {
        // A window torn down while its worker runs stops the engine at its
        // next callback instead of leaving it behind.
        std::lock_guard<std::mutex> guard(m_lock);
        m_cancel = true;
    }
    m_worker.join();
}

void CProgressWnd::startWorker(std::function<void()> work)
{
    m_worker = std::thread([this, work = std::move(work)] {
        // Nothing may escape a worker: a fault ends the work as finished.
        try {
            work();
        } catch (...) {
            setDone();
            closeFromAnyThread(Finished);
        }
    });
}

bool CProgressWnd::handleCancelButtons(const QString &name, const QString &questionKey,
                                       bool *stopped)
{
    if (name != QLatin1String("closebtn") && name != QLatin1String("cancelbtn"))
        return false;
    const bool yes = !isDone() && askToCancel(questionKey);
    if (stopped != nullptr)
        *stopped = yes;
    return true;
}

bool CProgressWnd::askToCancel(const QString &questionKey)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (CMessageBox::Show(CMessageBox::Question, this, message(questionKey)) != 1)
            return false;
        m_cancel = true;
    }
    while (!m_done.load())
        QThread::msleep(kDonePollMs);
    return true;
}

void CProgressWnd::post(std::function<void()> apply)
{
    QMetaObject::invokeMethod(this, std::move(apply), Qt::QueuedConnection);
}
