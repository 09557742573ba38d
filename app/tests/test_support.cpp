#include "test_support.h"

#include <new>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>
#include <QSignalSpy>

#include "platform/error_code.h"
#include "scan_services.h"

void Gate::open()
{
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_open = true;
    }
    m_cv.notify_all();
}

void Gate::wait()
{
    std::unique_lock<std::mutex> guard(m_mutex);
    m_cv.wait(guard, [this] { return m_open; });
}

vexlo::ErrorCode FakeEngine::SetProgressCallbacks(vexlo::ScanProgressCallback scan,
                                                  vexlo::RecoveryProgressCallback recovery,
                                                  void *user, int32_t scale)
{
    m_scan = scan;
    m_recovery = recovery;
    m_user = user;
    m_scale = scale;
    return 0;
}

vexlo::ErrorCode FakeEngine::Scan(const std::string *)
{
    for (std::size_t i = 0; i < steps.size(); ++i) {
        if (i == pauseBefore) {
            paused.open();
            resume.wait();
        }
        const ScanStep &step = steps[i];
        const int32_t answer = m_scan(m_user, step.progress, m_scale, step.remainingSeconds,
                                      step.sectorsDone, step.sectorsTotal, step.recordsFound, 0);
        answers.push_back(answer);
        if (answer == vexlo::kCancelCode)
            return vexlo::kCancelCode;
    }
    if (scanThrows)
        throw std::bad_alloc();
    return scanError;
}

vexlo::ErrorCode FakeEngine::RecoverFile(const vexlo::FoundFileRecord &record,
                                         const std::filesystem::path &destination, uint32_t)
{
    const int32_t code = recoverResult ? recoverResult(record) : 0;
    const std::string name = destination.filename().string();
    if (m_recovery(m_user, 50, m_scale, 0, name.c_str(), 0) == vexlo::kCancelCode)
        return vexlo::kCancelCode;
    const uint64_t unreadable = unreadableBytes && code == 0 ? unreadableBytes(record) : 0;
    if (m_recovery(m_user, 100, m_scale, code, name.c_str(), unreadable) == vexlo::kCancelCode)
        return vexlo::kCancelCode;
    return code;
}

vexlo::ErrorCode FakeEngine::SetSearchCallback(vexlo::SearchProgressCallback callback, void *user)
{
    m_search = callback;
    m_searchUser = user;
    return 0;
}

vexlo::ErrorCode FakeEngine::FindFiles(std::string_view filter,
                                       std::vector<vexlo::FoundFileRecord> *out)
{
    lastFilter = std::string(filter);
    for (int percent : {50, 100}) {
        if (m_search(m_searchUser, percent, 0) == vexlo::kCancelCode)
            return vexlo::kCancelCode;
    }
    out->insert(out->end(), searchResults.begin(), searchResults.end());
    return 0;
}

ForwardingEngine::ForwardingEngine(std::unique_ptr<vexlo::IFileRecoveryParse> inner)
    : m_inner(std::move(inner))
{
}

vexlo::ErrorCode ForwardingEngine::OpenImagePartition(const std::filesystem::path &path,
                                                      uint64_t first, uint64_t count, uint16_t id)
{
    return m_inner->OpenImagePartition(path, first, count, id);
}

vexlo::ErrorCode ForwardingEngine::OpenPartition(uint32_t disk, uint64_t first, uint64_t count,
                                                 uint16_t id)
{
    return m_inner->OpenPartition(disk, first, count, id);
}

vexlo::ErrorCode ForwardingEngine::SetProgressCallbacks(vexlo::ScanProgressCallback scan,
                                                        vexlo::RecoveryProgressCallback recovery,
                                                        void *user, int32_t scale)
{
    return m_inner->SetProgressCallbacks(scan, recovery, user, scale);
}

vexlo::ErrorCode ForwardingEngine::Scan(const std::string *earlier)
{
    return m_inner->Scan(earlier);
}

vexlo::ErrorCode ForwardingEngine::ListFolder(const vexlo::FoundFileRecord *folder, uint32_t level,
                                              std::vector<vexlo::FoundFileRecord> *out)
{
    return m_inner->ListFolder(folder, level, out);
}

vexlo::ErrorCode ForwardingEngine::CountFiles(const vexlo::FoundFileRecord *folder, uint32_t level,
                                              uint32_t *count)
{
    return m_inner->CountFiles(folder, level, count);
}

uint64_t ForwardingEngine::GetRecordCount()
{
    return m_inner->GetRecordCount();
}

vexlo::ErrorCode ForwardingEngine::GetFullPath(const vexlo::FoundFileRecord &record,
                                               std::string *path)
{
    return m_inner->GetFullPath(record, path);
}

vexlo::ErrorCode ForwardingEngine::RecoverFile(const vexlo::FoundFileRecord &record,
                                               const std::filesystem::path &destination,
                                               uint32_t separators)
{
    return m_inner->RecoverFile(record, destination, separators);
}

int32_t ForwardingEngine::NextFreeRange(uint64_t *sector, uint64_t *length)
{
    return m_inner->NextFreeRange(sector, length);
}

vexlo::ErrorCode ForwardingEngine::SetSearchCallback(vexlo::SearchProgressCallback callback,
                                                     void *user)
{
    return m_inner->SetSearchCallback(callback, user);
}

vexlo::ErrorCode ForwardingEngine::FindFiles(std::string_view filter,
                                             std::vector<vexlo::FoundFileRecord> *out)
{
    return m_inner->FindFiles(filter, out);
}

vexlo::ErrorCode ForwardingEngine::BuildUsedClusterBitmap()
{
    return m_inner->BuildUsedClusterBitmap();
}

vexlo::ErrorCode ForwardingEngine::ExtractForPreview(const vexlo::FoundFileRecord &record,
                                                     std::string *path, uint8_t *buffer,
                                                     uint32_t *count,
                                                     vexlo::PreviewProgressCallback callback,
                                                     void *user)
{
    return m_inner->ExtractForPreview(record, path, buffer, count, callback, user);
}

MainWndServices QuietServices(vexlo::ScanHistory &history, std::function<QString()> image,
                              std::function<QString()> folder,
                              std::function<std::vector<vexlo::PartitionRecord>()> disks)
{
    MainWndServices services;
    services.chooseImageFile = [image = std::move(image)](QWidget *) { return image(); };
    services.chooseRecoveryFolder = [folder = std::move(folder)](QWidget *) { return folder(); };
    services.listDisks = std::move(disks);
    services.watchDevices = false;
    services.scan = MakeEngineScanServices(history);
    return services;
}

std::unique_ptr<TestCatalogue> ShippedCatalogue()
{
    return std::make_unique<TestCatalogue>(
            QStringLiteral("[DefaultLanguage]\nDefault=English\n[Languages]\n"
                           "English=English\nDeutsch=Deutsch\n"),
            ReadTextFile(ShippedResource(QStringLiteral("Languages/English.ini"))),
            ReadTextFile(ShippedResource(QStringLiteral("Languages/Deutsch.ini"))));
}

void WriteTextFile(const QString &path, const QString &text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(text.toUtf8());
}

QString ReadTextFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString MessageText(const char *key)
{
    return LanguageManager::Instance()
            .Section(QStringLiteral("Messages"))
            .value(QLatin1String(key));
}

int WaitForResult(QSignalSpy &finished)
{
    constexpr int kCloseWaitMs = 120000;
    if (finished.isEmpty() && !finished.wait(kCloseWaitMs))
        return -1;
    return finished.first().first().toInt();
}

int RunToEnd(QDialog &window)
{
    QSignalSpy finished(&window, &QDialog::finished);
    window.open();
    return WaitForResult(finished);
}

void SaveScreenshot(QWidget *widget, const QString &name)
{
    const QString folder = qEnvironmentVariable("VEXLO_SCREENSHOT_DIR");
    if (folder.isEmpty())
        return;
    QDir().mkpath(folder);
    if (!widget->grab().save(QDir(folder).filePath(name + QStringLiteral(".png"))))
        qWarning("could not save the screenshot %s", qPrintable(name));
}

QString ShippedResource(const QString &relative)
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(relative);
}

TestCatalogue::TestCatalogue(const QString &config, const QString &english, const QString &deutsch)
{
    const QDir dir(m_dir.path());
    if (!config.isEmpty())
        WriteTextFile(dir.filePath(QStringLiteral("config.ini")), config);
    if (!english.isEmpty())
        WriteTextFile(dir.filePath(QStringLiteral("Languages/English.ini")), english);
    if (!deutsch.isEmpty())
        WriteTextFile(dir.filePath(QStringLiteral("Languages/Deutsch.ini")), deutsch);
    m_manager = std::make_unique<LanguageManager>(dir.filePath(QStringLiteral("config.ini")),
                                                  userConfig(),
                                                  dir.filePath(QStringLiteral("Languages")));
    LanguageManager::SetInstanceForTesting(m_manager.get());
}

TestCatalogue::~TestCatalogue()
{
    LanguageManager::SetInstanceForTesting(nullptr);
}
