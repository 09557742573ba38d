// The program's own modal message box.
//
// Its kind picks the title (a catalogue key of the "Messages" section) and
// the icon; the caller gives the text. It returns 1 when the user confirms
// ("okbtn") and 2 otherwise; every caller treats 1 as yes. An unknown kind is
// shown as an error.
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

    CMessageBox(int kind, QWidget *owner, const QString &text);
    ~CMessageBox() override;

    // Shows the box modally and returns its result code.
    static int Show(int kind, QWidget *owner, const QString &text);

    // The title key of a kind ("MSG0401" ... "MSG0405").
    static QString TitleKey(int kind);

    // Tests answer boxes through this instead of showing them; null restores
    // the real boxes.
    using Answerer = std::function<int(int kind, const QString &text)>;
    static void SetAnswererForTesting(Answerer answerer);

private:
    Ui::MessageBox *m_ui;
};
