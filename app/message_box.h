// The program's own modal message box.
//
// Its kind picks the title (a catalogue key of the "Messages" section) and
// the icon; the caller gives the text, and for a question the verbs of its
// two buttons ("Stop Scan" / "Keep Scanning"), so that neither answer has to
// be guessed from OK and Cancel. It returns 1 when the user confirms
// ("okbtn") and 2 otherwise; every caller treats 1 as yes. An unknown kind is
// shown as an error. The icon stands beside the text, at its first line.
#pragma once

#include <functional>

#include "popup_wnd.h"

namespace Ui {
class MessageBox;
}

class CMessageBox : public CPopUpWnd
{
    Q_OBJECT

public:
    enum Kind { Error = 0, Confirmation = 1, Information = 2, Warning = 3, Question = 4 };

    // What each answer does, as the buttons say it; an empty verb leaves the
    // button's own text ("OK", "Cancel").
    struct Verbs
    {
        QString yes;
        QString no;
    };

    CMessageBox(int kind, QWidget *owner, const QString &text, Verbs verbs = {});
    ~CMessageBox() override;

    // Shows the box modally and returns its result code.
    static int Show(int kind, QWidget *owner, const QString &text, const Verbs &verbs = {});

    // The title key of a kind ("MSG0401" ... "MSG0405").
    static QString TitleKey(int kind);

    // Tests answer boxes through this instead of showing them; null restores
    // the real boxes.
    using Answerer = std::function<int(int kind, const QString &text)>;
    static void SetAnswererForTesting(Answerer answerer);

protected:
    void onWindowInit() override;

private:
    Ui::MessageBox *m_ui;
    Verbs m_verbs;
};
