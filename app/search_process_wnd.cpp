#include "search_process_wnd.h"

#include <QFileInfo>

#include "engine/guarded_call.h"
#include "message_format.h"
#include "platform/error_code.h"
#include "ui_SearchProcessWnd.h"

CSearchProcessWnd::CSearchProcessWnd(QWidget *owner, std::vector<SourceEntry *> sources,
                                     std::string typeFilter,
                                     std::vector<vexlo::FoundFileRecord> *results,
                                     std::vector<std::string> *folderPaths)
    : CProgressWnd(owner, QStringLiteral("SearchProcessWnd"))
    , m_ui(new Ui::SearchProcessWnd)
    , m_sources(std::move(sources))
    , m_typeFilter(std::move(typeFilter))
    , m_results(results)
    , m_folderPaths(folderPaths)
{
    m_ui->setupUi(this);
    connectButtons();
}

CSearchProcessWnd::~CSearchProcessWnd()
{
    delete m_ui;
}

void CSearchProcessWnd::onClick(const QString &name)
{
    bool stopped = false;
    if (!handleCancelButtons(name, {"MSG1205", "MSG1210", "MSG1211"}, &stopped))
        CProgressWnd::onClick(name);
    else if (stopped)
        done(Cancelled);
}

void CSearchProcessWnd::work()
{
    for (SourceEntry *source : m_sources) {
        if (!source->engine) {
            setDone();
            closeFromAnyThread(Finished);
            return;
        }
        const QString stage = source->isImage
                ? FormatMessage(message(QStringLiteral("MSG1203")), {ImageSourceName(*source)})
                : FormatMessage(message(QStringLiteral("MSG1202")), {source->deviceName});
        post([this, stage] { m_ui->stage->setText(stage); });

        vexlo::IFileRecoveryParse &engine = *source->engine;
        (void)engine.SetSearchCallback(&CSearchProcessWnd::searchCallback, this);
        const vexlo::ErrorCode rc
                = vexlo::GuardedCall([&] { return engine.FindFiles(m_typeFilter, m_results); });
        if (m_folderPaths != nullptr) {
            // Whatever the search appended, also when it was cancelled.
            for (std::size_t i = m_folderPaths->size(); i < m_results->size(); ++i) {
                std::string path;
                if (!engine.GetFullPath((*m_results)[i], &path).ok())
                    path.clear();
                m_folderPaths->push_back(std::move(path));
            }
        }
        if (rc == vexlo::kCancelCode)
            break;
    }
    setDone();
    if (!m_sources.empty())
        post([this] { emit searchFinished(); });
    closeFromAnyThread(Finished);
}

int32_t CSearchProcessWnd::searchCallback(void *user, int32_t percent, int32_t)
{
    auto *self = static_cast<CSearchProcessWnd *>(user);
    return self->reportPercent(QStringLiteral("MSG1204"), percent, self->m_ui->percent,
                               self->m_ui->progress);
}
