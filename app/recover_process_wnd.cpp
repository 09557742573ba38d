#include "recover_process_wnd.h"

#include <QBrush>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QHeaderView>
#include <QTreeWidgetItem>
#include <QUrl>

#include "catalogue/display_format.h"
#include "engine/recovery_run.h"
#include "message_box.h"
#include "message_format.h"
#include "platform/error_code.h"
#include "ui_RecoverProcessWnd.h"

namespace {

const QColor kFailureColor = QColor::fromRgba(0xFFFF0000);
constexpr int kDetailExtraWidth = 150;
constexpr int kDetailExtraHeight = 300;

// How a source is named in the report and, with kept folders, as the
// folder of its files: "card.img:2", "/dev/sdb1".
std::string SourceName(const SourceEntry &source)
{
    const QString name = source.isImage ? ImageSourceName(source)
                                        : source.deviceName.section(QLatin1Char(' '), 0, 0);
    return name.toStdString();
}

QString AskReportPath(QWidget *owner)
{
    return QFileDialog::getSaveFileName(owner, QString(), QStringLiteral("report.json"),
                                        QStringLiteral("JSON (*.json);;DFXML (*.xml)"));
}

} // namespace

CRecoverProcessWnd::RecoveryJob
CRecoverProcessWnd::MakeRecoveryJob(const std::vector<SourceEntry *> &sources,
                                    const QString &destinationRoot,
                                    std::vector<vexlo::FoundFileRecord> records,
                                    vexlo::RecoveryOptions options, ReportSlot report)
{
    std::vector<vexlo::RecoverySource> engines;
    for (const SourceEntry *source : sources) {
        if (source->engine)
            engines.emplace_back(source->id, source->engine.get(), SourceName(*source));
    }
    return [engines = std::move(engines), root = destinationRoot.toStdString(),
            records = std::move(records), options,
            report](vexlo::RecoveryProgressCallback callback, void *user) -> int32_t {
        vexlo::RecoveryRun run(engines, root, callback, user, options);
        const int32_t result = run.Run(records);
        if (report)
            report->emplace(run, root, options,
                            QCoreApplication::applicationName().toStdString() + " " VEXLO_VERSION);
        return result;
    };
}

CRecoverProcessWnd::CRecoverProcessWnd(QWidget *owner, RecoveryJob job,
                                       const QString &destinationRoot, int totalFiles,
                                       ReportSlot report)
    : CProgressWnd(owner, QStringLiteral("RecoverProcessWnd"))
    , m_ui(new Ui::RecoverProcessWnd)
    , m_job(std::move(job))
    , m_destinationRoot(destinationRoot)
    , m_total(totalFiles)
    , m_report(std::move(report))
    , m_chooseReportPath(AskReportPath)
{
    m_ui->setupUi(this);
    connectButtons();
    m_ui->FinishBtn->hide();
    m_ui->ReportBtn->hide();
    m_ui->DetailList->hide();
    m_ui->DetailList->setHeaderLabels(
            {message(QStringLiteral("MSG1106")), message(QStringLiteral("MSG1107"))});
    // Names are often whole paths; they get the room, the result its own width.
    m_ui->DetailList->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_ui->DetailList->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_ui->DetailList->header()->setStretchLastSection(false);
    // The end of a path is the file's own name: that part stays in sight.
    m_ui->DetailList->setTextElideMode(Qt::ElideMiddle);
    m_skinSize = size();
}

CRecoverProcessWnd::~CRecoverProcessWnd()
{
    delete m_ui;
}

int CRecoverProcessWnd::doneCount() const
{
    std::lock_guard<std::mutex> guard(lock());
    return m_done;
}

int CRecoverProcessWnd::failedCount() const
{
    std::lock_guard<std::mutex> guard(lock());
    return m_failed;
}

void CRecoverProcessWnd::work()
{
    const int32_t result = m_job ? m_job(&CRecoverProcessWnd::recoveryCallback, this) : 0;
    if (result != vexlo::kCancelCode) {
        post([this] {
            m_ui->FinishBtn->show();
            m_ui->CancelBtn->hide();
            m_ui->ReportBtn->setVisible(m_report && m_report->has_value());
        });
    }
    setDone();
}

void CRecoverProcessWnd::onClick(const QString &name)
{
    if (name == QLatin1String("OpenBtn")) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(m_destinationRoot));
    } else if (name == QLatin1String("FinishBtn")) {
        done(Finished);
    } else if (name == QLatin1String("DetailBtn")) {
        toggleDetails();
    } else if (name == QLatin1String("ReportBtn")) {
        saveReport();
    } else if (name == QLatin1String("closebtn") || name == QLatin1String("CancelBtn")) {
        if (!isDone()) {
            if (askToCancel({"MSG1103", "MSG1104", "MSG1105"}))
                done(Cancelled);
        } else {
            done(Finished);
        }
    } else {
        CProgressWnd::onClick(name);
    }
}

void CRecoverProcessWnd::saveReport()
{
    if (!m_report || !m_report->has_value())
        return;
    const QString path = m_chooseReportPath(this);
    if (path.isEmpty())
        return;
    const std::filesystem::path target = path.toStdString();
    const vexlo::ErrorCode rc
            = (*m_report)->Write(target, vexlo::catalogue::ReportFormatFor(target));
    if (!rc.ok())
        CMessageBox::Show(
                CMessageBox::Error, this,
                FormatMessage(message(QStringLiteral("MSG1109")),
                              {path, QString::fromStdString(vexlo::platform::SystemMessage(rc))}));
}

void CRecoverProcessWnd::toggleDetails()
{
    const bool show = m_ui->DetailList->isHidden();
    m_ui->DetailList->setVisible(show);
    if (show) {
        setMinimumSize(0, 0);
        resize(m_skinSize + QSize(kDetailExtraWidth, kDetailExtraHeight));
    } else {
        resize(m_skinSize);
    }
}

int32_t CRecoverProcessWnd::recoveryCallback(void *user, int32_t progress, int32_t scale,
                                             int32_t errorCode, const char *fileName,
                                             uint64_t unreadableBytes)
{
    auto *self = static_cast<CRecoverProcessWnd *>(user);
    std::lock_guard<std::mutex> guard(self->lock());
    if (self->cancelRequested())
        return vexlo::kCancelCode;
    const int percentage = static_cast<int>(int64_t{progress} * scale / 100);
    const QString name = QString::fromUtf8(fileName ? fileName : "");
    if (percentage == 100) {
        const bool failed = errorCode != 0;
        QString result = QString::fromStdString(vexlo::catalogue::RecoveryOutcomeText(errorCode));
        if (!failed && unreadableBytes != 0)
            result = FormatMessage(self->message(QStringLiteral("MSG1108")),
                                   {QVariant::fromValue<qulonglong>(unreadableBytes)});
        if (failed)
            ++self->m_failed;
        ++self->m_done;
        self->post([self, name, result, failed] { self->addDetailRow(name, result, failed); });
    }
    const QString percent = FormatMessage(QStringLiteral("%s %d%%"),
                                          {self->message(QStringLiteral("MSG1101")), percentage});
    const QString recovered = FormatMessage(
            self->message(QStringLiteral("MSG1102")),
            {self->m_done, self->m_total, self->m_done - self->m_failed, self->m_failed});
    self->post([self, percentage, name, percent, recovered] {
        self->m_ui->progress->setValue(percentage);
        self->m_ui->current->setText(name);
        self->m_ui->percent->setText(percent);
        self->m_ui->recovered->setText(recovered);
    });
    return 0;
}

void CRecoverProcessWnd::addDetailRow(const QString &fileName, const QString &result, bool failed)
{
    auto *item = new QTreeWidgetItem({fileName, result});
    item->setToolTip(0, fileName);
    if (failed) {
        item->setForeground(0, QBrush(kFailureColor));
        item->setForeground(1, QBrush(kFailureColor));
        m_ui->DetailList->insertTopLevelItem(0, item);
    } else {
        m_ui->DetailList->addTopLevelItem(item);
    }
}
