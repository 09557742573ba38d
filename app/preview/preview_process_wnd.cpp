#include "preview/preview_process_wnd.h"

#include <QThread>

#include <algorithm>

#include "message_format.h"
#include "platform/error_code.h"
#include "ui_PreviewProcessWnd.h"

namespace {

// Time a player that was just ended gets to let go of "tmp.avi".
constexpr unsigned long kPlayerReleaseMs = 1000;

} // namespace

CPreviewProcessWnd::CPreviewProcessWnd(QWidget *owner, vexlo::IFileRecoveryParse *engine,
                                       const vexlo::FoundFileRecord &record, PreviewHolder *holder)
    : CProgressWnd(owner, QStringLiteral("PreviewProcessWnd"))
    , m_ui(new Ui::PreviewProcessWnd)
    , m_engine(engine)
    , m_record(record)
    , m_holder(holder)
{
    m_ui->setupUi(this);
    connectButtons();
}

CPreviewProcessWnd::~CPreviewProcessWnd()
{
    delete m_ui;
}

void CPreviewProcessWnd::onWindowInit()
{
    const QString name = QString::fromUtf8(m_record.Name());
    m_ui->FileName->setText(name);
    m_ui->stage->setText(
            FormatMessage(QStringLiteral("%s %s"), {message(QStringLiteral("MSG0902")), name}));
    CProgressWnd::onWindowInit();
}

void CPreviewProcessWnd::onClick(const QString &name)
{
    if (name == QLatin1String("closebtn") || name == QLatin1String("CancelBtn")
        || name == QLatin1String("cancelbtn")) {
        // The worker closes the window itself once the engine has stopped.
        if (!isDone())
            askToCancel({"MSG0903", "MSG0908", "MSG0909"});
        return;
    }
    CProgressWnd::onClick(name);
}

void CPreviewProcessWnd::work()
{
    PreviewHolder &holder = *m_holder;
    holder.Reset(m_record);
    holder.Classify();
    if (holder.isMedia)
        QThread::msleep(kPlayerReleaseMs);
    holder.DropTemporaryFile();
    vexlo::ErrorCode rc = vexlo::err::kInvalidParameter;
    if (m_engine != nullptr) {
        rc = m_engine->ExtractForPreview(holder.record, &holder.temporaryPath, holder.raw.data(),
                                         &holder.count, &CPreviewProcessWnd::previewCallback, this);
    }
    // Whatever the engine left in the count, the view never reads past the
    // buffer, nor shows the untouched buffer when nothing was extracted.
    holder.count = m_engine != nullptr ? std::min(holder.count, PreviewHolder::kRawCapacity) : 0;
    setDone();
    closeFromAnyThread(rc == vexlo::kCancelCode ? Cancelled : Finished);
}

int32_t CPreviewProcessWnd::previewCallback(void *user, int32_t percent, int32_t)
{
    auto *self = static_cast<CPreviewProcessWnd *>(user);
    return self->reportPercent(QStringLiteral("MSG0901"), percent, self->m_ui->percent,
                               self->m_ui->progress);
}
