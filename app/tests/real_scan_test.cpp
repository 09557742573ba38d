// The progress windows on the real engines: quick and deep scans of a FAT
// image made at test time, the search of what they found, a cancelled deep
// scan taken up again, and the recovery of real records.
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <algorithm>
#include <atomic>
#include <map>
#include <set>
#include <tuple>

#include "carving/test_samples.h"
#include "catalogue/extension_selection.h"
#include "language_manager.h"
#include "message_box.h"
#include "message_format.h"
#include "platform/error_code.h"
#include "recover_process_wnd.h"
#include "recovery/professional_recovery.h"
#include "scan_process_wnd.h"
#include "scan_services.h"
#include "search_process_wnd.h"
#include "test_support.h"
#include "tests/support/fat_image.h"

namespace {

namespace samples = vexlo::carving::samples;

// The driver reports its main phase, where the sectors are counted, on this
// scale.
constexpr int32_t kMainPhaseScale = 90;

using Bytes = std::vector<uint8_t>;

Bytes JpegBytes()
{
    // A picture with detail compresses to several clusters.
    QImage image(320, 240, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb((x * 7 + y) % 256, (x * y) % 256, (y * 5) % 256));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 95);
    return {bytes.begin(), bytes.end()};
}

Bytes TextBytes()
{
    const QByteArray text = QByteArray("Day one: the lake. Day two: the hills.\n").repeated(200);
    return {text.begin(), text.end()};
}

Bytes ReadAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    return {bytes.begin(), bytes.end()};
}

// What a record is, for comparing the results of two scans.
using RecordKey = std::tuple<uint32_t, std::string, uint64_t, uint64_t>;

std::set<RecordKey> Keys(const std::vector<vexlo::FoundFileRecord> &records)
{
    std::set<RecordKey> keys;
    for (const vexlo::FoundFileRecord &r : records) {
        keys.emplace(uint32_t{r.fs_kind}, std::string(r.Name()), uint64_t{r.size},
                     uint64_t{r.entry_sector});
    }
    return keys;
}

std::set<std::string> Names(const std::vector<vexlo::FoundFileRecord> &records)
{
    std::set<std::string> names;
    for (const vexlo::FoundFileRecord &r : records)
        names.emplace(r.Name());
    return names;
}

// The real engine behind a seam that can hold its scan half-way through its
// main phase, so that the window can be looked at, and cancelled, there.
class HeldEngine final : public ForwardingEngine
{
public:
    HeldEngine(std::unique_ptr<vexlo::IFileRecoveryParse> inner, bool holdHalfway)
        : ForwardingEngine(std::move(inner))
        , m_holdHalfway(holdHalfway)
    {
    }

    vexlo::CProfessionalRecovery *driver()
    {
        return dynamic_cast<vexlo::CProfessionalRecovery *>(&inner());
    }

    std::atomic<bool> held{false};
    Gate resume;

    vexlo::ErrorCode SetProgressCallbacks(vexlo::ScanProgressCallback scan,
                                          vexlo::RecoveryProgressCallback recovery, void *user,
                                          int32_t scale) override
    {
        m_scan = scan;
        m_user = user;
        return ForwardingEngine::SetProgressCallbacks(scan ? &HeldEngine::forward : nullptr,
                                                      recovery, scan ? this : user, scale);
    }

private:
    // The window sees the call first; the hold comes after it, outside the
    // window's lock, so a cancel made while held is seen at the next call.
    static int32_t forward(void *user, int32_t progress, int32_t scale, int32_t remaining,
                           uint64_t done, uint64_t total, uint64_t found, int32_t reserved)
    {
        auto *self = static_cast<HeldEngine *>(user);
        const int32_t answer = self->m_scan(self->m_user, progress, scale, remaining, done, total,
                                            found, reserved);
        if (self->m_holdHalfway && scale == kMainPhaseScale && total != 0 && done * 2 >= total) {
            self->m_holdHalfway = false;
            self->held = true;
            self->resume.wait();
        }
        return answer;
    }

    bool m_holdHalfway;
    vexlo::ScanProgressCallback m_scan = nullptr;
    void *m_user = nullptr;
};

// The engine services of the program, with every engine behind a HeldEngine.
ScanServices HeldServices(vexlo::ScanHistory &history, bool holdHalfway)
{
    ScanServices services = MakeEngineScanServices(history);
    services.createEngine
            = [create = services.createEngine, holdHalfway](const SourceEntry &source, int mode) {
                  std::unique_ptr<vexlo::IFileRecoveryParse> engine = create(source, mode);
                  if (engine)
                      engine = std::make_unique<HeldEngine>(std::move(engine), holdHalfway);
                  return engine;
              };
    services.hasEarlierScanLog = [has = services.hasEarlierScanLog](vexlo::IFileRecoveryParse &e) {
        return has(static_cast<HeldEngine &>(e).inner());
    };
    services.discardEarlierScanLog
            = [discard = services.discardEarlierScanLog](vexlo::IFileRecoveryParse &e) {
                  discard(static_cast<HeldEngine &>(e).inner());
              };
    return services;
}

HeldEngine &Held(const SourceEntry &source)
{
    return static_cast<HeldEngine &>(*source.engine);
}

std::unique_ptr<SourceEntry> ImageSource(const QString &path, uint16_t id)
{
    auto source = std::make_unique<SourceEntry>();
    source->id = id;
    source->isImage = true;
    source->imagePath = path;
    return source;
}

// Every file the source's engine lists for the program's full type pattern,
// found through the search window.
std::vector<vexlo::FoundFileRecord> SearchAll(SourceEntry &source)
{
    std::vector<vexlo::FoundFileRecord> found;
    CSearchProcessWnd search(nullptr, {&source},
                             vexlo::catalogue::ExtensionSelection().BuildSearchPattern(), &found);
    QSignalSpy searched(&search, &CSearchProcessWnd::searchFinished);
    if (RunToEnd(search) != 1)
        return {};
    QCoreApplication::processEvents();
    if (searched.size() != 1)
        return {};
    return found;
}

} // namespace

class RealScanTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup() { CMessageBox::SetAnswererForTesting(nullptr); }
    void quickScanListsTheDeletedFiles();
    void deepScanShowsItsProgressAndFindsCarvedFiles();
    void cancelledDeepScanIsContinuedOrStartedAfresh_data();
    void cancelledDeepScanIsContinuedOrStartedAfresh();
    void recoveryListsTheFailureOnTopAndWritesTheRest();

private:
    QString imageCopy(const QString &name);

    QTemporaryDir m_dir;
    std::unique_ptr<vexlo::ScanHistory> m_history;
    std::unique_ptr<TestCatalogue> m_catalogue;
    QString m_card; // kept pristine; every scan works on a copy
    std::map<std::string, Bytes> m_contents; // what each found file must hold
    std::set<std::string> m_deleted; // names the file system still gives
    std::set<std::string> m_carved; // names carving gives
    // The uninterrupted deep scan, to compare others with.
    std::unique_ptr<SourceEntry> m_reference;
    std::vector<vexlo::FoundFileRecord> m_referenceFound;
    uint64_t m_referenceSectorsRead = 0;
};

void RealScanTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_history = std::make_unique<vexlo::ScanHistory>(
            (m_dir.path() + QStringLiteral("/ScanLog")).toStdString());
    // The shipped English texts, so that the screenshots show the program's
    // own words.
    m_catalogue = std::make_unique<TestCatalogue>(
            QString(), ReadTextFile(ShippedResource(QStringLiteral("Languages/English.ini"))));
    QVERIFY(!MessageText("MSG0709").isEmpty());

    const std::filesystem::path card = (m_dir.path() + QStringLiteral("/card.img")).toStdString();
    QCOMPARE(vexlo::testing::MakeFatImage(card, {.fat_bits = 16, .size_kib = 32768}), "");
    m_contents = {
            {"Holiday photo.jpg", JpegBytes()},
            {"Trip notes.txt", TextBytes()},
            {"Song.wav", samples::MakeWav(30000)},
            {"Report.pdf", samples::MakePdf(20000, "\n")},
    };
    std::vector<std::string> doomed;
    for (const auto &[name, bytes] : m_contents) {
        QCOMPARE(vexlo::testing::FatWriteFile(card, "/" + name, bytes), "");
        doomed.push_back("::/" + name);
        m_deleted.insert(name);
    }
    QCOMPARE(vexlo::testing::Mtools(card, "mmd", {"::/Old album"}), "");
    m_contents["Inside photo.jpg"] = JpegBytes();
    QCOMPARE(vexlo::testing::FatWriteFile(card, "/Old album/Inside photo.jpg",
                                          m_contents["Inside photo.jpg"]),
             "");
    m_deleted.insert("Inside photo.jpg");
    QCOMPARE(vexlo::testing::FatWriteFile(card, "/Still here.txt", TextBytes()), "");
    QCOMPARE(vexlo::testing::Mtools(card, "mdel", doomed), "");
    QCOMPARE(vexlo::testing::Mtools(card, "mdeltree", {"::/Old album"}), "");

    // Files of an earlier life of the card, in clusters nothing uses now:
    // only carving finds them.
    const vexlo::testing::FatLayout layout = vexlo::testing::ReadFatLayout(card);
    QVERIFY(layout.cluster_bytes() != 0);
    const uint64_t clusters
            = (QFileInfo(m_dir.path() + QStringLiteral("/card.img")).size() - layout.data_offset)
            / layout.cluster_bytes();
    const std::tuple<uint64_t, const char *, Bytes> lost[] = {
            {clusters * 3 / 4, ".wav", samples::MakeWav(50000)},
            {clusters * 7 / 8, ".pdf", samples::MakePdf(30000, "\n")},
    };
    for (const auto &[cluster, extension, bytes] : lost) {
        const uint64_t offset = layout.ClusterOffset(uint32_t(cluster + 2));
        vexlo::testing::WriteFileBytes(card, offset, bytes);
        // Carved files are named after their first sector.
        const std::string name = std::to_string(offset / layout.bytes_per_sector) + extension;
        m_contents[name] = bytes;
        m_carved.insert(name);
    }
    m_card = QString::fromStdString(card.string());
}

QString RealScanTest::imageCopy(const QString &name)
{
    const QString path = m_dir.filePath(name);
    QFile::remove(path);
    return QFile::copy(m_card, path) ? path : QString();
}

void RealScanTest::quickScanListsTheDeletedFiles()
{
    std::unique_ptr<SourceEntry> source = ImageSource(imageCopy(QStringLiteral("quick.img")), 1);
    CScanProcessWnd window(nullptr, {source.get()}, 0, MakeEngineScanServices(*m_history));
    QSignalSpy scanned(&window, &CScanProcessWnd::scanFinished);
    QCOMPARE(RunToEnd(window), 1);
    QCoreApplication::processEvents();
    QCOMPARE(scanned.size(), 1);
    QCOMPARE(Child<QLabel>(&window, "stage")->text(),
             MessageText("MSG0703") + QStringLiteral(" quick.img"));
    QVERIFY(source->engine);
    QVERIFY(!dynamic_cast<vexlo::CProfessionalRecovery *>(source->engine.get()));

    const std::vector<vexlo::FoundFileRecord> found = SearchAll(*source);
    QCOMPARE(Names(found), m_deleted);
    for (const vexlo::FoundFileRecord &record : found) {
        QCOMPARE(int(record.source_id), 1);
        QCOMPARE(uint64_t{record.size}, uint64_t(m_contents[std::string(record.Name())].size()));
    }
}

void RealScanTest::deepScanShowsItsProgressAndFindsCarvedFiles()
{
    m_reference = ImageSource(imageCopy(QStringLiteral("reference.img")), 2);
    CScanProcessWnd window(nullptr, {m_reference.get()}, 1, HeldServices(*m_history, true));
    QSignalSpy finished(&window, &QDialog::finished);
    QSignalSpy scanned(&window, &CScanProcessWnd::scanFinished);
    window.open();
    QTRY_VERIFY_WITH_TIMEOUT(m_reference->engine && Held(*m_reference).held, 60000);
    QCoreApplication::processEvents(); // the texts of the call it holds at

    const QRegularExpression sectorsLine(QRegularExpression::escape(MessageText("MSG0706"))
                                         + QStringLiteral(" (\\d+) / (\\d+)$"));
    const QRegularExpressionMatch sectors
            = sectorsLine.match(Child<QLabel>(&window, "sectors")->text());
    QVERIFY2(sectors.hasMatch(), qPrintable(Child<QLabel>(&window, "sectors")->text()));
    const qulonglong done = sectors.captured(1).toULongLong();
    const qulonglong total = sectors.captured(2).toULongLong();
    QVERIFY(done > 0 && done < total);
    QVERIFY(!Child<QLabel>(&window, "sectors")->isHidden());
    QVERIFY(!Child<QLabel>(&window, "totalfile")->isHidden());
    // The quick phase has listed the deleted files by now.
    const QString files = Child<QLabel>(&window, "totalfile")->text();
    const QString filesFound = MessageText("MSG0707") + u' ';
    QVERIFY2(files.startsWith(filesFound) && files.mid(filesFound.size()).toULongLong() > 0,
             qPrintable(files));
    QVERIFY(Child<QLabel>(&window, "percent")->text().startsWith(MessageText("MSG0704") + u' '));
    QVERIFY(!Child<QLabel>(&window, "time")->text().isEmpty());
    QVERIFY(Child<QProgressBar>(&window, "progress")->value() > 0);
    SaveScreenshot(&window, QStringLiteral("scan-progress"));

    Held(*m_reference).resume.open();
    QVERIFY(!finished.isEmpty() || finished.wait(120000));
    QCOMPARE(finished.first().first().toInt(), 1);
    QCOMPARE(scanned.size(), 1);
    QCOMPARE(Child<QProgressBar>(&window, "progress")->value(), 100);

    vexlo::CProfessionalRecovery *driver = Held(*m_reference).driver();
    QVERIFY(driver);
    QVERIFY(!driver->continued_scan());
    m_referenceSectorsRead = driver->sectors_read();
    m_referenceFound = SearchAll(*m_reference);
    const std::set<std::string> names = Names(m_referenceFound);
    for (const std::string &name : m_deleted)
        QVERIFY2(names.count(name), name.c_str());
    for (const std::string &name : m_carved)
        QVERIFY2(names.count(name), name.c_str());
    QVERIFY(!names.count("Still here.txt"));
}

void RealScanTest::cancelledDeepScanIsContinuedOrStartedAfresh_data()
{
    QTest::addColumn<bool>("goOn");
    QTest::newRow("continue") << true;
    QTest::newRow("start afresh") << false;
}

void RealScanTest::cancelledDeepScanIsContinuedOrStartedAfresh()
{
    QFETCH(bool, goOn);
    QVERIFY(!m_referenceFound.empty());
    std::unique_ptr<SourceEntry> source = ImageSource(
            imageCopy(goOn ? QStringLiteral("continued.img") : QStringLiteral("afresh.img")), 3);
    QStringList asked;
    CMessageBox::SetAnswererForTesting([&](int, const QString &text) {
        asked.append(text);
        if (text == MessageText("MSG0709")) {
            Held(*source).resume.open(); // the engine reaches its next call meanwhile
            return 1;
        }
        return goOn ? 1 : 2;
    });

    {
        CScanProcessWnd window(nullptr, {source.get()}, 1, HeldServices(*m_history, true));
        QSignalSpy finished(&window, &QDialog::finished);
        window.open();
        QTRY_VERIFY_WITH_TIMEOUT(source->engine && Held(*source).held, 60000);
        QTest::mouseClick(Child<QPushButton>(&window, "cancelbtn"), Qt::LeftButton);
        QVERIFY(window.isDone());
        QVERIFY(!finished.isEmpty() || finished.wait(60000));
        QCOMPARE(finished.first().first().toInt(), 1);
    }
    QCOMPARE(asked, QStringList{MessageText("MSG0709")});
    QVERIFY(SearchAll(*source).size() < m_referenceFound.size());

    // As the main window does it: the scan window runs its own loop, so the
    // question before the continued scan must not end that loop.
    asked.clear();
    CScanProcessWnd again(nullptr, {source.get()}, 1, HeldServices(*m_history, false));
    QSignalSpy scanned(&again, &CScanProcessWnd::scanFinished);
    QCOMPARE(again.exec(), 1);
    QVERIFY(again.isDone());
    QCoreApplication::processEvents();
    QCOMPARE(scanned.size(), 1);
    QCOMPARE(asked, QStringList{MessageText("MSG1206")});

    vexlo::CProfessionalRecovery *driver = Held(*source).driver();
    QVERIFY(driver);
    QCOMPARE(driver->continued_scan(), goOn);
    QVERIFY(!driver->has_saved_scan());
    if (goOn)
        QVERIFY(driver->sectors_read() < m_referenceSectorsRead);
    else
        QCOMPARE(driver->sectors_read(), m_referenceSectorsRead);
    QCOMPARE(Keys(SearchAll(*source)), Keys(m_referenceFound));
}

void RealScanTest::recoveryListsTheFailureOnTopAndWritesTheRest()
{
    QVERIFY(m_reference && m_reference->engine);
    // One record per file: a file in a deleted folder is named both by the
    // file system and by its folder's rebuilt directory.
    std::vector<vexlo::FoundFileRecord> records;
    std::set<std::string> taken;
    for (const vexlo::FoundFileRecord &record : m_referenceFound) {
        const std::string name(record.Name());
        if (m_contents.count(name) && taken.insert(name).second)
            records.push_back(record);
    }
    QCOMPARE(records.size(), m_contents.size());
    // A record whose data would lie far beyond the end of the card.
    const auto photo = std::find_if(records.begin(), records.end(), [](const auto &record) {
        return record.Name() == std::string_view("Holiday photo.jpg");
    });
    QVERIFY(photo != records.end());
    vexlo::FoundFileRecord beyond = *photo;
    beyond.key = 0x0FFFFFF0;
    beyond.SetName("Beyond the card.jpg");
    records.insert(records.begin() + 2, beyond);

    QTemporaryDir destination;
    const int total = int(records.size());
    CRecoverProcessWnd window(
            nullptr,
            CRecoverProcessWnd::MakeRecoveryJob({m_reference.get()}, destination.path(), records),
            destination.path(), total);
    window.open();
    QTRY_VERIFY_WITH_TIMEOUT(window.isDone(), 60000);
    QCoreApplication::processEvents();

    QCOMPARE(window.doneCount(), total);
    QCOMPARE(window.failedCount(), 1);
    QCOMPARE(Child<QLabel>(&window, "recovered")->text(),
             FormatMessage(MessageText("MSG1102"), {total, total, total - 1, 1}));
    auto *list = Child<QTreeWidget>(&window, "DetailList");
    QCOMPARE(list->topLevelItemCount(), total);
    const QTreeWidgetItem *failure = list->topLevelItem(0);
    QVERIFY(failure->text(0).endsWith(QLatin1String("/Beyond the card.jpg")));
    QCOMPARE(failure->text(1),
             QString::fromStdString(vexlo::platform::SystemMessage(vexlo::err::kReadFault)));
    QCOMPARE(failure->foreground(0).color(), QColor(0xFF, 0, 0));
    QCOMPARE(failure->foreground(1).color(), QColor(0xFF, 0, 0));
    for (int row = 1; row < total; ++row) {
        const QTreeWidgetItem *item = list->topLevelItem(row);
        const QString path = item->text(0);
        QCOMPARE(item->text(1), QStringLiteral("Success"));
        QVERIFY(item->foreground(0).color() != QColor(0xFF, 0, 0));
        QVERIFY2(path.startsWith(destination.path() + u'/'), qPrintable(path));
        const std::string name = QFileInfo(path).fileName().toStdString();
        QVERIFY2(ReadAll(path) == m_contents[name], name.c_str());
    }

    QTest::mouseClick(Child<QPushButton>(&window, "DetailBtn"), Qt::LeftButton);
    QVERIFY(!list->isHidden());
    SaveScreenshot(&window, QStringLiteral("recovery-details"));
    QSignalSpy finished(&window, &QDialog::finished);
    QTest::mouseClick(Child<QPushButton>(&window, "FinishBtn"), Qt::LeftButton);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.first().first().toInt(), 1);
}

QTEST_MAIN(RealScanTest)
#include "real_scan_test.moc"
