#include "main_wnd.h"

#include <QAction>
#include <QActionGroup>
#include <QFile>
#include <QMenu>

#include "assist_actions.h"
#include "device_names.h"
#include "disk_list_model.h"
#include "file_list_model.h"
#include "file_tree_model.h"
#include "grid_flow_layout.h"
#include "language_manager.h"
#include "like_it_wnd.h"
#include "main_wnd_dialogs.h"
#include "message_box.h"
#include "message_format.h"
#include "result_filter_bar.h"
#include "scan_services.h"
#include "skin_drawings.h"
#include "skin_images.h"
#include "thumbnail_loader.h"
#include "ui_skin.h"

// The look of the windows, kept with the skin. (The resource macro cannot
// stand inside a namespace.)
static QString SkinStyleSheet()
{
    Q_INIT_RESOURCE(skin_style);
    QFile file(QStringLiteral(":/skin/style.qss"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

namespace {

const char *const kSelectMediaText = "Please select disk media for next step!";
constexpr int kBannerPictureSide = 50;
constexpr int kTabPictureSide = 20;

void SetTextColour(QWidget *label, const QColor &colour)
{
    label->setStyleSheet(QStringLiteral("color: %1;").arg(colour.name()));
}

// The page's banner: its background, its picture and the colour of its
// first line.
struct Banner
{
    const char *background;
    const char *picture;
    QColor colour;
};

const Banner kSourceBanner{"banner_bg.png", "scan_files.png", SkinDrawing::kSourceColour};
const Banner kFileTypeBanner{"banner_bg2.png", "advance_scan.png", SkinDrawing::kFileTypeColour};
const Banner kResultBanner{"banner_bg1.png", "recover_file.png", SkinDrawing::kResultColour};

} // namespace

MainWndServices MainWndServices::Real(vexlo::ScanHistory &history)
{
    MainWndServices services;
    services.chooseImageFile = ChooseImageFileDialog;
    services.chooseRecoveryFolder = ChooseRecoveryFolderDialog;
    services.listDisks = ReadDiskList;
    services.watchDevices = true;
    services.scan = MakeEngineScanServices(history);
    services.imageFlow = DefaultImageFlowServices();
    return services;
}

CMainWnd::CMainWnd(MainWndServices services, QWidget *parent)
    : QWidget(parent)
    , m_ui(new Ui::FileRecoveryWnd)
    , m_services(std::move(services))
{
    m_ui->setupUi(this);
    setStyleSheet(SkinStyleSheet());
    setWindowTitle(QStringLiteral("Vexlo SD Card Data Recovery"));
    setMinimumSize(1000, 650);
    setUpModePage();
    buildFileTypePage();
    buildAssistMenu();
    tieCategoryCheckBoxes();
    setUpDiskList();
    setUpResultViews();
    connectButtons();
    connect(this, &CMainWnd::languageChanged, this, &CMainWnd::applyLanguage, Qt::QueuedConnection);

    applyLanguage();
    showPage(kModePage);
}

CMainWnd::~CMainWnd()
{
    // The loader's worker must let go of the engines before they go.
    releaseEngines();
    // Closing the window hides its children, whose views then report new
    // geometries; by then this is no longer a main window to hear them.
    for (QObject *child : findChildren<QObject *>())
        QObject::disconnect(child, nullptr, this, nullptr);
    delete m_ui;
}

void CMainWnd::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_initialised)
        return;
    // The disk list probes every device; a window that is never shown (a
    // test of its texts) has no need for it.
    m_initialised = true;
    fillDiskList(0);
}

QString CMainWnd::message(const char *key) const
{
    return LanguageManager::Instance().Text(QStringLiteral("Messages"), QLatin1String(key));
}

void CMainWnd::setUpModePage()
{
    const struct
    {
        CModeButton *button;
        const char *picture;
        QColor accent;
    } modes[] = {
            {m_ui->BtnDeletedRecovery, "mode_deleted.png", SkinDrawing::kDeletedColour},
            {m_ui->BtnFormattedRecovery, "mode_formatted.png", SkinDrawing::kFormattedColour},
            {m_ui->BtnDeepRecovery, "mode_deep.png", SkinDrawing::kDeepColour},
            {m_ui->BtnCreateImageMode, "mode_image.png", SkinDrawing::kImageColour},
    };
    for (const auto &mode : modes) {
        mode.button->setPicture(QLatin1String(mode.picture));
        mode.button->setAccent(mode.accent);
    }

    // The category boxes wrap into more rows where a language needs it.
    auto *checks = new CGridFlowLayout(m_ui->CategoryChecks, 18, 6);
    checks->setContentsMargins(0, 0, 0, 0);
    for (QCheckBox *check : {m_ui->ChkRecoverAll, m_ui->ChkPhoto, m_ui->ChkMusic, m_ui->ChkVideo,
                             m_ui->ChkOffice, m_ui->ChkArchive, m_ui->ChkOther})
        checks->addWidget(check);
}

void CMainWnd::connectButtons()
{
    connect(m_ui->BtnDeletedRecovery, &QPushButton::clicked, this,
            [this] { chooseMode(false, false); });
    for (QPushButton *button :
         {static_cast<QPushButton *>(m_ui->BtnFormattedRecovery),
          static_cast<QPushButton *>(m_ui->BtnDeepRecovery), m_ui->BtnStart}) {
        connect(button, &QPushButton::clicked, this, [this] { chooseMode(true, false); });
    }
    connect(m_ui->BtnCreateImageMode, &QPushButton::clicked, this,
            [this] { chooseMode(m_professionalScan, true); });
    connect(m_ui->TabScan, &QPushButton::clicked, this, [this] { showPage(kSourcePage); });
    connect(m_ui->TabFileType, &QPushButton::clicked, this, [this] { showPage(kFileTypePage); });
    connect(m_ui->TabRecover, &QPushButton::clicked, this, [this] { showPage(kResultPage); });
    connect(m_ui->BtnPrev, &QPushButton::clicked, this, &CMainWnd::goBack);
    connect(m_ui->BtnNext, &QPushButton::clicked, this, &CMainWnd::goNext);
    connect(m_ui->BtnScan, &QPushButton::clicked, this, &CMainWnd::startScan);
    connect(m_ui->BtnRecover, &QPushButton::clicked, this, &CMainWnd::startRecovery);
    connect(m_ui->BtnLoadImage, &QPushButton::clicked, this, &CMainWnd::loadImage);
    connect(m_ui->BtnCreateImage, &QPushButton::clicked, this, &CMainWnd::createImage);
    connect(m_ui->BtnLikeIt, &QToolButton::clicked, this, [this] {
        CLikeItWnd window(this);
        window.exec();
    });
}

void CMainWnd::chooseMode(bool professional, bool imageMode)
{
    m_professionalScan = professional;
    m_imageMode = imageMode;
    prepareDiskList();
    showPage(kSourcePage);
}

void CMainWnd::goBack()
{
    // The pages are numbered in the order the user walks them. The results
    // lead back past the file-type page unless the scan was started there,
    // where the user chose the types.
    const int page = m_ui->TabPage->currentIndex();
    if (page == kResultPage && !m_scanFromTypePage)
        showPage(kSourcePage);
    else if (page > kModePage)
        showPage(page - 1);
}

void CMainWnd::goNext()
{
    switch (m_ui->TabPage->currentIndex()) {
    case kModePage:
        showPage(kSourcePage);
        break;
    case kSourcePage:
        if (m_ui->BtnScan->isVisibleTo(this) && m_ui->BtnScan->isEnabled())
            m_ui->BtnScan->click();
        else
            CMessageBox::Show(CMessageBox::Information, this, QLatin1String(kSelectMediaText));
        break;
    case kFileTypePage:
        if (m_ui->TabRecover->isEnabled())
            showPage(kResultPage);
        break;
    default:
        break;
    }
}

void CMainWnd::applyLanguage()
{
    LanguageManager::Instance().ApplySection(this, QStringLiteral("MainWnd"));
    m_ui->LblProductName->setText(message("MSG1209"));
    m_ui->BtnDeletedRecovery->setDescription(message("MSG0101"));
    m_ui->BtnFormattedRecovery->setDescription(message("MSG0102"));
    m_ui->BtnDeepRecovery->setDescription(message("MSG0103"));
    m_ui->BtnCreateImageMode->setDescription(message("MSG0104"));
    m_selectAllText = LanguageManager::Instance().Text(QStringLiteral("MainWnd"),
                                                       QStringLiteral("ChkAllListSel"));
    if (m_listModel != nullptr) {
        m_listModel->setHeaderTexts({QString(), message("MSG0814"), message("MSG0815"),
                                     message("MSG0816"), message("MSG0817"), message("MSG0818"),
                                     message("MSG0819")});
        fitFileListColumns();
    }
    rewritePageTexts();
    // The lists' own texts and the source facts follow the language too.
    if (m_diskModel != nullptr) {
        m_diskModel->setWords(
                {message("MSG0202"), message("MSG0201"), message(DeviceRefusedKey())});
        showSourceFacts(m_ui->DiskList->currentIndex());
    }
    if (m_treeModel != nullptr)
        m_treeModel->setCategoryTexts(categoryTexts());
    if (m_filterBar != nullptr)
        m_filterBar->setTexts({message("MSG0830"), message("MSG0831"), message("MSG0832"),
                               message("MSG0833"), message("MSG0834"), message("MSG0835"),
                               message("MSG0836")});
}

void CMainWnd::showPage(int page)
{
    m_ui->TabPage->setCurrentIndex(page);
    const bool modePage = page == kModePage;
    const bool sourcePage = page == kSourcePage;
    m_ui->ToolBar2->setVisible(!modePage);
    m_ui->ToolBar3->setVisible(!modePage);
    m_ui->SubBar2->setVisible(!modePage);
    m_ui->SubBar1->setVisible(modePage);
    m_ui->SelectedFileInfo->setVisible(page == kResultPage);
    m_ui->BtnScan->setVisible(sourcePage ? !m_imageMode : page == kFileTypePage);
    m_ui->BtnRecover->setVisible(page == kResultPage);
    m_ui->TabRecover->setVisible(!(sourcePage && m_imageMode));
    m_ui->BtnLoadImage->setVisible(!m_imageMode);
    // Next only where it leads somewhere: not from the results, not to
    // results that do not exist yet, and not on the image page, where the
    // image is made by its own button.
    m_ui->BtnNext->setVisible(sourcePage ? !m_imageMode
                                         : page == kFileTypePage && m_ui->TabRecover->isEnabled());
    m_ui->TabScan->setIcon(
            SkinIcon(QLatin1String(m_imageMode ? "btn_create_image.png" : "btn_scan.png")));
    m_ui->TabFileType->setIcon(SkinIcon(QStringLiteral("advance_scan.png")));
    m_ui->TabRecover->setIcon(SkinIcon(QStringLiteral("recover_file.png")));
    for (QAbstractButton *tab : {m_ui->TabScan, m_ui->TabFileType, m_ui->TabRecover})
        tab->setIconSize(QSize(kTabPictureSide, kTabPictureSide));
    if (sourcePage)
        m_ui->TabScan->setChecked(true);
    else if (page == kFileTypePage)
        m_ui->TabFileType->setChecked(true);
    else if (page == kResultPage)
        m_ui->TabRecover->setChecked(true);
    updateScanButton();
    updateDiskListPlaceholder();
    rewritePageTexts();
}

void CMainWnd::rewritePageTexts()
{
    m_ui->Txt2->setTextFormat(Qt::PlainText);
    const Banner *banner = nullptr;
    switch (m_ui->TabPage->currentIndex()) {
    case kSourcePage:
        banner = &kSourceBanner;
        m_ui->TabScan->setText(message(m_imageMode ? "MSG0211" : "MSG0503"));
        m_ui->Txt1->setText(message(m_imageMode ? "MSG0212" : "MSG0501"));
        m_ui->Txt2->setText(message(m_imageMode ? "MSG0213" : "MSG0502"));
        break;
    case kFileTypePage:
        banner = &kFileTypeBanner;
        m_ui->Txt1->setText(message("MSG0601"));
        m_ui->Txt2->setText(message("MSG0602"));
        break;
    case kResultPage: {
        banner = &kResultBanner;
        m_ui->Txt1->setText(message("MSG0801"));
        const QString count = QStringLiteral("<b style=\"color:%1; font-size:large\">%2</b>")
                                      .arg(kResultBanner.colour.name())
                                      .arg(m_foundRecords.size());
        m_ui->Txt2->setTextFormat(Qt::RichText);
        m_ui->Txt2->setText(FormatMessage(message("MSG0802").toHtmlEscaped(), {count}));
        updateSelectionSummary();
        updateEmptyResult();
        break;
    }
    default:
        break;
    }
    if (banner != nullptr) {
        SetTextColour(m_ui->Txt1, banner->colour);
        m_ui->ToolBar2->setBackground(QLatin1String(banner->background));
        m_ui->ToolBar2Logo->setPixmap(SkinPixmap(QLatin1String(banner->picture),
                                                 QSize(kBannerPictureSide, kBannerPictureSide)));
    }
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
    // No support service stands behind the program, so the menu offers none.
    connect(addItem("item_help"), &QAction::triggered, this, [this] { OpenManual(this); });
    connect(addItem("item_faq"), &QAction::triggered, this, [this] { OpenManualQuestions(this); });
    connect(addItem("item_about"), &QAction::triggered, this, [this] { ShowAboutBox(this); });
    m_languageMenu = new QMenu(m_assistMenu);
    m_languageMenu->setObjectName(QStringLiteral("item_language"));
    m_assistMenu->insertMenu(m_assistMenu->actions().value(1), m_languageMenu);
    m_assistMenu->addSeparator();
    // How recoveries write their files; the choice outlives the session.
    const QString settings = QStringLiteral("Recovery");
    auto addOption = [&](const char *name, const QString &key) {
        QAction *action = addItem(name);
        action->setCheckable(true);
        LanguageManager &config = LanguageManager::Instance();
        action->setChecked(config.Setting(settings, key) == QLatin1String("1"));
        connect(action, &QAction::toggled, this, [settings, key](bool on) {
            LanguageManager::Instance().SetSetting(settings, key,
                                                   on ? QStringLiteral("1") : QStringLiteral("0"));
        });
        return action;
    };
    m_keepFolders = addOption("item_keep_folders", QStringLiteral("KeepFolders"));
    m_keepTimes = addOption("item_keep_times", QStringLiteral("KeepTimes"));
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
