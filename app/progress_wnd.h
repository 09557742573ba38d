// Shared machinery of the progress windows: one worker thread, one lock, a
// cancel flag and a done flag.
//
// The worker starts once the window's texts are applied. Engine callbacks run
// in the worker; they take the lock, look at the cancel flag and hand their
// texts to the window's own thread (widgets are only touched there). The user
// interface thread takes the same lock around the cancel question, so no
// callback runs while the question is open; after a yes it sets the cancel
// flag and waits for the worker to set the done flag, which the engine
// notices at its next callback. That wait runs the event loop (without user
// input), so the window keeps painting meanwhile. The worker ends by closing
// the window with a result code, from its own thread.
//
// A window for work that is usually quick (the preview) can stay hidden for
// a moment and appear only when the work takes longer: execShownAfter().
#pragma once

#include <QString>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "language_manager.h"
#include "popup_wnd.h"

class QLabel;
class QProgressBar;

class CProgressWnd : public CPopUpWnd
{
    Q_OBJECT

public:
    // Result codes of a progress window.
    enum Result { Finished = 1, Cancelled = 2, Failed = 3 };

    CProgressWnd(QWidget *owner, const QString &languageSection);
    ~CProgressWnd() override; // waits for the worker

    bool isDone() const { return m_done.load(); }

    // The catalogue keys of a window's cancel question and of the verbs of
    // its two answers.
    struct CancelQuestion
    {
        const char *question;
        const char *stop;
        const char *keep;
    };

    // Starts the work with the window hidden and shows the window modally
    // only if the work is still running after `delayMs`; returns the result
    // code. While hidden, the owner takes no input, as under a modal window.
    int execShownAfter(int delayMs);

    // Why the work failed (the window then ended with Failed): the error's
    // text, or what a throw said; empty otherwise. Read it once the window
    // has closed.
    QString failure() const { return m_failure; }

protected:
    // Starts work() in the worker thread once the window's texts are
    // applied; a window that prepares more calls it when it is ready.
    void onWindowInit() override;

    // The work whose progress the window shows; runs in the worker thread.
    virtual void work() = 0;

    // Under the lock: true when the user has cancelled. For callbacks.
    bool cancelRequested() const { return m_cancel; }
    std::mutex &lock() const { return m_lock; }
    void setDone() { m_done.store(true); }

    // From the worker: ends the work as failed for `reason`.
    void fail(const QString &reason);

    // Asks the question under the lock; on yes sets the cancel flag and
    // waits for the done flag. Returns whether the user said yes; a click
    // while an earlier yes is still waiting asks nothing and returns false.
    bool askToCancel(const CancelQuestion &question);

    // The caption's close button and the "cancelbtn" button: while the work
    // runs, askToCancel(question). Returns whether `name` was one of them;
    // *stopped (when given) tells whether the user stopped the work.
    bool handleCancelButtons(const QString &name, const CancelQuestion &question,
                             bool *stopped = nullptr);

    // A text of the "Messages" section as it was when the window opened;
    // safe to read from the worker.
    QString message(const QString &key) const { return m_messages.value(key); }
    const LanguageManager::SectionMap &messages() const { return m_messages; }

    // The body of an engine callback that reports a bare percentage: under
    // the lock, kCancelCode once the user has cancelled, else 0 after posting
    // "<message `key`> N%" to `label` and N to `bar`.
    int32_t reportPercent(const QString &key, int32_t percent, QLabel *label, QProgressBar *bar);

private:
    // Runs the event loop until the worker has set the done flag.
    void waitForWorker();

    const LanguageManager::SectionMap m_messages;
    mutable std::mutex m_lock;
    bool m_cancel = false; // guarded by m_lock
    std::atomic<bool> m_done{false}; // written by the worker, polled by the UI thread
    bool m_waiting = false; // the UI thread waits for the worker after a yes
    QString m_failure; // written by the worker before it closes the window
    std::thread m_worker;
};
