#include "create_image_process_wnd.h"

#include <new>

#include "catalogue/display_format.h"
#include "message_format.h"
#include "platform/error_code.h"
#include "size_text.h"
#include "ui_CreateImageProcessWnd.h"

namespace {

QString PhaseText(const LanguageManager::SectionMap &messages, vexlo::RescuePhase phase,
                  uint32_t pass)
{
    switch (phase) {
    case vexlo::RescuePhase::kCopying:
        return FormatMessage(messages.value(QStringLiteral("MSG0312")), {pass});
    case vexlo::RescuePhase::kTrimming:
        return messages.value(QStringLiteral("MSG0313"));
    case vexlo::RescuePhase::kScraping:
        return messages.value(QStringLiteral("MSG0314"));
    case vexlo::RescuePhase::kRetrying:
        return FormatMessage(messages.value(QStringLiteral("MSG0315")), {pass});
    case vexlo::RescuePhase::kFinished:
        break;
    }
    return messages.value(QStringLiteral("MSG0316"));
}

QString Duration(int64_t seconds)
{
    return QString::fromStdString(vexlo::catalogue::DurationText(seconds));
}

} // namespace

ImageProgressTexts MakeImageProgressTexts(const LanguageManager::SectionMap &messages,
                                          const vexlo::ImageCopyProgress &progress)
{
    ImageProgressTexts texts;
    texts.percentage = progress.percentage;
    texts.stage = PhaseText(messages, progress.phase, progress.pass) + QLatin1Char('\n')
            + FormatMessage(messages.value(QStringLiteral("MSG0317")),
                            {SizeText(progress.rescued_bytes), SizeText(progress.failed_bytes),
                             QVariant::fromValue<qulonglong>(progress.bad_areas)})
            + QLatin1Char('\n')
            + FormatMessage(messages.value(QStringLiteral("MSG0318")),
                            {SizeText(progress.read_rate_bytes_per_second),
                             Duration(static_cast<int64_t>(progress.seconds_since_success))});
    texts.percent = FormatMessage(QStringLiteral("%s %d%%"),
                                  {messages.value(QStringLiteral("MSG0301")), progress.percentage});
    const QString timeKey
            = QString::fromLatin1(vexlo::ImageTimeMessageKey(progress.remaining_seconds));
    texts.time = progress.remaining_seconds < 0
            ? messages.value(timeKey)
            : FormatMessage(QStringLiteral("%s %s"),
                            {messages.value(timeKey), Duration(progress.remaining_seconds)});
    texts.sectors = FormatMessage(QStringLiteral("%s %llu / %llu"),
                                  {messages.value(QStringLiteral("MSG0303")),
                                   QVariant::fromValue<qulonglong>(progress.sectors_done),
                                   QVariant::fromValue<qulonglong>(progress.sectors_total)});
    return texts;
}

CCreateImageProcessWnd::CCreateImageProcessWnd(QWidget *owner, const QString &imagePath,
                                               const ImageCopyRange &range, vexlo::ImageCopyJob job)
    : CProgressWnd(owner, QStringLiteral("CreateImageWnd"))
    , m_ui(new Ui::CreateImageProcessWnd)
    , m_imagePath(imagePath)
    , m_imageLine(FormatMessage(QStringLiteral("%s %s"),
                                {message(QStringLiteral("MSG0302")), imagePath}))
    , m_range(range)
    , m_job(std::move(job))
{
    m_ui->setupUi(this);
    connectButtons();
    resize(kWidth, kHeight);
    m_job.progress = &CCreateImageProcessWnd::progressCallback;
    m_job.user = this;
}

CCreateImageProcessWnd::~CCreateImageProcessWnd()
{
    delete m_ui;
}

void CCreateImageProcessWnd::onClick(const QString &name)
{
    // The worker closes the window with 2 once the copy has stopped.
    if (!handleCancelButtons(name, {"MSG0306", "MSG0310", "MSG0311"}))
        CProgressWnd::onClick(name);
}

void CCreateImageProcessWnd::work()
{
    post([this] { m_ui->stage->setText(m_imageLine); });

    // A stretch without sectors would read as "to the end of the disk" to
    // the copy; an entry like that is refused instead of copying the wrong
    // thing.
    const bool usable = m_range.diskNumber >= 0 && (m_range.wholeDisk || m_range.sectorCount != 0);
    // The worker's shared guard would report a fault as finished; a copy
    // that broke off must read as failed.
    try {
        m_copyResult = usable
                ? vexlo::CopyDiskToImage(m_job, static_cast<uint32_t>(m_range.diskNumber),
                                         m_range.wholeDisk ? 0 : m_range.firstSector,
                                         m_range.wholeDisk ? 0 : m_range.sectorCount,
                                         m_imagePath.toStdString(), &m_report)
                : vexlo::ErrorCode(vexlo::err::kInvalidParameter);
    } catch (const std::bad_alloc &) {
        m_copyResult = vexlo::err::kNotEnoughMemory;
    } catch (...) {
        m_copyResult = vexlo::err::kIoDevice;
    }
    setDone();
    if (m_copyResult == vexlo::kCancelCode)
        closeFromAnyThread(Cancelled);
    else
        closeFromAnyThread(m_copyResult == 0 ? Finished : Failed);
}

int32_t CCreateImageProcessWnd::progressCallback(void *user,
                                                 const vexlo::ImageCopyProgress &progress)
{
    auto *self = static_cast<CCreateImageProcessWnd *>(user);
    std::lock_guard<std::mutex> guard(self->lock());
    if (self->cancelRequested())
        return vexlo::kCancelCode;
    const ImageProgressTexts texts = MakeImageProgressTexts(self->messages(), progress);
    self->post([self, texts] { self->applyTexts(texts); });
    return 0;
}

void CCreateImageProcessWnd::applyTexts(const ImageProgressTexts &texts)
{
    m_ui->stage->setText(m_imageLine + QLatin1Char('\n') + texts.stage);
    m_ui->percent->setText(texts.percent);
    m_ui->progress->setValue(texts.percentage);
    m_ui->time->setText(texts.time);
    m_ui->sectors->setText(texts.sectors);
}
