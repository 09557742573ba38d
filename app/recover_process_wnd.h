// The recovery progress window.
//
// The window runs a recovery job in its worker: the job walks the selected
// records and recovers each through its source's engine, reporting through
// the recovery callback given to it. The callback keeps the counters and the
// detail list: every finished file gets a row, successes at the end and
// failures on top in red, so problems stay in sight. "Finish" appears when
// the job ends; "Open" shows the destination folder; "Details" shows or
// hides the list. Cancelling (after a question) closes the window with 2.
#pragma once

#include <QSize>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/file_recovery_parse.h"
#include "engine/found_file_record.h"
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

    // The usual job: `records`, in this order, each through the engine of
    // the source it was found on, into `destinationRoot`.
    static RecoveryJob MakeRecoveryJob(const std::vector<SourceEntry *> &sources,
                                       const QString &destinationRoot,
                                       std::vector<vexlo::FoundFileRecord> records);

    CRecoverProcessWnd(QWidget *owner, RecoveryJob job, const QString &destinationRoot,
                       int totalFiles);
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

    Ui::RecoverProcessWnd *m_ui;
    RecoveryJob m_job;
    QString m_destinationRoot;
    int m_total;
    int m_done = 0; // guarded by lock()
    int m_failed = 0; // guarded by lock()
    QSize m_skinSize;
};
