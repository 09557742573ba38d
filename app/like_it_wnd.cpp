#include "like_it_wnd.h"

#include "language_manager.h"
#include "ui_LikeItWnd.h"

CLikeItWnd::CLikeItWnd(QWidget *owner)
    : CPopUpWnd(owner, QStringLiteral("LikeItWnd"))
    , m_ui(new Ui::LikeItWnd)
{
    m_ui->setupUi(this);
    setFixedSize(kWidth, kHeight);
    connectButtons();
    m_ui->okbtn->setDefault(true);
    QFont name = m_ui->LblProductName->font();
    name.setPointSizeF(name.pointSizeF() * 1.5);
    name.setBold(true);
    m_ui->LblProductName->setFont(name);
}

CLikeItWnd::~CLikeItWnd()
{
    delete m_ui;
}

void CLikeItWnd::onWindowInit()
{
    m_ui->LblProductName->setText(LanguageManager::Instance().Text(QStringLiteral("Messages"),
                                                                   QStringLiteral("MSG1209")));
    setWindowTitle(m_ui->title->text());
}
