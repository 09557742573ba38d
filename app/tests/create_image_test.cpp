// The image window and the "write an image" flow, copying from a fabricated
// disk tree whose disk is a plain file filled with a pattern.
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <fstream>
#include <iterator>

#include "create_image_flow.h"
#include "create_image_process_wnd.h"
#include "message_box.h"
#include "platform/error_code.h"
#include "platform/sector_source.h"
#include "test_support.h"
#include "tests/support/fake_disk_tree.h"

namespace {

const QString kTexts = QStringLiteral(
        "[CreateImageWnd]\ncancelbtn=Cancel\n"
        "[MessageBox]\nokbtn=OK\ncancelbtn=Cancel\n"
        "[Messages]\n"
        "MSG0401=Error\nMSG0402=Confirm\nMSG0403=Information\nMSG0404=Question\nMSG0405=Warning\n"
        "MSG0214=Scan the image now?\nMSG0216=Select a source.\n"
        "MSG0217=The image could not be completed.\nMSG0218=On the source.\n"
        "MSG0219=Too large for FAT.\nMSG0220=Too large for FAT32.\nMSG0221=Not enough space.\n"
        "MSG0301=Copied:\nMSG0302=Creating image file:\nMSG0303=Sectors:\n"
        "MSG0304=Estimating...\nMSG0305=Time remaining:\nMSG0306=Stop the copy?\n"
        "MSG0307=%llu sectors unreadable.\nMSG0308=List: %s\nMSG0309=Needs rights.\n");

constexpr uint64_t kDiskSectors = 1024; // eight 64 KiB pieces
constexpr uint64_t kSectorBytes = 512;
constexpr uint64_t kPieceSectors = 128;

QString Text(const char *key)
{
    return LanguageManager::Instance().Text(QStringLiteral("Messages"), QLatin1String(key));
}

std::vector<uint8_t> ReadFileBytes(const QString &path)
{
    std::ifstream in(path.toStdString(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

template<typename T> T *Child(QWidget *window, const char *name)
{
    return window->findChild<T *>(QLatin1String(name));
}

// A removable disk "sdb" (disk 0 of its tree) whose every sector differs.
struct FakeCard
{
    QTemporaryDir dir;
    vexlo::testing::FakeDiskTree tree{dir.filePath(QStringLiteral("tree")).toStdString()};
    std::vector<uint8_t> bytes;

    FakeCard()
    {
        tree.AddDisk("sdb", 8, 16, kDiskSectors, true);
        bytes.resize(kDiskSectors * kSectorBytes);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<uint8_t>(i * 31 + i / kSectorBytes * 7);
        std::ofstream(tree.DevPath("sdb"), std::ios::binary)
                .write(reinterpret_cast<const char *>(bytes.data()),
                       static_cast<std::streamsize>(bytes.size()));
    }

    vexlo::PartitionRecord partition(uint64_t start, uint64_t length) const
    {
        vexlo::PartitionRecord record;
        record.id = 3;
        record.disk_number = 0;
        record.start = start;
        record.length = length;
        record.total_bytes = length * kSectorBytes;
        record.file_system = "FAT32";
        record.root_path = tree.DevPath("sdb1");
        record.disk_path = tree.DevPath("sdb");
        return record;
    }

    std::vector<uint8_t> sectors(uint64_t first, uint64_t count) const
    {
        const auto begin = bytes.begin() + static_cast<std::ptrdiff_t>(first * kSectorBytes);
        return {begin, begin + static_cast<std::ptrdiff_t>(count * kSectorBytes)};
    }

    QString target(const char *name) const { return dir.filePath(QLatin1String(name)); }
};

// Scripted dialogs and destination facts; records what the flow asked.
struct FlowScript
{
    QStringList saveAnswers; // one per save dialog; an exhausted list cancels
    int questionAnswer = 2;
    int saveDialogs = 0;
    QString proposedName;
    QStringList informations;
    QStringList questions;
    std::vector<std::filesystem::path> sourceDevices;

    FlowScript()
    {
        CMessageBox::SetAnswererForTesting([this](int kind, const QString &text) {
            if (kind == CMessageBox::Question) {
                questions << text;
                return questionAnswer;
            }
            informations << text;
            return 1;
        });
    }
    ~FlowScript() { CMessageBox::SetAnswererForTesting(nullptr); }

    // A destination that accepts everything unless a test says otherwise.
    ImageFlowServices services(const FakeCard &card)
    {
        ImageFlowServices s;
        s.askSavePath = [this](QWidget *, const QString &proposed) {
            proposedName = proposed;
            return saveAnswers.value(saveDialogs++);
        };
        s.targetOnSource = [this](const std::filesystem::path &, const std::filesystem::path &d) {
            sourceDevices.push_back(d);
            return false;
        };
        s.fileSystemName = [](const std::filesystem::path &) { return std::string("ext4"); };
        s.freeBytes = [](const std::filesystem::path &) { return std::optional<uint64_t>(); };
        s.copy.roots = card.tree.roots();
        return s;
    }
};

// A worker paused inside the copy's clock at its n-th reading. The first
// reading is the start; reading k + 1 follows the write of piece k, just
// before its callback. Readings from `estimateFrom` on lie ten seconds on,
// so that the remaining time gets estimated.
struct PausingClock
{
    int pauseAt = 3;
    int estimateFrom = 3;
    std::atomic<int> readings{0};
    Gate paused;
    Gate resume;

    std::function<uint64_t()> function()
    {
        return [this]() -> uint64_t {
            const int n = ++readings;
            if (n == pauseAt) {
                paused.open();
                resume.wait();
            }
            return n >= estimateFrom ? 10000 : 0;
        };
    }
};

int WaitForResult(QSignalSpy &finished)
{
    if (finished.isEmpty() && !finished.wait(30000))
        return -1;
    return finished.first().first().toInt();
}

} // namespace

class CreateImageTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_catalogue = std::make_unique<TestCatalogue>(QString(), kTexts); }
    void cleanup()
    {
        vexlo::platform::SetSourceOpenerForTesting({});
        m_catalogue.reset();
    }

    void progressTexts_data()
    {
        QTest::addColumn<int>("percentage");
        QTest::addColumn<qulonglong>("done");
        QTest::addColumn<qulonglong>("total");
        QTest::addColumn<qlonglong>("remaining");
        QTest::addColumn<QString>("percent");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("sectors");
        QTest::newRow("estimating") << 12 << 128ULL << 1024ULL << -1LL << "Copied: 12%"
                                    << "Estimating..."
                                    << "Sectors: 128 / 1024";
        QTest::newRow("minutes") << 50 << 512ULL << 1024ULL << 65LL << "Copied: 50%"
                                 << "Time remaining: 1 Min 5 Sec"
                                 << "Sectors: 512 / 1024";
        QTest::newRow("hours") << 1 << 1ULL << 100ULL << 3600LL << "Copied: 1%"
                               << "Time remaining: 1 Hour 0 Min"
                               << "Sectors: 1 / 100";
        // Sector counts of large disks need all 64 bits.
        QTest::newRow("large disk")
                << 100 << 7814037168ULL << 7814037168ULL << 0LL << "Copied: 100%"
                << "Time remaining: 0 Sec"
                << "Sectors: 7814037168 / 7814037168";
    }

    void progressTexts()
    {
        QFETCH(int, percentage);
        QFETCH(qulonglong, done);
        QFETCH(qulonglong, total);
        QFETCH(qlonglong, remaining);
        const ImageProgressTexts texts
                = MakeImageProgressTexts(m_catalogue->manager().Section(QStringLiteral("Messages")),
                                         percentage, done, total, remaining);
        QCOMPARE(texts.percentage, percentage);
        QTEST(texts.percent, "percent");
        QTEST(texts.time, "time");
        QTEST(texts.sectors, "sectors");
    }

    void proposedNames()
    {
        FakeCard card;
        const vexlo::PartitionRecord record = card.partition(100, 300);
        QCOMPARE(ProposedImageName({&record, std::nullopt}),
                 QStringLiteral("3 (FAT32, 150.00 KB)"));
        QCOMPARE(ProposedImageName({nullptr, 0}), QStringLiteral("Physical Disk 1"));
    }

    // The image holds exactly the entry's sectors (or the whole disk); the
    // path comes back only when the user wants to scan it.
    void flowCopiesTheSource_data()
    {
        QTest::addColumn<bool>("wholeDisk");
        QTest::addColumn<int>("answer");
        QTest::newRow("entry, scan it") << false << 1;
        QTest::newRow("entry, do not scan") << false << 2;
        QTest::newRow("whole disk, scan it") << true << 1;
        QTest::newRow("whole disk, do not scan") << true << 2;
    }

    void flowCopiesTheSource()
    {
        QFETCH(bool, wholeDisk);
        QFETCH(int, answer);
        FakeCard card;
        const vexlo::PartitionRecord record = card.partition(100, 300);
        FlowScript script;
        const QString target = card.target("copy.img");
        script.saveAnswers = {target};
        script.questionAnswer = answer;
        const ImageFlowSource source
                = wholeDisk ? ImageFlowSource{nullptr, 0} : ImageFlowSource{&record, std::nullopt};

        const QString result = RunCreateImageFlow(nullptr, source, script.services(card));

        QCOMPARE(result, answer == 1 ? target : QString());
        QCOMPARE(script.proposedName, ProposedImageName(source));
        QCOMPARE(script.questions, QStringList{Text("MSG0214")});
        QVERIFY(script.informations.isEmpty());
        QVERIFY(ReadFileBytes(target)
                == (wholeDisk ? card.bytes : card.sectors(record.start, record.length)));
        QCOMPARE(script.sourceDevices.size(), std::size_t{1});
        QCOMPARE(script.sourceDevices[0], wholeDisk ? card.tree.DevPath("sdb") : record.root_path);
    }

    // Until the first estimate the time line says so; the last callback
    // leaves the window at 100 % with the estimate made on the way.
    void windowShowsEstimatingFirst()
    {
        FakeCard card;
        PausingClock clock;
        vexlo::ImageCopyJob job;
        job.roots = card.tree.roots();
        job.clock_ms = clock.function();
        const QString target = card.target("texts.img");
        CCreateImageProcessWnd window(nullptr, target, {0, true, 0, 0}, std::move(job));
        QSignalSpy finished(&window, &QDialog::finished);
        window.open();
        clock.paused.wait(); // piece 1 reported, piece 2 written
        QCoreApplication::processEvents();
        QCOMPARE(Child<QLabel>(&window, "stage")->text(), "Creating image file: " + target);
        QCOMPARE(Child<QLabel>(&window, "time")->text(), QStringLiteral("Estimating..."));
        QCOMPARE(Child<QLabel>(&window, "percent")->text(), QStringLiteral("Copied: 12%"));
        QCOMPARE(Child<QLabel>(&window, "sectors")->text(), QStringLiteral("Sectors: 128 / 1024"));
        clock.resume.open();

        QCOMPARE(WaitForResult(finished), int(CProgressWnd::Finished));
        QCoreApplication::processEvents();
        // Estimated once, after piece 2 at ten seconds: 768 sectors left at
        // 131072 bytes per ten seconds.
        QCOMPARE(Child<QLabel>(&window, "time")->text(), QStringLiteral("Time remaining: 30 Sec"));
        QCOMPARE(Child<QLabel>(&window, "percent")->text(), QStringLiteral("Copied: 100%"));
        QCOMPARE(Child<QLabel>(&window, "sectors")->text(), QStringLiteral("Sectors: 1024 / 1024"));
        QCOMPARE(Child<QProgressBar>(&window, "progress")->value(), 100);
        QCOMPARE(window.report().sectors_copied, kDiskSectors);
    }

    // A yes stops the copy at its next callback and keeps what was copied;
    // any other answer lets it finish.
    void cancel_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("result");
        QTest::addColumn<qulonglong>("sectorsKept");
        QTest::newRow("yes") << 1 << int(CProgressWnd::Cancelled) << qulonglong{2 * kPieceSectors};
        QTest::newRow("no") << 2 << int(CProgressWnd::Finished) << qulonglong{kDiskSectors};
    }

    void cancel()
    {
        QFETCH(int, answer);
        QFETCH(qulonglong, sectorsKept);
        FakeCard card;
        PausingClock clock;
        vexlo::ImageCopyJob job;
        job.roots = card.tree.roots();
        job.clock_ms = clock.function();
        QStringList asked;
        // The worker is held inside the copy while the question is open and
        // goes on once it has an answer.
        CMessageBox::SetAnswererForTesting([&](int, const QString &text) {
            asked << text;
            clock.resume.open();
            return answer;
        });
        const QString target = card.target("partial.img");
        CCreateImageProcessWnd window(nullptr, target, {0, true, 0, 0}, std::move(job));
        QSignalSpy finished(&window, &QDialog::finished);
        window.open();
        clock.paused.wait();
        Child<QPushButton>(&window, "cancelbtn")->click();

        QTEST(WaitForResult(finished), "result");
        CMessageBox::SetAnswererForTesting(nullptr);
        QCOMPARE(asked, QStringList{Text("MSG0306")});
        QVERIFY(ReadFileBytes(target) == card.sectors(0, sectorsKept));
    }

    // A copy that cannot run ends with 3 and an explanation; no scan is
    // offered.
    void failures_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("reason");
        // Root has every right there is: the system's own text says what
        // was refused instead.
        QTest::newRow("disk not readable for the user")
                << "denied"
                << (vexlo::platform::RunsAsRoot() ? QString::fromStdString(
                            vexlo::platform::SystemMessage(vexlo::err::kAccessDenied))
                                                  : QStringLiteral("Needs rights."));
        QTest::newRow("target folder missing")
                << "missing folder"
                << QString::fromStdString(
                           vexlo::platform::SystemMessage(vexlo::err::kFileNotFound));
        // An entry without sectors must not be taken for "up to the end".
        QTest::newRow("entry without sectors")
                << "empty entry"
                << QString::fromStdString(
                           vexlo::platform::SystemMessage(vexlo::err::kInvalidParameter));
    }

    void failures()
    {
        QFETCH(QString, what);
        QFETCH(QString, reason);
        FakeCard card;
        FlowScript script;
        const QString target = what == QLatin1String("missing folder")
                ? card.target("missing/copy.img")
                : card.target("copy.img");
        script.saveAnswers = {target};
        script.questionAnswer = 1;
        if (what == QLatin1String("denied")) {
            vexlo::platform::SetSourceOpenerForTesting(
                    [](const std::filesystem::path &,
                       std::unique_ptr<vexlo::platform::SectorSource> *) {
                        return vexlo::ErrorCode(vexlo::err::kAccessDenied);
                    });
        }
        const vexlo::PartitionRecord record
                = card.partition(100, what == QLatin1String("empty entry") ? 0 : 300);

        QCOMPARE(RunCreateImageFlow(nullptr, {&record, std::nullopt}, script.services(card)),
                 QString());
        QCOMPARE(script.informations, QStringList{Text("MSG0217") + "\n\n" + reason});
        QVERIFY(script.questions.isEmpty());
        QVERIFY(!QFileInfo::exists(target));
    }

    // Unreadable sectors do not stop the copy; they become zeros and the
    // user is told, with the list beside the image.
    void unreadableSectorsAreReported()
    {
        FakeCard card;
        vexlo::platform::SetSourceOpenerForTesting(
                [&card](const std::filesystem::path &,
                        std::unique_ptr<vexlo::platform::SectorSource> *out) {
                    auto faulty = std::make_unique<vexlo::platform::FaultySectorSource>(
                            std::make_unique<vexlo::platform::MemorySectorSource>(card.bytes));
                    faulty->AddUnreadableRange(200 * kSectorBytes, 3 * kSectorBytes);
                    *out = std::move(faulty);
                    return vexlo::ErrorCode(0);
                });
        FlowScript script;
        const QString target = card.target("bad.img");
        script.saveAnswers = {target};
        script.questionAnswer = 1;

        QCOMPARE(RunCreateImageFlow(nullptr, {nullptr, 0}, script.services(card)), target);
        QCOMPARE(script.informations,
                 QStringList{"3 sectors unreadable. List: " + target + ".bad"});
        std::vector<uint8_t> expected = card.bytes;
        std::fill_n(expected.begin() + 200 * kSectorBytes, 3 * kSectorBytes, 0);
        QVERIFY(ReadFileBytes(target) == expected);
    }

    // A refused target brings the save dialog back; the second answer, in a
    // folder that takes anything, is accepted. The sources are larger than
    // the fabricated disk, so an accepted copy stops at once with 3.
    void refusals_data()
    {
        QTest::addColumn<qulonglong>("sectors");
        QTest::addColumn<QString>("fileSystem");
        QTest::addColumn<qlonglong>("free"); // -1: unknown
        QTest::addColumn<bool>("onSource");
        QTest::addColumn<QString>("refusal"); // empty: accepted at once
        constexpr qulonglong k4GiB = (1ULL << 32) / kSectorBytes;
        constexpr qulonglong k2GiB = (1ULL << 31) / kSectorBytes;
        // FAT32's largest file is 4 GiB - 1, so exactly 4 GiB cannot be held.
        QTest::newRow("4 GiB onto FAT32") << k4GiB << "FAT32" << -1LL << false << "MSG0220";
        QTest::newRow("4 GiB - 1 sector onto FAT32") << k4GiB - 1 << "fat32" << -1LL << false << "";
        QTest::newRow("2 GiB onto FAT") << k2GiB << "FAT" << -1LL << false << "";
        QTest::newRow("2 GiB + 1 sector onto FAT")
                << k2GiB + 1 << "FAT" << -1LL << false << "MSG0219";
        QTest::newRow("8 GiB onto exFAT") << 2 * k4GiB << "exFAT" << -1LL << false << "";
        QTest::newRow("free space equal to the source")
                << 2048ULL << "ext4" << 2048LL * 512 << false << "MSG0221";
        QTest::newRow("free space one byte more")
                << 2048ULL << "ext4" << 2048LL * 512 + 1 << false << "";
        QTest::newRow("free space unknown") << 2048ULL << "ext4" << -1LL << false << "";
        QTest::newRow("target on the source") << 2048ULL << "ext4" << -1LL << true << "MSG0218";
    }

    void refusals()
    {
        QFETCH(qulonglong, sectors);
        QFETCH(QString, fileSystem);
        QFETCH(qlonglong, free);
        QFETCH(bool, onSource);
        QFETCH(QString, refusal);
        FakeCard card;
        const vexlo::PartitionRecord record = card.partition(0, sectors);
        const std::filesystem::path checked = card.target("checked").toStdString();
        FlowScript script;
        script.saveAnswers = {card.target("checked/first.img"), card.target("other/second.img")};
        ImageFlowServices services = script.services(card);
        services.targetOnSource
                = [&](const std::filesystem::path &target, const std::filesystem::path &device) {
                      script.sourceDevices.push_back(device);
                      return onSource && target.parent_path() == checked;
                  };
        services.fileSystemName = [&](const std::filesystem::path &folder) {
            return folder == checked ? fileSystem.toStdString() : std::string("ext4");
        };
        services.freeBytes = [&](const std::filesystem::path &folder) {
            return folder == checked && free >= 0 ? std::optional<uint64_t>(free)
                                                  : std::optional<uint64_t>();
        };

        QCOMPARE(RunCreateImageFlow(nullptr, {&record, std::nullopt}, services), QString());
        QCOMPARE(script.saveDialogs, refusal.isEmpty() ? 1 : 2);
        QCOMPARE(script.informations.size(), refusal.isEmpty() ? 1 : 2);
        if (!refusal.isEmpty())
            QCOMPARE(script.informations.first(), Text(refusal.toLatin1().constData()));
        QVERIFY(script.informations.last().startsWith(Text("MSG0217")));
        for (const std::filesystem::path &device : script.sourceDevices)
            QCOMPARE(device, record.root_path);
    }

    void cancelledDialogAndMissingSource()
    {
        FakeCard card;
        const vexlo::PartitionRecord record = card.partition(0, 100);
        FlowScript script;
        QCOMPARE(RunCreateImageFlow(nullptr, {&record, std::nullopt}, script.services(card)),
                 QString());
        QCOMPARE(script.saveDialogs, 1);
        QVERIFY(script.informations.isEmpty());

        QCOMPARE(RunCreateImageFlow(nullptr, {}, script.services(card)), QString());
        QCOMPARE(script.saveDialogs, 1);
        QCOMPARE(script.informations, QStringList{Text("MSG0216")});
    }

private:
    std::unique_ptr<TestCatalogue> m_catalogue;
};

QTEST_MAIN(CreateImageTest)
#include "create_image_test.moc"
