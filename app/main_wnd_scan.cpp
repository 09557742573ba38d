// The scan of the selected source, the extension search over what it found,
// and the results that search leaves: the type tree and the file list.
#include <atomic>

#include "device_names.h"
#include "disk_list_model.h"
#include "file_list_model.h"
#include "file_tree_model.h"
#include "main_wnd.h"
#include "message_box.h"
#include "message_format.h"
#include "platform/disk_table.h"
#include "platform/sector_source.h"
#include "result_filter_bar.h"
#include "result_selection.h"
#include "search_process_wnd.h"
#include "source_entry.h"
#include "storage/sector_io.h"
#include "thumbnail_loader.h"
#include "thumbnail_model.h"
#include "ui_skin.h"

namespace {

// The device of the first disk among `sources` that the system refuses to
// open for reading; empty when none is refused. A scan that could not start
// says so, and a refusal is something the user can do something about.
std::filesystem::path RefusedDevice(const std::vector<SourceEntry *> &sources)
{
    for (const SourceEntry *source : sources) {
        if (source->isImage)
            continue;
        vexlo::DiskHandle disk;
        const vexlo::ErrorCode rc = vexlo::OpenPhysicalDisk(source->diskNumber, &disk);
        if (rc.ok())
            vexlo::CloseDiskHandle(disk);
        else if (rc == vexlo::err::kAccessDenied)
            return vexlo::platform::DiskDevicePath(source->diskNumber);
    }
    return {};
}

// The engine modes of the scan window.
constexpr int kQuickMode = 0;
constexpr int kProfessionalMode = 1;

} // namespace

void CMainWnd::startScan()
{
    const QModelIndex selected = selectedSource();
    const std::vector<SourceEntry *> sources = selected.isValid()
            ? m_diskModel->sourcesUnder(selected)
            : std::vector<SourceEntry *>();
    if (!m_sourceSelected || sources.empty()) {
        CMessageBox::Show(CMessageBox::Information, this, message("MSG0505"));
        return;
    }
    m_scanFromTypePage = m_ui->TabPage->currentIndex() == kFileTypePage;

    // A new scan replaces the engines of the last one; a quick scan's record
    // files are of no further use once its engine is gone.
    releaseEngines();
    for (SourceEntry *source : m_diskModel->sources())
        source->engine.reset();
    if (!m_lastScanProfessional && m_services.scan.removeScanLog)
        m_services.scan.removeScanLog(m_lastScanLogPath);
    m_lastScanLogPath.clear();

    int result = 0;
    QString failure;
    {
        BusyScope busy(*this);
        m_scanInProgress = true;
        CScanProcessWnd window(this, sources, m_professionalScan ? kProfessionalMode : kQuickMode,
                               m_services.scan);
        window.countListedFiles(m_selection.BuildSearchPattern());
        result = window.exec();
        failure = window.failure();
        m_scanInProgress = false;
    }
    m_lastScanProfessional = m_professionalScan;
    if (!m_professionalScan && m_services.scan.currentScanLog)
        m_lastScanLogPath = m_services.scan.currentScanLog();
    if (result == CProgressWnd::Failed) {
        // A scan that never started says so; one that broke off says why.
        const std::filesystem::path refused = RefusedDevice(sources);
        QString text = FormatMessage(message("MSG0508"), {failure});
        if (!refused.empty()) {
            text = FormatMessage(message(DeviceRefusedKey()),
                                 {QString::fromStdString(refused.string())});
        } else if (failure.isEmpty()) {
            text = message("MSG0504");
        }
        CMessageBox::Show(CMessageBox::Warning, this, text);
        return;
    }
    searchExtensions();
}

void CMainWnd::releaseEngines()
{
    if (m_thumbnailLoader != nullptr)
        m_thumbnailLoader->clear();
}

void CMainWnd::beginModal()
{
    ++m_busy;
    if (m_thumbnailLoader != nullptr)
        m_thumbnailLoader->suspend();
}

void CMainWnd::endModal()
{
    --m_busy;
    if (m_thumbnailLoader != nullptr)
        m_thumbnailLoader->resume();
}

void CMainWnd::searchExtensions()
{
    // Every source of the last scan: a scanned disk shows the files of all
    // its partitions, not only of the first.
    std::vector<SourceEntry *> scanned;
    for (SourceEntry *source : m_diskModel->sources()) {
        if (source->engine)
            scanned.push_back(source);
    }
    if (scanned.empty())
        return;

    // The views point into the records; they let go before the records do.
    m_resultSelection->reset();
    m_treeModel->clear();
    m_thumbnailModel->clearThumbnails();
    m_ui->Preview->clear();
    m_shownRecordsByExtension.clear();
    m_recordsByExtension.clear();
    m_listModel->setFolderPaths(nullptr);
    m_folderPaths.clear();
    m_foundFolders.clear();
    m_foundRecords.clear();
    m_checked.Clear();
    updateSelectionSummary();

    std::atomic<bool> searched{false};
    {
        BusyScope busy(*this);
        CSearchProcessWnd window(this, scanned, m_selection.BuildSearchPattern(), &m_foundRecords,
                                 &m_foundFolders);
        connect(
                &window, &CSearchProcessWnd::searchFinished, &window,
                [&searched] { searched = true; }, Qt::DirectConnection);
        window.exec();
    }
    if (searched)
        buildResults();
}

void CMainWnd::buildResults()
{
    // The views were emptied before the search and stayed so under its
    // modal window.
    m_recordsByExtension = vexlo::catalogue::GroupByExtension(m_foundRecords);
    m_folderPaths.reserve(qsizetype(m_foundFolders.size()));
    for (std::size_t i = 0; i < m_foundFolders.size() && i < m_foundRecords.size(); ++i)
        m_folderPaths.insert(&m_foundRecords[i], QString::fromStdString(m_foundFolders[i]));
    m_listModel->setFolderPaths(&m_folderPaths);
    m_ui->TabRecover->setEnabled(true);
    showPage(kResultPage);
    // New results are shown whole; a filter of the last ones would hide
    // files without a word.
    const QSignalBlocker block(m_filterBar);
    m_filterBar->clear();
    showFilteredResults();
}
