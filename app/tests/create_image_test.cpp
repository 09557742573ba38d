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

Q_DECLARE_METATYPE(vexlo::ImageCopyProgress)

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
        "MSG0307=%llu sectors unreadable.\nMSG0308=List: %s\nMSG0512=Denied %s.\n"
        "MSG0513=Root denied %s.\n"
        "MSG0312=Copying, pass %d\nMSG0313=Trimming\nMSG0314=Scraping\n"
        "MSG0315=Retrying, pass %d\nMSG0316=Finished\n"
        "MSG0317=Rescued %s, unreadable %s in %llu areas\n"
        "MSG0318=Reading %s/s, last good read %s ago\n"
        "MSG0319=Stopped answering.\nMSG0320=Vanished.\nMSG0321=Continue?\n"
        "MSG0322=Map %s of another copy.\n");

constexpr uint64_t kDiskSectors = 8192; // four reads of 1 MiB
constexpr uint64_t kSectorBytes = 512;
constexpr uint64_t kBlockSectors = 2048;

std::vector<uint8_t> ReadFileBytes(const QString &path)
{
    std::ifstream in(path.toStdString(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
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

    // Every source opened from now on reads these bytes through a faulty
    // source that `setup` prepares.
    void serveFaulty(std::function<void(vexlo::platform::FaultySectorSource &)> setup) const
    {
        vexlo::platform::SetSourceOpenerForTesting(
                [this, setup](const std::filesystem::path &,
                              std::unique_ptr<vexlo::platform::SectorSource> *out) {
                    auto faulty = std::make_unique<vexlo::platform::FaultySectorSource>(
                            std::make_unique<vexlo::platform::MemorySectorSource>(bytes));
                    setup(*faulty);
                    *out = std::move(faulty);
                    return vexlo::ErrorCode(0);
                });
    }
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

// A worker paused inside the copy's clock at its n-th reading. The copy
// reads the clock at its start (1), when it enters the first pass (2, 3:
// the first progress call), and three times around each read: before it,
// when it starts and when it ends (4-6 for the first block, 7-9 for the
// second ...). Readings from `estimateFrom` on lie ten seconds on, so the
// progress call before the second block estimates the remaining time.
struct PausingClock
{
    int pauseAt = 10;
    int estimateFrom = 7;
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

std::vector<uint8_t> Zeroed(std::vector<uint8_t> bytes, uint64_t fromSector)
{
    std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(fromSector * kSectorBytes), bytes.end(),
              0);
    return bytes;
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
        using vexlo::RescuePhase;
        QTest::addColumn<vexlo::ImageCopyProgress>("progress");
        QTest::addColumn<QString>("stage");
        QTest::addColumn<QString>("percent");
        QTest::addColumn<QString>("time");
        QTest::addColumn<QString>("sectors");
        QTest::newRow("estimating")
                << vexlo::ImageCopyProgress{.phase = RescuePhase::kCopying,
                                            .percentage = 12,
                                            .sectors_done = 128,
                                            .sectors_total = 1024,
                                            .remaining_seconds = -1,
                                            .rescued_bytes = 65536,
                                            .read_rate_bytes_per_second = 2097152}
                << "Copying, pass 1\nRescued 64.00 KB, unreadable 0 Bytes in "
                   "0 areas\nReading 2.00 MB/s, last good read 0 Sec ago"
                << "Copied: 12%"
                << "Estimating..."
                << "Sectors: 128 / 1024";
        QTest::newRow("trimming, minutes")
                << vexlo::ImageCopyProgress{.phase = RescuePhase::kTrimming,
                                            .percentage = 50,
                                            .sectors_done = 512,
                                            .sectors_total = 1024,
                                            .remaining_seconds = 65,
                                            .rescued_bytes = 262144,
                                            .failed_bytes = 4096,
                                            .bad_areas = 2,
                                            .read_rate_bytes_per_second = 512,
                                            .seconds_since_success = 3}
                << "Trimming\nRescued 256.00 KB, unreadable 4.00 KB in 2 areas\nReading 512 "
                   "Bytes/s, last good read 3 Sec ago"
                << "Copied: 50%"
                << "Time remaining: 1 Min 5 Sec"
                << "Sectors: 512 / 1024";
        QTest::newRow("retrying, hours")
                << vexlo::ImageCopyProgress{.phase = RescuePhase::kRetrying,
                                            .percentage = 1,
                                            .sectors_done = 1,
                                            .sectors_total = 100,
                                            .remaining_seconds = 3600,
                                            .rescued_bytes = 512,
                                            .failed_bytes = 512,
                                            .bad_areas = 1,
                                            .seconds_since_success = 3700}
                << "Retrying, pass 1\nRescued 512 Bytes, unreadable 512 Bytes in 1 areas\n"
                   "Reading 0 Bytes/s, last good read 1 Hour 1 Min ago"
                << "Copied: 1%"
                << "Time remaining: 1 Hour 0 Min"
                << "Sectors: 1 / 100";
        // Sector counts of large disks need all 64 bits.
        QTest::newRow("large disk")
                << vexlo::ImageCopyProgress{.phase = RescuePhase::kFinished,
                                            .percentage = 100,
                                            .sectors_done = 7814037168ULL,
                                            .sectors_total = 7814037168ULL,
                                            .remaining_seconds = 0,
                                            .rescued_bytes = 4000787030016ULL}
                << "Finished\nRescued 3.64 TB, unreadable 0 Bytes in 0 areas\nReading 0 "
                   "Bytes/s, last good read 0 Sec ago"
                << "Copied: 100%"
                << "Time remaining: 0 Sec"
                << "Sectors: 7814037168 / 7814037168";
    }

    void progressTexts()
    {
        QFETCH(vexlo::ImageCopyProgress, progress);
        const ImageProgressTexts texts = MakeImageProgressTexts(
                m_catalogue->manager().Section(QStringLiteral("Messages")), progress);
        QCOMPARE(texts.percentage, progress.percentage);
        QTEST(texts.stage, "stage");
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
        QCOMPARE(script.questions, QStringList{MessageText("MSG0214")});
        QVERIFY(script.informations.isEmpty());
        QVERIFY(ReadFileBytes(target)
                == (wholeDisk ? card.bytes : card.sectors(record.start, record.length)));
        QCOMPARE(script.sourceDevices.size(), std::size_t{1});
        QCOMPARE(script.sourceDevices[0], wholeDisk ? card.tree.DevPath("sdb") : record.root_path);
    }

    // The stage line names the phase and what it has rescued so far; the
    // last callback leaves the window at 100 % and "Finished".
    void windowShowsThePhaseAndItsProgress()
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
        clock.paused.wait(); // block 1 copied, reported ten seconds on
        QCoreApplication::processEvents();
        const QString imageLine = "Creating image file: " + target;
        QCOMPARE(Child<QLabel>(&window, "stage")->text(),
                 imageLine
                         + "\nCopying, pass 1\nRescued 1.00 MB, unreadable 0 Bytes in 0 areas\n"
                           "Reading 102.40 KB/s, last good read 10 Sec ago");
        // 3 MiB to go at 1 MiB in ten seconds.
        QCOMPARE(Child<QLabel>(&window, "time")->text(), QStringLiteral("Time remaining: 30 Sec"));
        QCOMPARE(Child<QLabel>(&window, "percent")->text(), QStringLiteral("Copied: 25%"));
        QCOMPARE(Child<QLabel>(&window, "sectors")->text(), QStringLiteral("Sectors: 2048 / 8192"));
        clock.resume.open();

        QCOMPARE(WaitForResult(finished), int(CProgressWnd::Finished));
        QCoreApplication::processEvents();
        QVERIFY(Child<QLabel>(&window, "stage")->text().startsWith(imageLine + "\nFinished\n"));
        QCOMPARE(Child<QLabel>(&window, "time")->text(), QStringLiteral("Time remaining: 0 Sec"));
        QCOMPARE(Child<QLabel>(&window, "percent")->text(), QStringLiteral("Copied: 100%"));
        QCOMPARE(Child<QLabel>(&window, "sectors")->text(), QStringLiteral("Sectors: 8192 / 8192"));
        QCOMPARE(Child<QProgressBar>(&window, "progress")->value(), 100);
        QCOMPARE(window.report().rescued_sectors, kDiskSectors);
    }

    // A yes stops the copy at its next callback and keeps what was copied,
    // the rest of the image zeros until the copy is continued; any other
    // answer lets it finish.
    void cancel_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("result");
        QTest::addColumn<qulonglong>("sectorsKept");
        QTest::newRow("yes") << 1 << int(CProgressWnd::Cancelled) << qulonglong{kBlockSectors};
        QTest::newRow("no") << 2 << int(CProgressWnd::Finished) << qulonglong{kDiskSectors};
    }

    void cancel()
    {
        QFETCH(int, answer);
        QFETCH(qulonglong, sectorsKept);
        FakeCard card;
        PausingClock clock;
        clock.pauseAt = 7; // before the progress call of block 2
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
        QCOMPARE(asked, QStringList{MessageText("MSG0306")});
        QVERIFY(ReadFileBytes(target) == Zeroed(card.bytes, sectorsKept));
        QVERIFY(QFileInfo::exists(target + ".map"));
    }

    // A copy into a file with an unfinished copy's map asks first: yes goes
    // on from the map, no starts the image anew.
    void unfinishedCopyIsContinuedOnRequest_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("continued");
        QTest::newRow("continue") << 1 << true;
        QTest::newRow("start anew") << 2 << false;
    }

    void unfinishedCopyIsContinuedOnRequest()
    {
        QFETCH(int, answer);
        QFETCH(bool, continued);
        FakeCard card;
        const QString target = card.target("again.img");
        // Half copied: the other half of the image holds zeros, and the map
        // says so.
        std::ofstream(target.toStdString(), std::ios::binary)
                .write(reinterpret_cast<const char *>(card.bytes.data()),
                       static_cast<std::streamsize>(card.bytes.size() / 2));
        std::ofstream((target + ".map").toStdString()) << "0x200000 ? 1\n0 0x200000 +\n"
                                                          "0x200000 0x200000 ?\n";
        int reads = 0;
        card.serveFaulty([&reads](vexlo::platform::FaultySectorSource &faulty) {
            faulty.set_read_observer(
                    [&reads](const vexlo::platform::FaultySectorSource::ReadEvent &) { ++reads; });
        });
        FlowScript script;
        script.saveAnswers = {target};
        script.questionAnswer = answer;

        QCOMPARE(RunCreateImageFlow(nullptr, {nullptr, 0}, script.services(card)),
                 answer == 1 ? target : QString());
        QCOMPARE(script.questions.first(), MessageText("MSG0321"));
        QVERIFY(ReadFileBytes(target) == card.bytes);
        // Half a card is read in 16 pieces of 64 KiB, a whole one in 64.
        QCOMPARE(reads, continued ? 32 : 64);
    }

    // A copy that cannot run ends with 3 and an explanation; no scan is
    // offered.
    void failures_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<QString>("reason");
        // Root has every right there is: it is told what refused it, never
        // to become root.
        QTest::newRow("disk not readable for the user")
                << "denied"
                << (vexlo::platform::RunsAsRoot() ? QStringLiteral("Root denied DEVICE.")
                                                  : QStringLiteral("Denied DEVICE."));
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
        reason.replace(QStringLiteral("DEVICE"), QString::fromStdString(record.root_path.string()));
        QCOMPARE(script.informations, QStringList{MessageText("MSG0217") + "\n\n" + reason});
        QVERIFY(script.questions.isEmpty());
        QVERIFY(!QFileInfo::exists(target));
    }

    // Unreadable sectors do not stop the copy; they become zeros and the
    // user is told, with the list beside the image.
    void unreadableSectorsAreReported()
    {
        FakeCard card;
        card.serveFaulty([](vexlo::platform::FaultySectorSource &faulty) {
            faulty.AddUnreadableRange(200 * kSectorBytes, 3 * kSectorBytes);
        });
        FlowScript script;
        const QString target = card.target("bad.img");
        script.saveAnswers = {target};
        script.questionAnswer = 1;

        QCOMPARE(RunCreateImageFlow(nullptr, {nullptr, 0}, script.services(card)), target);
        QCOMPARE(script.informations,
                 QStringList{"3 sectors unreadable. List: " + target + ".map"});
        std::vector<uint8_t> expected = card.bytes;
        std::fill_n(expected.begin() + 200 * kSectorBytes, 3 * kSectorBytes, 0);
        QVERIFY(ReadFileBytes(target) == expected);
    }

    // A copy that the device ends is explained in words the user can act
    // on, as is a map that belongs to another copy.
    void deviceAndMapTroubleIsExplained_data()
    {
        QTest::addColumn<QString>("trouble");
        QTest::addColumn<QString>("message");
        QTest::newRow("card pulled") << "vanished"
                                     << "Vanished.";
        QTest::newRow("card hangs") << "silent"
                                    << "Stopped answering.";
        QTest::newRow("map of another copy") << "map"
                                             << "Map %1.map of another copy.";
    }

    void deviceAndMapTroubleIsExplained()
    {
        QFETCH(QString, trouble);
        QFETCH(QString, message);
        FakeCard card;
        uint64_t now = 0;
        card.serveFaulty([&](vexlo::platform::FaultySectorSource &faulty) {
            // Every read takes a second; the card dies after a block.
            faulty.AddSlowRange(0, card.bytes.size(), 1000);
            faulty.set_delay_handler([&now](uint32_t ms) { now += ms; });
            if (trouble != QLatin1String("map"))
                faulty.set_death_after_reads(16, trouble == QLatin1String("vanished"));
        });
        FlowScript script;
        const QString target = card.target("trouble.img");
        if (trouble == QLatin1String("map")) {
            std::ofstream(target.toStdString()) << "old";
            std::ofstream((target + ".map").toStdString()) << "0 + 1\n0 512 +\n";
            script.questionAnswer = 1; // continue it
        }
        script.saveAnswers = {target};
        ImageFlowServices services = script.services(card);
        services.copy.clock_ms = [&now] { return now; };

        QCOMPARE(RunCreateImageFlow(nullptr, {nullptr, 0}, services), QString());
        if (message.contains(QLatin1String("%1")))
            message = message.arg(target);
        QCOMPARE(script.informations, QStringList{message});
    }

    // A look at a copy of a failing card (VEXLO_FAILING_CARD names a file
    // that fails like one, such as a card served by
    // tests/support/failing_card_fuse.py) once it reads the bad areas sector
    // by sector, in the shipped English texts.
    void lookAtAFailingCard()
    {
        const QString failing = qEnvironmentVariable("VEXLO_FAILING_CARD");
        if (failing.isEmpty())
            QSKIP("VEXLO_FAILING_CARD is not set");
        TestCatalogue english(
                QString(), ReadTextFile(ShippedResource(QStringLiteral("Languages/English.ini"))));
        FakeCard card;
        std::filesystem::remove(card.tree.DevPath("sdb"));
        std::filesystem::create_symlink(failing.toStdString(), card.tree.DevPath("sdb"));
        vexlo::ImageCopyJob job;
        job.roots = card.tree.roots();
        CCreateImageProcessWnd window(nullptr, card.target("failing.img"), {0, true, 0, 0},
                                      std::move(job));
        QSignalSpy finished(&window, &QDialog::finished);
        window.open();
        QTRY_VERIFY_WITH_TIMEOUT(
                Child<QLabel>(&window, "stage")->text().contains(QLatin1String("sector by sector")),
                60000);
        QTest::qWait(1500);
        SaveScreenshot(&window, QStringLiteral("image-window-scraping"));
        CMessageBox::SetAnswererForTesting([](int, const QString &) { return 1; });
        Child<QPushButton>(&window, "cancelbtn")->click();
        QCOMPARE(WaitForResult(finished), int(CProgressWnd::Cancelled));
        CMessageBox::SetAnswererForTesting(nullptr);
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
            QCOMPARE(script.informations.first(), MessageText(refusal.toLatin1().constData()));
        QVERIFY(script.informations.last().startsWith(MessageText("MSG0217")));
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
        QCOMPARE(script.informations, QStringList{MessageText("MSG0216")});
    }

private:
    std::unique_ptr<TestCatalogue> m_catalogue;
};

QTEST_MAIN(CreateImageTest)
#include "create_image_test.moc"
