// The scan progress window and its worker.
//
// The worker scans each source of its list in turn: it creates the engine
// (replacing the one of an earlier scan), prepares the scan log, and runs the
// scan, whose callback fills the window. It ends with result 1 (also after a
// cancel: the files found so far are shown) and scanFinished(), or with 3
// when no engine could be created for a source; the sources after it are not
// scanned then. A scan that passed over unreadable sectors keeps the window
// open with a line that says how many until the user closes it, so that the
// files shown next are read knowing some may be missing or incomplete.
// Told the type filter of the search that follows, the window counts the
// files that search will list, over all its sources, where the engines can.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/file_recovery_parse.h"
#include "language_manager.h"
#include "progress_wnd.h"
#include "source_entry.h"

namespace Ui {
class ScanProcessWnd;
}

// What the scan needs from the layers below; the main window fills it in.
struct ScanServices
{
    // An engine opened on the source for the mode, or null.
    std::function<std::unique_ptr<vexlo::IFileRecoveryParse>(const SourceEntry &, int mode)>
            createEngine;
    // Starts a fresh scan-log folder (every mode but 1).
    std::function<void()> startFreshScanLog;
    // Mode 1: whether the engine found the log of an earlier scan of the same
    // source, and how to drop it when the user does not want to continue it.
    std::function<bool(vexlo::IFileRecoveryParse &)> hasEarlierScanLog;
    std::function<void(vexlo::IFileRecoveryParse &)> discardEarlierScanLog;
    // The folder the last quick scan wrote its record files into, and the
    // deletion of such a folder (with its history entries) once its engine
    // is gone.
    std::function<QString()> currentScanLog;
    std::function<void(const QString &folder)> removeScanLog;
    // Sectors the engine's last scan could not read and passed over.
    std::function<uint64_t(vexlo::IFileRecoveryParse &)> unreadableSectors;
};

// The texts one scan callback shows.
struct ScanProgressTexts
{
    int percentage = 0;
    QString percent;
    QString time;
    bool showCounts = false; // the sector and file lines; hidden when the total is unknown
    QString sectors;
    QString totalFile;
};

ScanProgressTexts MakeScanProgressTexts(const LanguageManager::SectionMap &messages,
                                        int32_t progress, int32_t scale, int32_t remainingSeconds,
                                        uint64_t sectorsDone, uint64_t sectorsTotal,
                                        uint64_t recordsFound);

// The stage text of a source: the partition's number, or the image's name.
QString ScanStageText(const LanguageManager::SectionMap &messages, const SourceEntry &source);

// The closing line of a scan that passed over `sectors` unreadable sectors;
// empty when there were none.
QString UnreadableSectorsText(const LanguageManager::SectionMap &messages, uint64_t sectors);

class CScanProcessWnd : public CProgressWnd
{
    Q_OBJECT

public:
    CScanProcessWnd(QWidget *owner, std::vector<SourceEntry *> sources, int mode,
                    ScanServices services);
    ~CScanProcessWnd() override;

    // The files line counts what the search for `typeFilter` will list;
    // call before exec().
    void countListedFiles(std::string typeFilter) { m_countedTypes = std::move(typeFilter); }

signals:
    // The scan loop has ended (finished or cancelled); queued to the owner.
    void scanFinished();

protected:
    void onClick(const QString &name) override;

private:
    static int32_t scanCallback(void *user, int32_t progress, int32_t scale,
                                int32_t remainingSeconds, uint64_t sectorsDone,
                                uint64_t sectorsTotal, uint64_t recordsFound, int32_t reserved);
    void work() override;
    bool askContinueEarlierScan();
    void applyTexts(const ScanProgressTexts &texts);
    void showUnreadableLine(const QString &line);

    Ui::ScanProcessWnd *m_ui;
    std::vector<SourceEntry *> m_sources;
    int m_mode;
    ScanServices m_services;
    uint64_t m_unreadableSectors = 0; // the worker's own
    std::optional<std::string> m_countedTypes;
    // The worker's own: whether the engine scanning counts listed files,
    // what the sources scanned before will list, and its last count.
    bool m_countingListed = false;
    uint64_t m_filesBefore = 0;
    uint64_t m_filesFound = 0;
    bool m_showingResult = false; // the scan is over and the window waits for the user
};
