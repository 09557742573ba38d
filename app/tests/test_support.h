// Helpers of the application's Qt tests: a scriptable engine and a language
// catalogue built on temporary files.
#pragma once

#include <QDialog>
#include <QSignalSpy>
#include <QString>
#include <QTemporaryDir>
#include <QWidget>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/file_recovery_parse.h"
#include "language_manager.h"
#include "main_wnd.h"
#include "tests/support/temp_scan_history.h"

// One call of the scan callback.
struct ScanStep
{
    int32_t progress = 0;
    int32_t remainingSeconds = -1;
    uint64_t sectorsDone = 0;
    uint64_t sectorsTotal = 0;
    uint64_t recordsFound = 0;
};

// A one-way gate a worker waits at until the test opens it.
class Gate
{
public:
    void open();
    void wait();

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_open = false;
};

// An engine that replays scripted callbacks. Scan runs `steps`; before the
// step at index `pauseBefore` it tells `paused` and waits at `resume`.
class FakeEngine : public vexlo::IFileRecoveryParse
{
public:
    std::vector<ScanStep> steps;
    std::size_t pauseBefore = SIZE_MAX;
    Gate paused;
    Gate resume;
    std::vector<int32_t> answers; // what each scan callback returned
    int32_t scanError = 0; // what Scan returns once its steps ran
    bool scanThrows = false; // Scan throws std::bad_alloc once its steps ran
    std::vector<vexlo::FoundFileRecord> searchResults;
    // name -> error code RecoverFile reports for it
    std::function<int32_t(const vexlo::FoundFileRecord &)> recoverResult;
    // name -> bytes of it that come from unreadable sectors
    std::function<uint64_t(const vexlo::FoundFileRecord &)> unreadableBytes;

    vexlo::ErrorCode OpenImagePartition(const std::filesystem::path &, uint64_t, uint64_t,
                                        uint16_t) override
    {
        return 0;
    }
    vexlo::ErrorCode OpenPartition(uint32_t, uint64_t, uint64_t, uint16_t) override { return 0; }
    vexlo::ErrorCode SetProgressCallbacks(vexlo::ScanProgressCallback scan,
                                          vexlo::RecoveryProgressCallback recovery, void *user,
                                          int32_t scale) override;
    vexlo::ErrorCode Scan(const std::string *) override;
    vexlo::ErrorCode ListFolder(const vexlo::FoundFileRecord *, uint32_t,
                                std::vector<vexlo::FoundFileRecord> *) override
    {
        return 0;
    }
    vexlo::ErrorCode CountFiles(const vexlo::FoundFileRecord *, uint32_t, uint32_t *) override
    {
        return 0;
    }
    uint64_t GetRecordCount() override { return 0; }
    vexlo::ErrorCode GetFullPath(const vexlo::FoundFileRecord &, std::string *) override
    {
        return 0;
    }
    vexlo::ErrorCode RecoverFile(const vexlo::FoundFileRecord &record,
                                 const std::filesystem::path &destination, uint32_t) override;
    int32_t NextFreeRange(uint64_t *, uint64_t *) override { return 0; }
    vexlo::ErrorCode SetSearchCallback(vexlo::SearchProgressCallback callback, void *user) override;
    vexlo::ErrorCode FindFiles(std::string_view filter,
                               std::vector<vexlo::FoundFileRecord> *out) override;
    vexlo::ErrorCode BuildUsedClusterBitmap() override { return 0; }
    vexlo::ErrorCode ExtractForPreview(const vexlo::FoundFileRecord &, std::string *, uint8_t *,
                                       uint32_t *, vexlo::PreviewProgressCallback, void *) override
    {
        return 0;
    }

    std::string lastFilter;

private:
    vexlo::ScanProgressCallback m_scan = nullptr;
    vexlo::RecoveryProgressCallback m_recovery = nullptr;
    vexlo::SearchProgressCallback m_search = nullptr;
    void *m_user = nullptr;
    void *m_searchUser = nullptr;
    int32_t m_scale = 100;
};

// An engine that hands every operation to another one; tests derive from it
// to watch or hold the few operations they are about.
class ForwardingEngine : public vexlo::IFileRecoveryParse
{
public:
    explicit ForwardingEngine(std::unique_ptr<vexlo::IFileRecoveryParse> inner);

    vexlo::IFileRecoveryParse &inner() { return *m_inner; }

    vexlo::ErrorCode OpenImagePartition(const std::filesystem::path &path, uint64_t first,
                                        uint64_t count, uint16_t id) override;
    vexlo::ErrorCode OpenPartition(uint32_t disk, uint64_t first, uint64_t count,
                                   uint16_t id) override;
    vexlo::ErrorCode SetProgressCallbacks(vexlo::ScanProgressCallback scan,
                                          vexlo::RecoveryProgressCallback recovery, void *user,
                                          int32_t scale) override;
    vexlo::ErrorCode Scan(const std::string *earlier) override;
    vexlo::ErrorCode ListFolder(const vexlo::FoundFileRecord *folder, uint32_t level,
                                std::vector<vexlo::FoundFileRecord> *out) override;
    vexlo::ErrorCode CountFiles(const vexlo::FoundFileRecord *folder, uint32_t level,
                                uint32_t *count) override;
    uint64_t GetRecordCount() override;
    vexlo::ErrorCode GetFullPath(const vexlo::FoundFileRecord &record, std::string *path) override;
    vexlo::ErrorCode RecoverFile(const vexlo::FoundFileRecord &record,
                                 const std::filesystem::path &destination,
                                 uint32_t separators) override;
    int32_t NextFreeRange(uint64_t *sector, uint64_t *length) override;
    vexlo::ErrorCode SetSearchCallback(vexlo::SearchProgressCallback callback, void *user) override;
    vexlo::ErrorCode FindFiles(std::string_view filter,
                               std::vector<vexlo::FoundFileRecord> *out) override;
    vexlo::ErrorCode BuildUsedClusterBitmap() override;
    vexlo::ErrorCode ExtractForPreview(const vexlo::FoundFileRecord &record, std::string *path,
                                       uint8_t *buffer, uint32_t *count,
                                       vexlo::PreviewProgressCallback callback,
                                       void *user) override;

private:
    std::unique_ptr<vexlo::IFileRecoveryParse> m_inner;
};

// A catalogue on files in a temporary program folder, installed as the
// program's catalogue for the lifetime of the object.
class TestCatalogue
{
public:
    // `english` is the text of Languages/English.ini; an empty config text
    // leaves config.ini out.
    TestCatalogue(const QString &config, const QString &english, const QString &deutsch = {});
    ~TestCatalogue();

    LanguageManager &manager() { return *m_manager; }
    QString programFolder() const { return m_dir.path(); }
    QString userConfig() const { return m_dir.filePath(QStringLiteral("user/config.ini")); }

private:
    QTemporaryDir m_dir;
    std::unique_ptr<LanguageManager> m_manager;
};

// The control `name` of `window`. A test that asks for a control the window
// lacks stops there, naming it, instead of crashing on a null pointer later.
template<typename T> T *Child(const QWidget &window, const char *name)
{
    T *found = window.findChild<T *>(QLatin1String(name));
    if (found == nullptr)
        qFatal("no control %s", name);
    return found;
}

template<typename T> T *Child(const QWidget *window, const char *name)
{
    return Child<T>(*window, name);
}

// What a test of the main window on a card image of its own keeps: its
// folder (the card, the program's data), the scan history of its engines,
// the catalogue and the card.
struct CardImageFixture
{
    QTemporaryDir m_dir;
    vexlo::testing::TempScanHistory m_history;
    std::unique_ptr<TestCatalogue> m_catalogue;
    QString m_card;
};

// Main-window services that reach nothing of the machine: the dialogs are
// answered by `image` and `folder`, the disk list is `disks`, no device is
// watched; the engines are the program's own, keeping their logs in
// `history`.
MainWndServices QuietServices(vexlo::ScanHistory &history, std::function<QString()> image,
                              std::function<QString()> folder,
                              std::function<std::vector<vexlo::PartitionRecord>()> disks);

// A catalogue of the program's own English and German files, English chosen.
std::unique_ptr<TestCatalogue> ShippedCatalogue();

// Writes `text` to `path` (UTF-8), creating folders.
void WriteTextFile(const QString &path, const QString &text);
QString ReadTextFile(const QString &path);

// The program's shipped resources (beside the test binaries).
QString ShippedResource(const QString &relative);

// The text of message `key` in the catalogue installed now.
QString MessageText(const char *key);

// The result a window's `finished` signal carries, running the event loop
// until it comes; -1 when it has not come after a generous while.
int WaitForResult(QSignalSpy &finished);

// Opens `window` and runs the event loop until it closes; returns its
// result, or -1 when it has not closed after a generous while.
int RunToEnd(QDialog &window);

// Saves a picture of `widget` as <name>.png into the folder that
// VEXLO_SCREENSHOT_DIR names, for looking at the windows by eye; nothing
// when it is not set.
void SaveScreenshot(QWidget *widget, const QString &name);
