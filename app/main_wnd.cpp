#include "main_wnd.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QDesktopServices>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QScrollBar>
#include <QUrl>
#include <QVBoxLayout>

#include "file_icons.h"
#include "language_manager.h"
#include "ui_skin.h"

using vexlo::catalogue::TypeBox;
using vexlo::catalogue::TypeBoxId;
using vexlo::catalogue::TypeOption;

namespace {

constexpr int kOptionsPerRow = 4;
constexpr int kOptionWidth = 180;
// Heights of the six boxes on the file-type page, in box order.
constexpr int kBoxHeights[] = {220, 120, 180, 140, 100, 60};

const char *const kHelpAddress = "https://vexlo.example/sd-recovery/help";

QString qs(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

CMainWnd::CMainWnd(QWidget *parent)
    : QWidget(parent)
    , m_ui(new Ui::FileRecoveryWnd)
{
    m_ui->setupUi(this);
    setWindowTitle(QStringLiteral("Vexlo SD Card Data Recovery"));
    setMinimumSize(1000, 650);
    buildFileTypePage();
    buildAssistMenu();
    tieCategoryCheckBoxes();

    for (QWidget *button : {static_cast<QWidget *>(m_ui->BtnDeletedRecovery),
                            static_cast<QWidget *>(m_ui->BtnFormattedRecovery),
                            static_cast<QWidget *>(m_ui->BtnDeepRecovery),
                            static_cast<QWidget *>(m_ui->BtnCreateImageMode)}) {
        button->installEventFilter(this);
    }
    connect(m_ui->BtnDeletedRecovery, &QPushButton::clicked, this, [this] {
        m_imageMode = false;
        showPage(kSourcePage);
    });
    for (QPushButton *button :
         {m_ui->BtnFormattedRecovery, m_ui->BtnDeepRecovery, m_ui->BtnStart}) {
        connect(button, &QPushButton::clicked, this, [this] {
            m_imageMode = false;
            showPage(kSourcePage);
        });
    }
    connect(m_ui->BtnCreateImageMode, &QPushButton::clicked, this, [this] {
        m_imageMode = true;
        showPage(kSourcePage);
    });
    connect(m_ui->TabScan, &QPushButton::clicked, this, [this] { showPage(kSourcePage); });
    connect(m_ui->TabFileType, &QPushButton::clicked, this, [this] { showPage(kFileTypePage); });
    connect(m_ui->TabRecover, &QPushButton::clicked, this, [this] { showPage(kResultPage); });
    connect(m_ui->BtnPrev, &QPushButton::clicked, this, [this] {
        const int page = m_ui->TabPage->currentIndex();
        if (page != kModePage)
            showPage(page == kSourcePage ? kModePage : kSourcePage);
    });
    connect(m_ui->BtnNext, &QPushButton::clicked, this, [this] {
        const int page = m_ui->TabPage->currentIndex();
        if (page == kModePage)
            showPage(kSourcePage);
        else if (page == kFileTypePage)
            showPage(kResultPage);
    });
    connect(this, &CMainWnd::languageChanged, this, &CMainWnd::applyLanguage, Qt::QueuedConnection);

    applyLanguage();
    showPage(kModePage);
}

CMainWnd::~CMainWnd()
{
    delete m_ui;
}

QString CMainWnd::message(const char *key) const
{
    return LanguageManager::Instance().Text(QStringLiteral("Messages"), QLatin1String(key));
}

void CMainWnd::applyLanguage()
{
    LanguageManager::Instance().ApplySection(this, QStringLiteral("MainWnd"));
    m_ui->LblProductName->setText(message("MSG1209"));
    rewritePageTexts();
}

void CMainWnd::showPage(int page)
{
    m_ui->TabPage->setCurrentIndex(page);
    const bool modePage = page == kModePage;
    m_ui->ToolBar2->setVisible(!modePage);
    m_ui->ToolBar3->setVisible(!modePage);
    m_ui->SubBar2->setVisible(!modePage);
    m_ui->SubBar1->setVisible(modePage);
    m_ui->SelectedFileInfo->setVisible(page == kResultPage);
    m_ui->BtnScan->setVisible(page == kSourcePage ? !m_imageMode : page == kFileTypePage);
    m_ui->BtnRecover->setVisible(page == kResultPage);
    m_ui->TabRecover->setVisible(!(page == kSourcePage && m_imageMode));
    if (page == kSourcePage)
        m_ui->TabScan->setChecked(true);
    else if (page == kFileTypePage)
        m_ui->TabFileType->setChecked(true);
    else if (page == kResultPage)
        m_ui->TabRecover->setChecked(true);
    rewritePageTexts();
}

void CMainWnd::rewritePageTexts()
{
    switch (m_ui->TabPage->currentIndex()) {
    case kSourcePage:
        m_ui->TabScan->setText(message(m_imageMode ? "MSG0211" : "MSG0503"));
        m_ui->Txt1->setText(message(m_imageMode ? "MSG0212" : "MSG0501"));
        m_ui->Txt2->setText(message(m_imageMode ? "MSG0213" : "MSG0502"));
        break;
    case kFileTypePage:
        m_ui->Txt1->setText(message("MSG0601"));
        m_ui->Txt2->setText(message("MSG0602"));
        break;
    case kResultPage:
        m_ui->Txt1->setText(message("MSG0801"));
        break;
    default:
        break;
    }
}

bool CMainWnd::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Enter) {
        const char *key = watched == m_ui->BtnDeletedRecovery ? "MSG0101"
                : watched == m_ui->BtnFormattedRecovery       ? "MSG0102"
                : watched == m_ui->BtnDeepRecovery            ? "MSG0103"
                                                              : "MSG0104";
        m_ui->TxtMainInfo->setText(message(key));
    }
    return QWidget::eventFilter(watched, event);
}

void CMainWnd::buildFileTypePage()
{
    auto *boxesLayout = qobject_cast<QVBoxLayout *>(m_ui->FileTypeBoxes->layout());
    const QList<QPushButton *> jumpButtons = {m_ui->BtnPhoto,  m_ui->BtnAudio, m_ui->BtnVideo,
                                              m_ui->BtnOffice, m_ui->BtnZip,   m_ui->BtnOther};
    for (const TypeBox &box : vexlo::catalogue::TypeBoxes()) {
        const auto index = static_cast<std::size_t>(box.id);
        auto *frame = new QGroupBox(m_ui->FileTypeBoxes);
        frame->setObjectName(qs(box.box_name));
        frame->setMinimumHeight(kBoxHeights[index]);
        auto *layout = new QVBoxLayout(frame);
        layout->setSpacing(2);

        auto *titleRow = new QHBoxLayout;
        titleRow->setContentsMargins(10, 0, 0, 0);
        auto *title = new QLabel(qs(box.title_text), frame);
        title->setObjectName(qs(box.title_label));
        auto *categoryOption = new QCheckBox(frame);
        categoryOption->setObjectName(qs(box.category_option));
        categoryOption->setChecked(true);
        titleRow->addWidget(title);
        titleRow->addStretch();
        titleRow->addWidget(categoryOption);
        layout->addLayout(titleRow);

        auto *grid = new QGridLayout;
        QList<QCheckBox *> options;
        int position = 0;
        for (const TypeOption &option : box.options) {
            auto *check = new QCheckBox(qs(option.text), frame);
            check->setObjectName(box.id == TypeBoxId::kOther ? QStringLiteral("OptOtherFileItem")
                                                             : QStringLiteral("OptFileType"));
            check->setProperty("extensions", qs(option.extensions));
            check->setIcon(FileIcon(qs(option.icon)));
            check->setMinimumWidth(kOptionWidth);
            check->setChecked(true);
            connect(check, &QCheckBox::toggled, this,
                    [this, &option](bool on) { m_selection.SelectOption(option, on); });
            grid->addWidget(check, position / kOptionsPerRow, position % kOptionsPerRow);
            options.append(check);
            ++position;
        }
        layout->addLayout(grid);
        layout->addStretch();
        boxesLayout->addWidget(frame);
        connect(categoryOption, &QCheckBox::toggled, this, [options](bool on) {
            for (QCheckBox *check : options)
                check->setChecked(on);
        });
        connect(jumpButtons[static_cast<int>(index)], &QPushButton::clicked, this,
                [this, frame] { m_ui->FileTypeScroll->ensureWidgetVisible(frame, 0, 0); });
    }
    boxesLayout->addStretch();
}

void CMainWnd::tieCategoryCheckBoxes()
{
    m_categoryChecks = {m_ui->ChkPhoto,  m_ui->ChkMusic,   m_ui->ChkVideo,
                        m_ui->ChkOffice, m_ui->ChkArchive, m_ui->ChkOther};
    auto syncAll = [this] {
        int on = 0;
        for (QCheckBox *check : std::as_const(m_categoryChecks))
            on += check->isChecked() ? 1 : 0;
        QSignalBlocker block(m_ui->ChkRecoverAll);
        m_ui->ChkRecoverAll->setCheckState(on == 0 ? Qt::Unchecked
                                                   : on == m_categoryChecks.size()
                                                   ? Qt::Checked
                                                   : Qt::PartiallyChecked);
        m_ui->BtnStart->setEnabled(on > 0);
    };
    for (int i = 0; i < m_categoryChecks.size(); ++i) {
        connect(m_categoryChecks[i], &QCheckBox::toggled, this, [this, i, syncAll](bool on) {
            m_selection.SelectCategory(static_cast<TypeBoxId>(i), on);
            syncAll();
        });
    }
    connect(m_ui->ChkRecoverAll, &QCheckBox::clicked, this, [this] {
        // A click on a half-checked box checks everything.
        const bool on = m_ui->ChkRecoverAll->checkState() != Qt::Unchecked;
        for (QCheckBox *check : std::as_const(m_categoryChecks))
            check->setChecked(on);
    });
    syncAll();
}

void CMainWnd::buildAssistMenu()
{
    m_assistMenu = new QMenu(this);
    m_assistMenu->setObjectName(QStringLiteral("menu_assist"));
    auto addItem = [this](const char *name) {
        QAction *action = m_assistMenu->addAction(QString());
        action->setObjectName(QLatin1String(name));
        return action;
    };
    for (const char *name : {"item_help", "item_faq", "item_about", "item_support"}) {
        connect(addItem(name), &QAction::triggered, this,
                [] { QDesktopServices::openUrl(QUrl(QLatin1String(kHelpAddress))); });
    }
    m_languageMenu = new QMenu(m_assistMenu);
    m_languageMenu->setObjectName(QStringLiteral("item_language"));
    m_assistMenu->insertMenu(m_assistMenu->actions().value(1), m_languageMenu);
    m_assistMenu->addSeparator();
    connect(addItem("item_exit"), &QAction::triggered, this, &QWidget::close);
    connect(m_assistMenu, &QMenu::aboutToShow, this, [this] {
        fillLanguageMenu();
        LanguageManager::Instance().ApplySection(m_assistMenu, QStringLiteral("MenuWnd"));
    });
    m_ui->BtnAssist->setMenu(m_assistMenu);
}

void CMainWnd::fillLanguageMenu()
{
    m_languageMenu->clear();
    LanguageManager &catalogue = LanguageManager::Instance();
    auto *group = new QActionGroup(m_languageMenu);
    for (const auto &[fileName, displayName] : catalogue.Languages()) {
        QAction *action = m_languageMenu->addAction(displayName);
        action->setObjectName(fileName);
        action->setCheckable(true);
        action->setChecked(fileName == catalogue.CurrentLanguage());
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, name = fileName] {
            LanguageManager::Instance().SetLanguage(name);
            emit languageChanged();
        });
    }
}
