// The small pop-up behind the caption's "Like it?" button: the product's
// name and a word of thanks, closed by either of its buttons. It reaches no
// network; the texts come from the "LikeItWnd" language section and the
// product name from the message catalogue.
#pragma once

#include "popup_wnd.h"

namespace Ui {
class LikeItWnd;
}

class CLikeItWnd : public CPopUpWnd
{
    Q_OBJECT

public:
    static constexpr int kWidth = 520;
    static constexpr int kHeight = 230;

    explicit CLikeItWnd(QWidget *owner);
    ~CLikeItWnd() override;

protected:
    void onWindowInit() override;

private:
    Ui::LikeItWnd *m_ui;
};
