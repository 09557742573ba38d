// Base of every pop-up window: the message box and the progress windows.
//
// A pop-up is a frameless modal dialog laid out by its form (a Designer file
// of skin/xml/ compiled into the class). When it is first shown it applies
// the language section named after the window to the controls whose object
// names are that section's keys. The buttons "okbtn", "cancelbtn" and
// "closebtn" close it with 1, 2 and 2 unless a subclass handles them in
// onClick(). The caption band at the top (kCaptionHeight pixels) drags the
// window, except over buttons, options and text fields.
#pragma once

#include <QDialog>
#include <QPoint>
#include <QString>

#include <deque>
#include <functional>
#include <mutex>

class CPopUpWnd : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kCaptionHeight = 32;

    CPopUpWnd(QWidget *owner, const QString &languageSection);

    QString languageSection() const { return m_languageSection; }

    // Closes the window with `code` from any thread; the close happens in the
    // window's own thread, after everything posted before it.
    void closeFromAnyThread(int code);

    // Runs `apply` in the window's own thread, in the order posted; callable
    // from any thread. The calls wait in a queue under a lock of our own
    // rather than inside Qt's event queue: Debian's Qt libraries are not built
    // with ThreadSanitizer, which could then not see what orders the worker's
    // writes before the window's reads.
    void post(std::function<void()> apply);

    // Applies the window's texts and runs onWindowInit(), once; showing the
    // window does it too. For windows that work before they are shown.
    void initialise();

protected:
    // Connects every button of the form to onClick(); call after setupUi().
    void connectButtons();

    // A click on the button named `name`; the default closes with 1 for
    // "okbtn" and 2 for "cancelbtn" and "closebtn".
    virtual void onClick(const QString &name);

    // Runs once, when the window is first shown and its texts are applied.
    virtual void onWindowInit() { }

    void showEvent(QShowEvent *event) override;
    // A frameless window draws its own edge.
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void reject() override; // Escape behaves as the close button

private:
    bool isCaptionAt(const QPoint &pos) const;
    Q_INVOKABLE void runPosted();

    std::mutex m_postedLock;
    std::deque<std::function<void()>> m_posted; // guarded by m_postedLock

    QString m_languageSection;
    bool m_initialised = false;
    bool m_dragging = false;
    QPoint m_dragOffset;
};
