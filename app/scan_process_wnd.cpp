#include "scan_process_wnd.h"

#include <QMetaObject>

#include "catalogue/display_format.h"
#include "engine/guarded_call.h"
#include "engine/listed_file_count.h"
#include "message_box.h"
#include "message_format.h"
#include "platform/error_code.h"
#include "ui_ScanProcessWnd.h"

namespace {

constexpr int32_t kProgressScale = 100;
// The engine's mode that continues an earlier deep scan when its log exists.
constexpr int kContinuableMode = 1;

} // namespace

ScanProgressTexts MakeScanProgressTexts(const LanguageManager::SectionMap &messages,
                                        int32_t progress, int32_t scale, int32_t remainingSeconds,
                                        uint64_t sectorsDone, uint64_t sectorsTotal,
                                        uint64_t recordsFound)
{
    ScanProgressTexts texts;
    texts.percentage = static_cast<int>(int64_t{progress} * scale / 100);
    texts.time = remainingSeconds == -1 ? messages.value(QStringLiteral("MSG0705"))
                                        : messages.value(QStringLiteral("MSG0708"))
                    + QString::fromStdString(vexlo::catalogue::DurationText(remainingSeconds));
    texts.percent = FormatMessage(QStringLiteral("%s %d%%"),
                                  {messages.value(QStringLiteral("MSG0704")), texts.percentage});
    texts.showCounts = sectorsTotal != 0;
    if (texts.showCounts) {
        texts.sectors = FormatMessage(QStringLiteral("%s %I64u / %I64u"),
                                      {messages.value(QStringLiteral("MSG0706")),
                                       QVariant::fromValue<qulonglong>(sectorsDone),
                                       QVariant::fromValue<qulonglong>(sectorsTotal)});
        texts.totalFile = FormatMessage(QStringLiteral("%s %I64u"),
                                        {messages.value(QStringLiteral("MSG0707")),
                                         QVariant::fromValue<qulonglong>(recordsFound)});
    }
    return texts;
}

QString ScanStageText(const LanguageManager::SectionMap &messages, const SourceEntry &source)
{
    if (source.isImage) {
        return FormatMessage(QStringLiteral("%s %s"),
                             {messages.value(QStringLiteral("MSG0703")), ImageSourceName(source)});
    }
    return FormatMessage(messages.value(QStringLiteral("MSG0702")), {source.deviceName});
}

QString UnreadableSectorsText(const LanguageManager::SectionMap &messages, uint64_t sectors)
{
    if (sectors == 0)
        return {};
    if (sectors == 1)
        return messages.value(QStringLiteral("MSG0510"));
    return FormatMessage(messages.value(QStringLiteral("MSG0509")),
                         {QString::fromStdString(vexlo::catalogue::GroupedNumber(sectors))});
}

CScanProcessWnd::CScanProcessWnd(QWidget *owner, std::vector<SourceEntry *> sources, int mode,
                                 ScanServices services)
    : CProgressWnd(owner, QStringLiteral("ScanWnd"))
    , m_ui(new Ui::ScanProcessWnd)
    , m_sources(std::move(sources))
    , m_mode(mode)
    , m_services(std::move(services))
{
    m_ui->setupUi(this);
    connectButtons();
    m_ui->sectors->hide();
    m_ui->totalfile->hide();
    m_ui->unreadable->hide();
    m_ui->okbtn->hide();
}

CScanProcessWnd::~CScanProcessWnd()
{
    delete m_ui;
}

void CScanProcessWnd::onClick(const QString &name)
{
    if (m_showingResult) {
        done(Finished);
        return;
    }
    // The worker closes the window itself once the engine has stopped.
    if (!handleCancelButtons(name, {"MSG0709", "MSG0710", "MSG0711"}))
        CProgressWnd::onClick(name);
}

void CScanProcessWnd::work()
{
    for (SourceEntry *source : m_sources) {
        const QString stage = ScanStageText(messages(), *source);
        post([this, stage] { m_ui->stage->setText(stage); });

        source->engine.reset();
        if (m_services.createEngine)
            source->engine = m_services.createEngine(*source, m_mode);
        if (!source->engine) {
            setDone();
            closeFromAnyThread(Failed);
            return;
        }
        vexlo::IFileRecoveryParse &engine = *source->engine;

        if (m_mode != kContinuableMode) {
            if (m_services.startFreshScanLog)
                m_services.startFreshScanLog();
        } else if (m_services.hasEarlierScanLog && m_services.hasEarlierScanLog(engine)
                   && !askContinueEarlierScan()) {
            if (m_services.discardEarlierScanLog)
                m_services.discardEarlierScanLog(engine);
        }

        m_countingListed = m_countedTypes && vexlo::CountListedFiles(engine, *m_countedTypes);
        m_filesFound = 0;
        (void)engine.SetProgressCallbacks(&CScanProcessWnd::scanCallback, nullptr, this,
                                          kProgressScale);
        const vexlo::ErrorCode rc = vexlo::GuardedCall([&] { return engine.Scan(nullptr); });
        if (m_countingListed)
            m_filesBefore += m_filesFound;
        if (m_services.unreadableSectors)
            m_unreadableSectors += m_services.unreadableSectors(engine);
        if (rc == vexlo::kCancelCode)
            break;
        if (!rc.ok()) {
            fail(QString::fromStdString(vexlo::platform::SystemMessage(rc)));
            return;
        }
    }
    setDone();
    // Emitted in the window's thread, where its receivers live.
    post([this] { emit scanFinished(); });
    const QString line = UnreadableSectorsText(messages(), m_unreadableSectors);
    if (line.isEmpty())
        closeFromAnyThread(Finished);
    else
        post([this, line] { showUnreadableLine(line); });
}

bool CScanProcessWnd::askContinueEarlierScan()
{
    int answer = 0;
    // The question is a window of the user-interface thread; the worker waits
    // for the answer.
    QMetaObject::invokeMethod(
            this,
            [this, &answer] {
                // QDialog's own hide would also end the modal loop of exec(),
                // telling the owner the scan is over before it has begun.
                QWidget::setVisible(false);
                answer = CMessageBox::Show(
                        CMessageBox::Question, parentWidget(), message(QStringLiteral("MSG1206")),
                        {message(QStringLiteral("MSG0712")), message(QStringLiteral("MSG0713"))});
                QWidget::setVisible(true);
            },
            Qt::BlockingQueuedConnection);
    return answer == 1;
}

int32_t CScanProcessWnd::scanCallback(void *user, int32_t progress, int32_t scale,
                                      int32_t remainingSeconds, uint64_t sectorsDone,
                                      uint64_t sectorsTotal, uint64_t recordsFound, int32_t)
{
    auto *self = static_cast<CScanProcessWnd *>(user);
    std::lock_guard<std::mutex> guard(self->lock());
    if (self->cancelRequested())
        return vexlo::kCancelCode;
    self->m_filesFound = recordsFound;
    const uint64_t files
            = self->m_countingListed ? self->m_filesBefore + recordsFound : recordsFound;
    const ScanProgressTexts texts = MakeScanProgressTexts(
            self->messages(), progress, scale, remainingSeconds, sectorsDone, sectorsTotal, files);
    self->post([self, texts] { self->applyTexts(texts); });
    return 0;
}

void CScanProcessWnd::showUnreadableLine(const QString &line)
{
    m_showingResult = true;
    m_ui->unreadable->setText(line);
    m_ui->unreadable->show();
    m_ui->cancelbtn->hide();
    m_ui->okbtn->show();
    m_ui->okbtn->setDefault(true);
    m_ui->okbtn->setFocus();
}

void CScanProcessWnd::applyTexts(const ScanProgressTexts &texts)
{
    m_ui->time->setText(texts.time);
    m_ui->progress->setValue(texts.percentage);
    m_ui->percent->setText(texts.percent);
    m_ui->sectors->setText(texts.sectors);
    m_ui->totalfile->setText(texts.totalFile);
    m_ui->sectors->setVisible(texts.showCounts);
    m_ui->totalfile->setVisible(texts.showCounts);
}
