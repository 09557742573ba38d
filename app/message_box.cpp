#include "message_box.h"

#include <QApplication>
#include <QStyle>

#include "language_manager.h"
#include "ui_MessageBox.h"

namespace {

constexpr int kIconSide = 40;

CMessageBox::Answerer &answerer()
{
    static CMessageBox::Answerer instance;
    return instance;
}

QStyle::StandardPixmap iconOf(int kind)
{
    switch (kind) {
    case CMessageBox::Confirmation:
    case CMessageBox::Question:
        return QStyle::SP_MessageBoxQuestion;
    case CMessageBox::Information:
        return QStyle::SP_MessageBoxInformation;
    case CMessageBox::Warning:
        return QStyle::SP_MessageBoxWarning;
    default:
        return QStyle::SP_MessageBoxCritical;
    }
}

bool asksForAnswer(int kind)
{
    return kind == CMessageBox::Confirmation || kind == CMessageBox::Question;
}

} // namespace

CMessageBox::CMessageBox(int kind, QWidget *owner, const QString &text, Verbs verbs)
    : CPopUpWnd(owner, QStringLiteral("MessageBox"))
    , m_ui(new Ui::MessageBox)
    , m_verbs(std::move(verbs))
{
    m_ui->setupUi(this);
    connectButtons();
    LanguageManager &catalogue = LanguageManager::Instance();
    const QString title = catalogue.Text(QStringLiteral("Messages"), TitleKey(kind));
    m_ui->title->setText(title);
    setWindowTitle(title);
    m_ui->message->setText(text);
    m_ui->icon->setPixmap(style()->standardIcon(iconOf(kind)).pixmap(kIconSide, kIconSide));
    m_ui->cancelbtn->setVisible(asksForAnswer(kind));
    m_ui->okbtn->setDefault(true);
}

void CMessageBox::onWindowInit()
{
    // The verbs replace the section's general "OK" and "Cancel", which the
    // window has just applied.
    if (!m_verbs.yes.isEmpty())
        m_ui->okbtn->setText(m_verbs.yes);
    if (!m_verbs.no.isEmpty())
        m_ui->cancelbtn->setText(m_verbs.no);
    adjustSize();
}

CMessageBox::~CMessageBox()
{
    delete m_ui;
}

QString CMessageBox::TitleKey(int kind)
{
    switch (kind) {
    case Confirmation:
        return QStringLiteral("MSG0402");
    case Information:
        return QStringLiteral("MSG0403");
    case Warning:
        return QStringLiteral("MSG0405");
    case Question:
        return QStringLiteral("MSG0404");
    default:
        return QStringLiteral("MSG0401");
    }
}

int CMessageBox::Show(int kind, QWidget *owner, const QString &text, const Verbs &verbs)
{
    if (answerer())
        return answerer()(kind, text);
    CMessageBox box(kind, owner, text, verbs);
    return box.exec();
}

void CMessageBox::SetAnswererForTesting(Answerer answerer_)
{
    answerer() = std::move(answerer_);
}
