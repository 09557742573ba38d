#include "progress_wnd.h"

#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

#include <exception>

#include "message_box.h"
#include "message_format.h"
#include "platform/error_code.h"

namespace {

constexpr int kDonePollMs = 50;

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

void CProgressWnd::onWindowInit()
{
    m_worker = std::thread([this] {
        // Nothing may escape a worker, and a fault is no finished work.
        try {
            work();
        } catch (const std::exception &error) {
            fail(QString::fromUtf8(error.what()));
        } catch (...) {
            fail(QString::fromStdString(vexlo::platform::SystemMessage(vexlo::err::kIoDevice)));
        }
    });
}

void CProgressWnd::fail(const QString &reason)
{
    m_failure = reason;
    setDone();
    closeFromAnyThread(Failed);
}

bool CProgressWnd::handleCancelButtons(const QString &name, const CancelQuestion &question,
                                       bool *stopped)
{
    if (name != QLatin1String("closebtn") && name != QLatin1String("cancelbtn"))
        return false;
    const bool yes = !isDone() && askToCancel(question);
    if (stopped != nullptr)
        *stopped = yes;
    return true;
}

bool CProgressWnd::askToCancel(const CancelQuestion &question)
{
    if (m_waiting)
        return false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        const CMessageBox::Verbs verbs{message(QLatin1String(question.stop)),
                                       message(QLatin1String(question.keep))};
        if (CMessageBox::Show(CMessageBox::Question, this,
                              message(QLatin1String(question.question)), verbs)
            != 1)
            return false;
        m_cancel = true;
    }
    waitForWorker();
    return true;
}

void CProgressWnd::waitForWorker()
{
    if (m_done.load())
        return;
    m_waiting = true;
    QEventLoop loop;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [this, &loop] {
        if (m_done.load())
            loop.quit();
    });
    poll.start(kDonePollMs);
    // Clicks wait until the work has stopped; painting does not.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    m_waiting = false;
}

int CProgressWnd::execShownAfter(int delayMs)
{
    bool finished = false;
    QEventLoop loop;
    const auto connection = connect(this, &QDialog::finished, &loop, [&finished, &loop] {
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(delayMs, &loop, &QEventLoop::quit);
    initialise();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    disconnect(connection);
    return finished ? result() : exec();
}

int32_t CProgressWnd::reportPercent(const QString &key, int32_t percent, QLabel *label,
                                    QProgressBar *bar)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_cancel)
        return vexlo::kCancelCode;
    const QString text = FormatMessage(QStringLiteral("%s %d%%"), {message(key), percent});
    post([label, bar, text, percent] {
        label->setText(text);
        bar->setValue(percent);
    });
    return 0;
}
