// The small progress window that runs while a found file's data is taken
// out of the source for a preview.
//
// Its worker readies the holder (flags, converter), waits a second for media
// (a player just ended may still hold "tmp.avi"), deletes the previous
// preview file and calls the engine's ExtractForPreview, which reports its
// percentage through the callback. The window closes with 1 when the
// extraction ended (whatever its result), with 2 when the user cancelled.
#pragma once

#include "engine/file_recovery_parse.h"
#include "preview/preview_holder.h"
#include "progress_wnd.h"

namespace Ui {
class PreviewProcessWnd;
}

class CPreviewProcessWnd : public CProgressWnd
{
    Q_OBJECT

public:
    // `holder` and `engine` must outlive the window.
    CPreviewProcessWnd(QWidget *owner, vexlo::IFileRecoveryParse *engine,
                       const vexlo::FoundFileRecord &record, PreviewHolder *holder);
    ~CPreviewProcessWnd() override;

protected:
    void onWindowInit() override;
    void onClick(const QString &name) override;

private:
    static int32_t previewCallback(void *user, int32_t percent, int32_t status);
    void work() override;

    Ui::PreviewProcessWnd *m_ui;
    vexlo::IFileRecoveryParse *m_engine;
    vexlo::FoundFileRecord m_record;
    PreviewHolder *m_holder;
};
