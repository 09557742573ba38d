// The recovery progress window.
//
// The window runs a recovery job in its worker: the job walks the selected
// records and recovers each through its source's engine, reporting through
// the recovery callback given to it. The callback keeps the counters and the
// detail list: every finished file gets a row, successes at the end and
// failures on top in red, so problems stay in sight. "Finish" appears when
// the job ends; "Open" shows the destination folder; "Details" shows or
// hides the list; "Save Report…", once the job has ended with a report,
// writes it as JSON or, for a name ending in .xml, as DFXML. Cancelling
// (after a question) closes the window with 2.
#pragma once

#include <QSize>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "catalogue/recovery_report.h"
#include "engine/file_recovery_parse.h"
#include "engine/found_file_record.h"
#include "engine/recovery_run.h"
#include "progress_wnd.h"
#include "source_entry.h"

namespace Ui {
class RecoverProcessWnd;
}

class CRecoverProcessWnd : public CProgressWnd
{
    Q_OBJECT

public:
    // Recovers the selection, calling `callback` with `user` for every file;
    // returns the cancel code when a callback asked to stop.
    using RecoveryJob
            = std::function<int32_t(vexlo::RecoveryProgressCallback callback, void *user)>;

    // Where a job leaves the report of its run, for the window to save; the
    // job writes it in the worker before the window shows "Finish".
    using ReportSlot = std::shared_ptr<std::optional<vexlo::catalogue::RecoveryReport>>;

    // The usual job: `records`, in this order, each through the engine of
    // the source it was found on, into `destinationRoot`, with `options`;
    // the run's report goes into `report` when there is one.
    static RecoveryJob MakeRecoveryJob(const std::vector<SourceEntry *> &sources,
                                       const QString &destinationRoot,
                                       std::vector<vexlo::FoundFileRecord> records,
                                       vexlo::RecoveryOptions options = {},
                                       ReportSlot report = nullptr);

    // `report` is the slot the job fills (null: no report to save).
    CRecoverProcessWnd(QWidget *owner, RecoveryJob job, const QString &destinationRoot,
                       int totalFiles, ReportSlot report = nullptr);

    // Asks where "Save Report…" writes (a file dialog unless a test sets
    // another); an empty answer saves nothing.
    using ReportPathChooser = std::function<QString(QWidget *owner)>;
    void setReportPathChooser(ReportPathChooser chooser)
    {
        m_chooseReportPath = std::move(chooser);
    }
    ~CRecoverProcessWnd() override;

    // Counters so far (done includes failed).
    int doneCount() const;
    int failedCount() const;

protected:
    void onClick(const QString &name) override;

private:
    static int32_t recoveryCallback(void *user, int32_t progress, int32_t scale, int32_t errorCode,
                                    const char *fileName, uint64_t unreadableBytes);
    void work() override;
    void addDetailRow(const QString &fileName, const QString &result, bool failed);
    void toggleDetails();
    void saveReport();

    Ui::RecoverProcessWnd *m_ui;
    RecoveryJob m_job;
    QString m_destinationRoot;
    int m_total;
    int m_done = 0; // guarded by lock()
    int m_failed = 0; // guarded by lock()
    QSize m_skinSize;
    ReportSlot m_report;
    ReportPathChooser m_chooseReportPath;
};
