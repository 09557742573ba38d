// The progress windows with their workers, driven by a scripted engine.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <chrono>
#include <future>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "engine/listed_file_count.h"
#include "ini_file.h"
#include "message_box.h"
#include "platform/error_code.h"
#include "recover_process_wnd.h"
#include "scan_process_wnd.h"
#include "search_process_wnd.h"
#include "test_support.h"

namespace {

const QString kTexts = QStringLiteral(
        "[ScanWnd]\ncancelbtn=Cancel\nokbtn=OK\n"
        "[MessageBox]\nokbtn=OK\ncancelbtn=Cancel\n"
        "[Messages]\n"
        "MSG0401=Error\nMSG0402=Confirm\nMSG0403=Information\nMSG0404=Question\nMSG0405=Warning\n"
        "MSG0702=Scanning %s\nMSG0703=Scanning image file\nMSG0704=Scanned:\n"
        "MSG0705=Estimating...\nMSG0706=Sectors:\nMSG0707=Files found:\nMSG0708=\"Left: \"\n"
        "MSG0709=Stop the scan?\nMSG1101=Recovered:\nMSG1102=%d of %d files done: %d recovered, %d "
        "failed\n"
        "MSG1103=Stop the recovery?\nMSG1202=Searching %s\nMSG1204=Searched:\n"
        "MSG1205=Stop the search?\n"
        "MSG0710=Stop Scan\nMSG0711=Keep Scanning\nMSG1104=Stop Recovery\nMSG1105=Keep Recovering\n"
        "MSG1106=File\nMSG1107=Result\n"
        "MSG1108=Success; %llu bytes are zeros from unreadable sectors\n"
        "MSG0509=%s sectors were skipped.\nMSG0510=1 sector was skipped.\n");

vexlo::FoundFileRecord Record(uint16_t source, const char *name)
{
    vexlo::FoundFileRecord record = vexlo::EmptyRecord();
    record.source_id = source;
    record.SetName(name);
    return record;
}

// A scripted engine that can count the files its search will list: its
// steps' record counts stand for that count once it was asked.
struct CountingEngine : FakeEngine, vexlo::ListedFileCounter
{
    void CountListedFiles(std::string_view typeFilter) override { counted = typeFilter; }
    uint64_t ListedFileCount() override { return 0; }

    std::optional<std::string> counted;
};

struct ScanFixture
{
    std::vector<std::unique_ptr<SourceEntry>> entries;
    std::vector<FakeEngine *> engines; // owned by the entries once created
    std::vector<std::unique_ptr<FakeEngine>> prepared;
    int created = 0;

    std::vector<SourceEntry *> sources()
    {
        std::vector<SourceEntry *> list;
        for (auto &entry : entries)
            list.push_back(entry.get());
        return list;
    }

    ScanServices services()
    {
        ScanServices s;
        s.createEngine
                = [this](const SourceEntry &, int) -> std::unique_ptr<vexlo::IFileRecoveryParse> {
            if (created >= int(prepared.size()))
                return nullptr;
            return std::move(prepared[created++]);
        };
        return s;
    }

    template<typename Engine = FakeEngine> Engine *addSource(uint16_t id, bool withEngine = true)
    {
        auto entry = std::make_unique<SourceEntry>();
        entry->id = id;
        entry->deviceName = QStringLiteral("/dev/sdb%1 (CARD)").arg(id);
        entries.push_back(std::move(entry));
        if (!withEngine)
            return nullptr;
        auto engine = std::make_unique<Engine>();
        Engine *own = engine.get();
        prepared.push_back(std::move(engine));
        engines.push_back(own);
        return own;
    }
};

} // namespace

class ProgressWindowsTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_catalogue = std::make_unique<TestCatalogue>(QString(), kTexts); }
    void cleanup()
    {
        CMessageBox::SetAnswererForTesting(nullptr);
        m_catalogue.reset();
    }

    void scanTexts_data()
    {
        QTest::addColumn<int>("progress");
        QTest::addColumn<int>("remaining");
        QTest::addColumn<qulonglong>("total");
        QTest::addColumn<QString>("percent");
        QTest::addColumn<QString>("time");
        QTest::addColumn<bool>("counts");
        QTest::addColumn<QString>("sectors");
        QTest::addColumn<QString>("files");
        QTest::newRow("unknown time") << 5 << -1 << 1000ULL << "Scanned: 5%"
                                      << "Estimating..." << true << "Sectors: 10 / 1000"
                                      << "Files found: 3";
        QTest::newRow("an hour") << 50 << 3600 << 1000ULL << "Scanned: 50%"
                                 << "Left: 1 Hour 0 Min" << true << "Sectors: 10 / 1000"
                                 << "Files found: 3";
        QTest::newRow("seconds") << 99 << 59 << 1000ULL << "Scanned: 99%"
                                 << "Left: 59 Sec" << true << "Sectors: 10 / 1000"
                                 << "Files found: 3";
        QTest::newRow("no total") << 100 << 0 << 0ULL << "Scanned: 100%"
                                  << "Left: 0 Sec" << false << ""
                                  << "";
    }

    void scanTexts()
    {
        QFETCH(int, progress);
        QFETCH(int, remaining);
        QFETCH(qulonglong, total);
        const ScanProgressTexts texts
                = MakeScanProgressTexts(m_catalogue->manager().Section(QStringLiteral("Messages")),
                                        progress, 100, remaining, 10, total, 3);
        QCOMPARE(texts.percentage, progress);
        QTEST(texts.percent, "percent");
        QTEST(texts.time, "time");
        QTEST(texts.showCounts, "counts");
        QTEST(texts.sectors, "sectors");
        QTEST(texts.totalFile, "files");
    }

    void scanFillsTheWindowAndHidesCountsWithoutTotal()
    {
        ScanFixture fixture;
        FakeEngine *engine = fixture.addSource(3);
        engine->steps = {{10, -1, 100, 1000, 4}, {60, 125, 600, 1000, 9}};
        CScanProcessWnd window(nullptr, fixture.sources(), 0, fixture.services());
        QSignalSpy finished(&window, &CScanProcessWnd::scanFinished);
        QCOMPARE(RunToEnd(window), 1);
        QCoreApplication::processEvents();
        QCOMPARE(finished.size(), 1);
        QCOMPARE(Child<QLabel>(&window, "stage")->text(),
                 QStringLiteral("Scanning /dev/sdb3 (CARD)"));
        QCOMPARE(Child<QLabel>(&window, "percent")->text(), QStringLiteral("Scanned: 60%"));
        QCOMPARE(Child<QLabel>(&window, "time")->text(), QStringLiteral("Left: 2 Min 5 Sec"));
        QCOMPARE(Child<QLabel>(&window, "sectors")->text(), QStringLiteral("Sectors: 600 / 1000"));
        QCOMPARE(Child<QLabel>(&window, "totalfile")->text(), QStringLiteral("Files found: 9"));
        QVERIFY(!Child<QLabel>(&window, "sectors")->isHidden());
        QCOMPARE(Child<QProgressBar>(&window, "progress")->value(), 60);
        QVERIFY(fixture.entries[0]->engine); // the engine stays with its source

        FakeEngine *second = fixture.addSource(4);
        second->steps = {{10, 1, 100, 1000, 1}, {20, 1, 0, 0, 0}};
        std::vector<SourceEntry *> only = {fixture.entries[1].get()};
        CScanProcessWnd again(nullptr, only, 0, fixture.services());
        QCOMPARE(RunToEnd(again), 1);
        QCoreApplication::processEvents();
        QVERIFY(Child<QLabel>(&again, "sectors")->isHidden());
        QVERIFY(Child<QLabel>(&again, "totalfile")->isHidden());
    }

    // The files line shows what the result list will hold: each source's
    // listed files, added to those of the sources scanned before it. An
    // engine that cannot count listed files shows its own count.
    void scanCountsTheListedFilesOfAllSources()
    {
        ScanFixture fixture;
        CountingEngine *first = fixture.addSource<CountingEngine>(1);
        CountingEngine *second = fixture.addSource<CountingEngine>(2);
        first->steps = {{50, -1, 5, 10, 4}, {100, 0, 10, 10, 7}};
        second->steps = {{50, -1, 5, 10, 0}, {100, 0, 10, 10, 2}};
        CScanProcessWnd window(nullptr, fixture.sources(), 0, fixture.services());
        window.countListedFiles("*.jpg|*.png");
        QCOMPARE(RunToEnd(window), 1);
        QCoreApplication::processEvents();
        QCOMPARE(first->counted, std::optional<std::string>("*.jpg|*.png"));
        QCOMPARE(second->counted, std::optional<std::string>("*.jpg|*.png"));
        QCOMPARE(Child<QLabel>(&window, "totalfile")->text(), QStringLiteral("Files found: 9"));

        FakeEngine *plain = fixture.addSource(3);
        plain->steps = {{100, 0, 10, 10, 5}};
        CScanProcessWnd again(nullptr, {fixture.entries[2].get()}, 0, fixture.services());
        again.countListedFiles("*.jpg");
        QCOMPARE(RunToEnd(again), 1);
        QCoreApplication::processEvents();
        QCOMPARE(Child<QLabel>(&again, "totalfile")->text(), QStringLiteral("Files found: 5"));
    }

    void scanWithoutEngineFailsAndLeavesTheRest()
    {
        ScanFixture fixture;
        fixture.addSource(1, false);
        fixture.addSource(2, false);
        CScanProcessWnd window(nullptr, fixture.sources(), 0, fixture.services());
        QSignalSpy finished(&window, &CScanProcessWnd::scanFinished);
        QCOMPARE(RunToEnd(window), 3);
        QCOMPARE(finished.size(), 0);
    }

    // A scan that breaks off is no finished scan: the window ends as failed
    // with the reason, and the next source is not scanned.
    void scanErrorsFailWithTheirReason_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<bool>("throws");
        QTest::addColumn<QString>("reason");
        QTest::newRow("read fault")
                << int(vexlo::err::kReadFault) << false << QStringLiteral("Input/output error");
        QTest::newRow("medium gone")
                << int(vexlo::err::kNotReady) << false << QStringLiteral("No medium found");
        QTest::newRow("allocation throws") << 0 << true << QStringLiteral("Cannot allocate memory");
    }

    void scanErrorsFailWithTheirReason()
    {
        QFETCH(int, error);
        QFETCH(bool, throws);
        QFETCH(QString, reason);
        ScanFixture fixture;
        FakeEngine *first = fixture.addSource(1);
        fixture.addSource(2);
        first->steps = {{10, -1, 1, 10, 0}};
        first->scanError = error;
        first->scanThrows = throws;
        CScanProcessWnd window(nullptr, fixture.sources(), 0, fixture.services());
        QSignalSpy finished(&window, &CScanProcessWnd::scanFinished);
        QCOMPARE(RunToEnd(window), int(CProgressWnd::Failed));
        QCOMPARE(window.failure(), reason);
        QCOMPARE(fixture.created, 1);
        QCOMPARE(finished.size(), 0);
    }

    void aThrowBesideTheEngineFailsTheWindow()
    {
        ScanFixture fixture;
        fixture.addSource(1);
        ScanServices services = fixture.services();
        services.createEngine
                = [](const SourceEntry &, int) -> std::unique_ptr<vexlo::IFileRecoveryParse> {
            throw std::runtime_error("no room for the engine");
        };
        CScanProcessWnd window(nullptr, fixture.sources(), 0, services);
        QCOMPARE(RunToEnd(window), int(CProgressWnd::Failed));
        QCOMPARE(window.failure(), QStringLiteral("no room for the engine"));
    }

    // A scan that passed over unreadable sectors keeps its window open with
    // a line that counts them over every source; the caption's close
    // button, Escape and OK end it as finished, asking nothing. Without
    // such sectors the window closes by itself.
    void unreadableSectorsAreToldInTheFinishedWindow_data()
    {
        QTest::addColumn<QList<qulonglong>>("perSource");
        QTest::addColumn<QString>("closer");
        QTest::addColumn<QString>("line");
        QTest::newRow("none") << QList<qulonglong>{0, 0} << QString() << QString();
        QTest::newRow("one") << QList<qulonglong>{0, 1} << QStringLiteral("okbtn")
                             << QStringLiteral("1 sector was skipped.");
        QTest::newRow("over two sources") << QList<qulonglong>{7, 14} << QStringLiteral("closebtn")
                                          << QStringLiteral("21 sectors were skipped.");
        QTest::newRow("grouped") << QList<qulonglong>{1234567} << QStringLiteral("escape")
                                 << QStringLiteral("1,234,567 sectors were skipped.");
    }

    void unreadableSectorsAreToldInTheFinishedWindow()
    {
        QFETCH(QList<qulonglong>, perSource);
        QFETCH(QString, closer);
        QFETCH(QString, line);
        ScanFixture fixture;
        std::map<vexlo::IFileRecoveryParse *, uint64_t> unreadable;
        for (qulonglong count : perSource) {
            FakeEngine *engine = fixture.addSource(uint16_t(fixture.entries.size() + 1));
            engine->steps = {{50, -1, 1, 10, 0}};
            unreadable[engine] = count;
        }
        ScanServices services = fixture.services();
        services.unreadableSectors
                = [&unreadable](vexlo::IFileRecoveryParse &engine) { return unreadable[&engine]; };
        int asked = 0;
        CMessageBox::SetAnswererForTesting([&asked](int, const QString &) {
            ++asked;
            return 1;
        });
        CScanProcessWnd window(nullptr, fixture.sources(), 0, services);
        QSignalSpy finished(&window, &QDialog::finished);
        QSignalSpy scanned(&window, &CScanProcessWnd::scanFinished);
        auto *ok = Child<QPushButton>(&window, "okbtn");
        auto *lineLabel = Child<QLabel>(&window, "unreadable");
        window.open();
        QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty() || ok->isVisible(), 30000);
        QCOMPARE(scanned.size(), 1);
        if (line.isEmpty()) {
            QCOMPARE(finished.first().first().toInt(), int(CProgressWnd::Finished));
            QVERIFY(lineLabel->isHidden());
            return;
        }
        QVERIFY(finished.isEmpty());
        QCOMPARE(lineLabel->text(), line);
        QVERIFY(lineLabel->isVisible());
        QVERIFY(Child<QPushButton>(&window, "cancelbtn")->isHidden());
        SaveScreenshot(&window, QStringLiteral("scan-unreadable-") + QTest::currentDataTag());
        if (closer == QLatin1String("escape"))
            QTest::keyClick(&window, Qt::Key_Escape);
        else
            QTest::mouseClick(Child<QAbstractButton>(&window, qPrintable(closer)), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 30000);
        QCOMPARE(finished.first().first().toInt(), int(CProgressWnd::Finished));
        QCOMPARE(asked, 0);
        QVERIFY(window.failure().isEmpty());
    }

    // Stopped by the user after passing over unreadable sectors, the scan
    // still says so before its files are shown.
    void aCancelledScanTellsItsUnreadableSectors()
    {
        ScanFixture fixture;
        FakeEngine *engine = fixture.addSource(1);
        engine->steps = {{10, -1, 1, 10, 0}, {20, -1, 2, 10, 0}};
        engine->pauseBefore = 1;
        ScanServices services = fixture.services();
        services.unreadableSectors = [](vexlo::IFileRecoveryParse &) { return uint64_t{3}; };
        CMessageBox::SetAnswererForTesting([engine](int, const QString &) {
            engine->resume.open();
            return 1;
        });
        CScanProcessWnd window(nullptr, fixture.sources(), 0, services);
        QSignalSpy finished(&window, &QDialog::finished);
        window.open();
        engine->paused.wait();
        QTest::mouseClick(Child<QPushButton>(&window, "cancelbtn"), Qt::LeftButton);
        auto *ok = Child<QPushButton>(&window, "okbtn");
        QTRY_VERIFY_WITH_TIMEOUT(ok->isVisible(), 30000);
        QVERIFY(finished.isEmpty());
        QCOMPARE(Child<QLabel>(&window, "unreadable")->text(),
                 QStringLiteral("3 sectors were skipped."));
        QTest::mouseClick(ok, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 30000);
        QCOMPARE(finished.first().first().toInt(), int(CProgressWnd::Finished));
    }

    // With the shipped texts, the line wraps inside the window, above its
    // button, in every language.
    void theShippedLineFitsTheWindow_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("English") << QStringLiteral("English");
        QTest::newRow("German") << QStringLiteral("Deutsch");
    }

    void theShippedLineFitsTheWindow()
    {
        QFETCH(QString, language);
        m_catalogue.reset();
        m_catalogue = ShippedCatalogue();
        m_catalogue->manager().SetLanguage(language);
        ScanFixture fixture;
        fixture.addSource(1)->steps = {{50, -1, 1, 10, 0}};
        ScanServices services = fixture.services();
        services.unreadableSectors = [](vexlo::IFileRecoveryParse &) { return uint64_t{1234}; };
        CScanProcessWnd window(nullptr, fixture.sources(), 0, services);
        auto *ok = Child<QPushButton>(&window, "okbtn");
        auto *line = Child<QLabel>(&window, "unreadable");
        window.open();
        QTRY_VERIFY_WITH_TIMEOUT(ok->isVisible(), 30000);
        QVERIFY(line->text().startsWith(QStringLiteral("1,234 ")));
        QVERIFY(line->height() >= line->heightForWidth(line->width()));
        const QRect lineArea(line->mapTo(&window, QPoint(0, 0)), line->size());
        const QRect okArea(ok->mapTo(&window, QPoint(0, 0)), ok->size());
        QVERIFY(window.rect().contains(lineArea));
        QVERIFY(lineArea.bottom() < okArea.top());
        SaveScreenshot(&window, QStringLiteral("scan-unreadable-shipped-") + language);
        QTest::mouseClick(ok, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!window.isVisible(), 30000);
    }

    // The shipped catalogues say it in both languages, in the singular too.
    void unreadableSectorsTextOfTheShippedLanguages_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<qulonglong>("sectors");
        QTest::addColumn<QString>("line");
        struct Row
        {
            const char *tag;
            const char *file;
            qulonglong sectors;
            const char *line;
        };
        const Row rows[] = {
                {"English, many", "English.ini", 4096,
                 "4,096 unreadable sectors were skipped; files that lay in them may be missing or "
                 "incomplete."},
                {"English, one", "English.ini", 1,
                 "1 unreadable sector was skipped; files that lay in it may be missing or "
                 "incomplete."},
                {"German, many", "Deutsch.ini", 2,
                 "2 unlesbare Sektoren wurden übersprungen; Dateien, die darin lagen, können "
                 "fehlen oder unvollständig sein."},
                {"German, one", "Deutsch.ini", 1,
                 "1 unlesbarer Sektor wurde übersprungen; Dateien, die darin lagen, können fehlen "
                 "oder unvollständig sein."},
                {"none", "English.ini", 0, ""},
        };
        for (const Row &row : rows)
            QTest::newRow(row.tag)
                    << QString::fromLatin1(row.file) << row.sectors << QString::fromUtf8(row.line);
    }

    void unreadableSectorsTextOfTheShippedLanguages()
    {
        QFETCH(QString, language);
        QFETCH(qulonglong, sectors);
        QFETCH(QString, line);
        const IniFile file
                = IniFile::read(ShippedResource(QStringLiteral("Languages/") + language));
        const IniFile::Section *section = file.section(QStringLiteral("Messages"));
        QVERIFY(section != nullptr);
        LanguageManager::SectionMap messages;
        for (const IniFile::Entry &entry : section->entries)
            messages.insert(entry.first, entry.second);
        QCOMPARE(UnreadableSectorsText(messages, sectors), line);
    }

    // The cancel takes effect at the engine's next callback; the scan window
    // still ends with 1 and the second source is never scanned.
    void cancelStopsAtTheNextCallbackWithResultOne()
    {
        ScanFixture fixture;
        FakeEngine *first = fixture.addSource(1);
        FakeEngine *second = fixture.addSource(2);
        first->steps = {{10, -1, 1, 10, 0}, {20, -1, 2, 10, 0}, {30, -1, 3, 10, 0}};
        first->pauseBefore = 1;
        second->steps = {{10, -1, 1, 10, 0}};
        CScanProcessWnd window(nullptr, fixture.sources(), 0, fixture.services());
        QSignalSpy finished(&window, &QDialog::finished);
        QSignalSpy scanned(&window, &CScanProcessWnd::scanFinished);
        int asked = 0;
        int askedKind = -1;
        QString askedText;
        CMessageBox::SetAnswererForTesting([&](int kind, const QString &text) {
            ++asked;
            askedKind = kind;
            askedText = text;
            first->resume.open(); // the engine reaches its next callback meanwhile
            return 1;
        });
        window.open();
        first->paused.wait();
        QTest::mouseClick(Child<QPushButton>(&window, "cancelbtn"), Qt::LeftButton);
        QVERIFY(window.isDone());
        QCOMPARE(WaitForResult(finished), 1);
        QCOMPARE(asked, 1);
        QCOMPARE(askedKind, int(CMessageBox::Question));
        QCOMPARE(askedText, QStringLiteral("Stop the scan?"));
        QCOMPARE(first->answers, (std::vector<int32_t>{0, vexlo::kCancelCode}));
        QCOMPARE(fixture.created, 1);
        QCOMPARE(scanned.size(), 1);
    }

    void cancelAnsweredNoLetsTheScanGoOn()
    {
        ScanFixture fixture;
        FakeEngine *engine = fixture.addSource(1);
        engine->steps = {{10, -1, 1, 10, 0}, {20, -1, 2, 10, 0}, {30, -1, 3, 10, 0}};
        engine->pauseBefore = 1;
        CScanProcessWnd window(nullptr, fixture.sources(), 0, fixture.services());
        QSignalSpy finished(&window, &QDialog::finished);
        CMessageBox::SetAnswererForTesting([&](int, const QString &) {
            engine->resume.open();
            return 2;
        });
        window.open();
        engine->paused.wait();
        QTest::mouseClick(Child<QAbstractButton>(&window, "closebtn"), Qt::LeftButton);
        QCOMPARE(WaitForResult(finished), 1);
        QCOMPARE(engine->answers, (std::vector<int32_t>{0, 0, 0}));
    }

    // A cancel question says what each answer does. Answering "keep" lets
    // the work go on to its end.
    void cancelQuestionNamesItsAnswers_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("stop");
        QTest::addColumn<QString>("keep");
        QTest::newRow("scan") << "scan"
                              << "Stop Scan"
                              << "Keep Scanning";
        QTest::newRow("recovery") << "recovery"
                                  << "Stop Recovery"
                                  << "Keep Recovering";
    }

    void cancelQuestionNamesItsAnswers()
    {
        QFETCH(QString, window);
        QFETCH(QString, stop);
        QFETCH(QString, keep);
        Gate held;
        Gate resume;
        ScanFixture fixture;
        FakeEngine *engine = nullptr;
        std::unique_ptr<CProgressWnd> progress;
        if (window == QLatin1String("scan")) {
            engine = fixture.addSource(1);
            engine->steps = {{10, -1, 1, 10, 0}, {20, -1, 2, 10, 0}};
            engine->pauseBefore = 1;
            progress = std::make_unique<CScanProcessWnd>(nullptr, fixture.sources(), 0,
                                                         fixture.services());
            progress->open();
            engine->paused.wait();
        } else {
            progress = std::make_unique<CRecoverProcessWnd>(
                    nullptr,
                    [&](vexlo::RecoveryProgressCallback callback, void *user) -> int32_t {
                        callback(user, 40, 100, 0, "a.jpg", 0);
                        held.open();
                        resume.wait();
                        return callback(user, 100, 100, 0, "a.jpg", 0);
                    },
                    QString(), 1);
            progress->open();
            held.wait();
        }

        QStringList buttons;
        QTimer answer;
        connect(&answer, &QTimer::timeout, [&] {
            auto *box = qobject_cast<CMessageBox *>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible())
                return;
            answer.stop();
            buttons = {Child<QPushButton>(box, "okbtn")->text(),
                       Child<QPushButton>(box, "cancelbtn")->text()};
            Child<QPushButton>(box, "cancelbtn")->click();
            if (engine != nullptr)
                engine->resume.open();
            resume.open();
        });
        answer.start(5);
        Child<QAbstractButton>(progress.get(), engine != nullptr ? "cancelbtn" : "CancelBtn")
                ->click();
        QCOMPARE(buttons, (QStringList{stop, keep}));
        QTRY_VERIFY(progress->isDone());
        // Kept going: nothing was stopped.
        if (engine != nullptr)
            QCOMPARE(engine->answers, (std::vector<int32_t>{0, 0}));
        else
            QTRY_VERIFY(!Child<QPushButton>(progress.get(), "FinishBtn")->isHidden());
    }

    // After a confirmed cancel the window waits for the engine's next call
    // without freezing: it keeps answering timers and painting meanwhile.
    void confirmedCancelKeepsTheWindowPainting()
    {
        ScanFixture fixture;
        FakeEngine *engine = fixture.addSource(1);
        engine->steps = {{10, -1, 1, 10, 0}, {20, -1, 2, 10, 0}};
        engine->pauseBefore = 1;
        CScanProcessWnd window(nullptr, fixture.sources(), 0, fixture.services());
        CMessageBox::SetAnswererForTesting([](int, const QString &) { return 1; });
        window.open();
        engine->paused.wait();

        bool servedWhileWaiting = false;
        QTimer::singleShot(50, &window, [&] {
            servedWhileWaiting = !window.isDone();
            window.repaint();
            engine->resume.open();
        });
        // Should the window block instead, the engine is let go after a while
        // so that the test fails rather than hangs.
        std::promise<void> over;
        std::thread rescue([engine, ended = over.get_future()] {
            if (ended.wait_for(std::chrono::seconds(20)) == std::future_status::timeout)
                engine->resume.open();
        });
        QTest::mouseClick(Child<QPushButton>(&window, "cancelbtn"), Qt::LeftButton);
        over.set_value();
        rescue.join();
        QVERIFY(window.isDone());
        QVERIFY(servedWhileWaiting);
        QCOMPARE(engine->answers, (std::vector<int32_t>{0, vexlo::kCancelCode}));
    }

    void searchAppendsResults()
    {
        SourceEntry entry;
        entry.id = 2;
        entry.deviceName = QStringLiteral("/dev/sdb2 (CARD)");
        auto engine = std::make_unique<FakeEngine>();
        engine->searchResults = {Record(2, "a.jpg"), Record(2, "b.mp3")};
        FakeEngine *fake = engine.get();
        entry.engine = std::move(engine);
        std::vector<vexlo::FoundFileRecord> results = {Record(1, "kept.txt")};
        CSearchProcessWnd window(nullptr, {&entry}, "*.jpg|*.mp3", &results);
        QSignalSpy finished(&window, &CSearchProcessWnd::searchFinished);
        QCOMPARE(RunToEnd(window), 1);
        QCoreApplication::processEvents();
        QCOMPARE(finished.size(), 1);
        QCOMPARE(fake->lastFilter, std::string("*.jpg|*.mp3"));
        QCOMPARE(results.size(), std::size_t(3));
        QCOMPARE(Child<QLabel>(&window, "stage")->text(),
                 QStringLiteral("Searching /dev/sdb2 (CARD)"));
        QCOMPARE(Child<QLabel>(&window, "percent")->text(), QStringLiteral("Searched: 100%"));

        SourceEntry unscanned;
        std::vector<vexlo::FoundFileRecord> none;
        CSearchProcessWnd early(nullptr, {&unscanned}, "*.jpg", &none);
        QSignalSpy earlyFinished(&early, &CSearchProcessWnd::searchFinished);
        QCOMPARE(RunToEnd(early), 1);
        QCOMPARE(earlyFinished.size(), 0);
    }

    // Failures go on top in red, successes below in the order they finished.
    void recoveryDetailListOrder()
    {
        SourceEntry entry;
        entry.id = 7;
        auto engine = std::make_unique<FakeEngine>();
        engine->recoverResult = [](const vexlo::FoundFileRecord &record) -> int32_t {
            const std::string_view name = record.Name();
            return name == "b.jpg"    ? vexlo::err::kAccessDenied
                    : name == "d.jpg" ? vexlo::err::kDiskFull
                                      : 0;
        };
        engine->unreadableBytes = [](const vexlo::FoundFileRecord &record) -> uint64_t {
            return record.Name() == "c.jpg" ? 2048 : 0;
        };
        entry.engine = std::move(engine);
        QTemporaryDir destination;
        std::vector<vexlo::FoundFileRecord> records
                = {Record(7, "a.jpg"), Record(7, "b.jpg"), Record(7, "c.jpg"), Record(7, "d.jpg")};
        CRecoverProcessWnd window(
                nullptr, CRecoverProcessWnd::MakeRecoveryJob({&entry}, destination.path(), records),
                destination.path(), 4);
        window.open();
        QTRY_VERIFY_WITH_TIMEOUT(window.isDone(), 30000);
        QCoreApplication::processEvents();

        auto *list = Child<QTreeWidget>(&window, "DetailList");
        QCOMPARE(list->topLevelItemCount(), 4);
        const QStringList names = {list->topLevelItem(0)->text(0), list->topLevelItem(1)->text(0),
                                   list->topLevelItem(2)->text(0), list->topLevelItem(3)->text(0)};
        QCOMPARE(names, (QStringList{"d.jpg", "b.jpg", "a.jpg", "c.jpg"}));
        QCOMPARE(list->topLevelItem(0)->text(1), QStringLiteral("No space left on device"));
        QCOMPARE(list->topLevelItem(1)->text(1), QStringLiteral("Permission denied"));
        QCOMPARE(list->topLevelItem(2)->text(1), QStringLiteral("Success"));
        // A file partly from unreadable sectors is recovered, and says so.
        QCOMPARE(list->topLevelItem(3)->text(1),
                 QStringLiteral("Success; 2048 bytes are zeros from unreadable sectors"));
        QCOMPARE(list->topLevelItem(3)->foreground(0).color(),
                 list->topLevelItem(2)->foreground(0).color());
        QCOMPARE(list->topLevelItem(0)->foreground(0).color(), QColor(0xFF, 0, 0));
        QCOMPARE(window.doneCount(), 4);
        QCOMPARE(window.failedCount(), 2);
        QCOMPARE(Child<QLabel>(&window, "recovered")->text(),
                 QStringLiteral("4 of 4 files done: 2 recovered, 2 failed"));
        QVERIFY(!Child<QPushButton>(&window, "FinishBtn")->isHidden());
        QVERIFY(Child<QPushButton>(&window, "CancelBtn")->isHidden());

        // Details grow the window and return it to its own size.
        const QSize before = window.size();
        QTest::mouseClick(Child<QPushButton>(&window, "DetailBtn"), Qt::LeftButton);
        QVERIFY(!list->isHidden());
        QTest::mouseClick(Child<QPushButton>(&window, "DetailBtn"), Qt::LeftButton);
        QVERIFY(list->isHidden());
        QCOMPARE(window.size(), before);

        QSignalSpy finished(&window, &QDialog::finished);
        QTest::mouseClick(Child<QPushButton>(&window, "FinishBtn"), Qt::LeftButton);
        QCOMPARE(finished.size(), 1);
        QCOMPARE(finished.first().first().toInt(), 1);
    }

    // The finished window saves the run's report, its format by the name's
    // suffix; a window without a report offers none.
    void recoveryReportIsSavedAsChosen()
    {
        m_catalogue = ShippedCatalogue(); // the button's text as shipped
        SourceEntry entry;
        entry.id = 7;
        entry.isImage = true;
        entry.imagePath = QStringLiteral("/cards/card.img");
        entry.partitionNumber = 2;
        auto engine = std::make_unique<FakeEngine>();
        engine->recoverResult = [](const vexlo::FoundFileRecord &record) -> int32_t {
            return record.Name() == "b.jpg" ? vexlo::err::kAccessDenied : 0;
        };
        entry.engine = std::move(engine);
        QTemporaryDir destination;
        const std::vector<vexlo::FoundFileRecord> records
                = {Record(7, "a.jpg"), Record(7, "b.jpg")};
        auto report = std::make_shared<std::optional<vexlo::catalogue::RecoveryReport>>();
        CRecoverProcessWnd window(nullptr,
                                  CRecoverProcessWnd::MakeRecoveryJob(
                                          {&entry}, destination.path(), records,
                                          {.keep_folders = true, .keep_times = false}, report),
                                  destination.path(), 2, report);
        QString answer;
        int asked = 0;
        window.setReportPathChooser([&](QWidget *) {
            ++asked;
            return answer;
        });
        auto *save = Child<QPushButton>(&window, "ReportBtn");
        window.open();
        QVERIFY(save->isHidden());
        QTRY_VERIFY_WITH_TIMEOUT(window.isDone(), 30000);
        QTRY_VERIFY(!save->isHidden());
        QCOMPARE(save->text(), QStringLiteral("Save Report…"));
        SaveScreenshot(&window, QStringLiteral("recovery-finished-with-report"));

        const QDir folder(destination.path());
        answer = folder.filePath(QStringLiteral("run.xml"));
        QTest::mouseClick(save, Qt::LeftButton);
        answer = folder.filePath(QStringLiteral("run.json"));
        QTest::mouseClick(save, Qt::LeftButton);
        answer.clear(); // the dialog cancelled: nothing is written
        QTest::mouseClick(save, Qt::LeftButton);
        QCOMPARE(asked, 3);

        QFile xml(folder.filePath(QStringLiteral("run.xml")));
        QVERIFY(xml.open(QIODevice::ReadOnly));
        const QString dfxml = QString::fromUtf8(xml.readAll());
        QVERIFY(dfxml.startsWith(QStringLiteral("<?xml")));
        QCOMPARE(dfxml.count(QStringLiteral("<fileobject>")), 2);
        QVERIFY(dfxml.contains(QStringLiteral("<image_filename>card.img:2</image_filename>")));
        QFile json(folder.filePath(QStringLiteral("run.json")));
        QVERIFY(json.open(QIODevice::ReadOnly));
        const QJsonObject object = QJsonDocument::fromJson(json.readAll()).object();
        QCOMPARE(object.value(QStringLiteral("keep_folders")).toBool(), true);
        const QJsonArray files = object.value(QStringLiteral("files")).toArray();
        QCOMPARE(files.size(), 2);
        QCOMPARE(files[0].toObject().value(QStringLiteral("original_path")).toString(),
                 QStringLiteral("a.jpg"));
        QCOMPARE(files[0].toObject().value(QStringLiteral("result")).toString(),
                 QStringLiteral("Success"));
        QCOMPARE(files[1].toObject().value(QStringLiteral("result")).toString(),
                 QStringLiteral("Permission denied"));

        CRecoverProcessWnd without(
                nullptr, [](auto, void *) { return 0; }, destination.path(), 0);
        without.open();
        QTRY_VERIFY_WITH_TIMEOUT(without.isDone(), 30000);
        QTRY_VERIFY(!Child<QPushButton>(&without, "FinishBtn")->isHidden());
        QVERIFY(Child<QPushButton>(&without, "ReportBtn")->isHidden());
    }

    void messageBoxKinds_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("asks");
        QTest::newRow("error") << 0 << "Error" << false;
        QTest::newRow("confirmation") << 1 << "Confirm" << true;
        QTest::newRow("information") << 2 << "Information" << false;
        QTest::newRow("warning") << 3 << "Warning" << false;
        QTest::newRow("question") << 4 << "Question" << true;
        QTest::newRow("unknown") << 17 << "Error" << false;
    }

    void messageBoxKinds()
    {
        QFETCH(int, kind);
        CMessageBox box(kind, nullptr, QStringLiteral("Something happened."));
        QSignalSpy finished(&box, &QDialog::finished);
        box.open();
        QTEST(Child<QLabel>(&box, "title")->text(), "title");
        QCOMPARE(Child<QLabel>(&box, "message")->text(), QStringLiteral("Something happened."));
        QTEST(!Child<QPushButton>(&box, "cancelbtn")->isHidden(), "asks");
        QCOMPARE(Child<QPushButton>(&box, "okbtn")->text(), QStringLiteral("OK"));
        QTest::mouseClick(Child<QPushButton>(&box, "okbtn"), Qt::LeftButton);
        QCOMPARE(finished.first().first().toInt(), 1);

        CMessageBox closed(kind, nullptr, QString());
        closed.open();
        QTest::keyClick(&closed, Qt::Key_Escape);
        QCOMPARE(closed.result(), 2);
    }

private:
    std::unique_ptr<TestCatalogue> m_catalogue;
};

QTEST_MAIN(ProgressWindowsTest)
#include "progress_windows_test.moc"
