// The program's main window: four pages (mode, source, file types, results)
// under a caption bar with the assist menu.
//
// The window leads the user from a mode to recovered files:
//   - mode page: the mode buttons, each with its picture and description,
//     and the categories of a deep search;
//   - source page: removable disks with their partitions, and image files
//     (main_wnd_sources.cpp), kept current through device events; the
//     selected source can also be copied into an image (create_image_flow.h),
//     which is then offered for a deep scan;
//   - file-type page: the catalogue's per-type options (main_wnd_types.cpp);
//   - scan and search run in modal progress windows (main_wnd_scan.cpp), and
//     their records fill the type tree and the file list of the results page
//     (a page at a time, with a page selector, for a type of many files),
//     shown as a list or as thumbnails, narrowed by the filter bar above
//     them, where checks, preview and recovery happen (main_wnd_results.cpp).
//
// The window owns the sources (in the disk-list model), the records of the
// last search and the set of checked records. Engines are used by one
// thread at a time: each long operation runs modally, the thumbnail loader
// is suspended while one runs and cleared before engines are destroyed, and
// the disk list drops departed sources only while no operation runs.
//
// Everything that would block or reach the machine (file dialogs, the disk
// list, device events, engines) comes through MainWndServices, so tests
// drive the whole road offscreen. Message boxes are answered through
// CMessageBox's own test hook. The disk list is first read when the window
// is first shown.
#pragma once

#include <QHash>
#include <QList>
#include <QModelIndex>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "catalogue/extension_grouping.h"
#include "catalogue/extension_selection.h"
#include "checked_record_set.h"
#include "create_image_flow.h"
#include "engine/scan_history.h"
#include "scan_process_wnd.h"
#include "storage/partition_record.h"

class QAction;
class QCheckBox;
class QMenu;
class CDeviceWatch;
class CDiskListModel;
class CFileListModel;
class CFileTreeModel;
class CResultFilterBar;
class CResultSelection;
class CThumbnailLoader;
class CThumbnailModel;
struct SourceEntry;

namespace Ui {
class FileRecoveryWnd;
}

struct MainWndServices
{
    // An existing image file chosen by the user; empty when cancelled.
    std::function<QString(QWidget *owner)> chooseImageFile;
    // A folder for recovered files; empty when cancelled.
    std::function<QString(QWidget *owner)> chooseRecoveryFolder;
    // The partition list, read afresh on every call.
    std::function<std::vector<vexlo::PartitionRecord>()> listDisks;
    // Whether to listen for device arrival and removal.
    bool watchDevices = true;
    ScanServices scan;
    ImageFlowServices imageFlow;

    // The real dialogs, disk list, device events and engines, the engines
    // keeping their logs in `history`, which must outlive the window.
    static MainWndServices Real(vexlo::ScanHistory &history);
};

class CMainWnd : public QWidget
{
    Q_OBJECT

public:
    // The pages in the order the user walks them: Back steps one down.
    static constexpr int kModePage = 0;
    static constexpr int kSourcePage = 1;
    static constexpr int kFileTypePage = 2;
    static constexpr int kResultPage = 3;

    explicit CMainWnd(MainWndServices services, QWidget *parent = nullptr);
    ~CMainWnd() override;

    const vexlo::catalogue::ExtensionSelection &extensionSelection() const { return m_selection; }
    const std::vector<vexlo::FoundFileRecord> &foundRecords() const { return m_foundRecords; }
    const CheckedRecordSet &checkedRecords() const { return m_checked; }
    QString destinationPath() const { return m_destinationPath; }

public slots:
    // Re-reads the catalogue after a change of language and rewrites the texts.
    void applyLanguage();
    void showPage(int page);

    // The thumbnails of the results page (for tests).
    CThumbnailModel *thumbnailModel() const { return m_thumbnailModel; }
    CThumbnailLoader *thumbnailLoader() const { return m_thumbnailLoader; }

signals:
    void languageChanged();

protected:
    void showEvent(QShowEvent *event) override;

private:
    // main_wnd.cpp: pages, buttons, texts, assist menu.
    void setUpModePage();
    void connectButtons();
    void chooseMode(bool professional, bool imageMode);
    void goBack();
    void goNext();
    void buildAssistMenu();
    void fillLanguageMenu();
    void rewritePageTexts();
    QString message(const char *key) const;

    // main_wnd_types.cpp: the file-type page and the mode page's categories.
    void buildFileTypePage();
    void tieCategoryCheckBoxes();
    bool otherTypesSelected() const;

    // main_wnd_sources.cpp: the disk list and the source facts.
    void setUpDiskList();
    void fillDiskList(int mode);
    void prepareDiskList();
    void applyImageGroupVisibility();
    // The list, or the placeholder that says what to do while it is empty.
    void updateDiskListPlaceholder();
    void updateScanButton();
    void showSourceFacts(const QModelIndex &index);
    void clearSourceFacts();
    void onDiskListDoubleClick(const QModelIndex &index);
    void loadImage();
    void addImage(const QString &path);
    void createImage();
    QModelIndex selectedSource() const;

    // main_wnd_scan.cpp: scan, extension search, results.
    void startScan();
    // Engines are about to be destroyed: nothing may read from them.
    void releaseEngines();
    void searchExtensions();
    void buildResults();

    // main_wnd_results.cpp: results page and recovery.
    void setUpResultViews();
    void setUpThumbnails();
    void onTypeNodeSelected(const QModelIndex &node);
    void onFileSelected(const QModelIndex &index);
    void playRecord(const vexlo::FoundFileRecord &record);
    void showThumbnails(bool thumbnails);
    // Column widths from the texts they show; the name takes the rest.
    void fitFileListColumns();
    void placeHeaderCheckBox();
    // The results, or the line that says nothing was found.
    void updateEmptyResult();
    void onHeaderCheckClicked();
    void onFileListHeaderClicked(int column);
    // The page selector follows the records shown in the file list.
    void followListPages();
    // The type tree and the list over the found records the filter bar
    // keeps, the type shown before still shown while it keeps any.
    void showFilteredResults();
    void updateSelectionSummary();
    // The names of the type tree's category nodes in the current language.
    std::array<QString, vexlo::catalogue::kTypeBoxCount> categoryTexts() const;
    void startRecovery();
    // The recovery folder, asked again while the user wants another one
    // than a folder on a source; empty when cancelled.
    QString askRecoveryFolder();
    SourceEntry *sourceWithId(uint16_t id) const;

    // A modal operation that uses the engines: counted, and the thumbnail
    // loader kept away from the engines meanwhile.
    void beginModal();
    void endModal();
    class BusyScope
    {
    public:
        explicit BusyScope(CMainWnd &window)
            : m_window(window)
        {
            m_window.beginModal();
        }
        ~BusyScope() { m_window.endModal(); }
        BusyScope(const BusyScope &) = delete;
        BusyScope &operator=(const BusyScope &) = delete;

    private:
        CMainWnd &m_window;
    };

    Ui::FileRecoveryWnd *m_ui;
    MainWndServices m_services;
    QMenu *m_assistMenu = nullptr;
    QMenu *m_languageMenu = nullptr;
    QAction *m_keepFolders = nullptr; // assist menu: recoveries keep the medium's folders
    QAction *m_keepTimes = nullptr; // and its times
    vexlo::catalogue::ExtensionSelection m_selection;
    QList<QCheckBox *> m_categoryChecks; // in box order

    CDiskListModel *m_diskModel = nullptr;
    CDeviceWatch *m_deviceWatch = nullptr;
    CFileTreeModel *m_treeModel = nullptr;
    CFileListModel *m_listModel = nullptr;
    CResultSelection *m_resultSelection = nullptr;
    CResultFilterBar *m_filterBar = nullptr;
    CThumbnailLoader *m_thumbnailLoader = nullptr;
    CThumbnailModel *m_thumbnailModel = nullptr;
    // The user's own choice of list or thumbnails, once made.
    bool m_viewChosen = false;
    // The header box's words; in the list's header it shows only its mark.
    QString m_selectAllText;

    bool m_initialised = false;
    bool m_professionalScan = false;
    bool m_imageMode = false;
    bool m_sourceSelected = false;
    bool m_scanFromTypePage = false;
    bool m_scanInProgress = false;
    // Modal operations running; departed sources wait until it is 0, since
    // a worker may be using their engines.
    int m_busy = 0;
    bool m_lastScanProfessional = false;
    QString m_lastScanLogPath;
    std::vector<vexlo::FoundFileRecord> m_foundRecords;
    // The folder of each found record, at the same position, and by record
    // for the file list.
    std::vector<std::string> m_foundFolders;
    QHash<const vexlo::FoundFileRecord *, QString> m_folderPaths;
    // Points into m_foundRecords.
    vexlo::catalogue::RecordsByExtension m_recordsByExtension;
    // What the filter bar keeps of it; the type tree points into this.
    vexlo::catalogue::RecordsByExtension m_shownRecordsByExtension;
    CheckedRecordSet m_checked;
    QString m_destinationPath;
};
