// The preview of found files, on records of a FAT image made at test time.
#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <signal.h>

#include <map>

#include "filesystems/fat/fast_fat_recovery.h"
#include "message_box.h"
#include "preview/media_player.h"
#include "preview/preview_holder.h"
#include "preview/preview_pane.h"
#include "preview/preview_process_wnd.h"
#include "preview/raw_text.h"
#include "test_support.h"
#include "tests/support/fat_image.h"

namespace {

const QString kTexts = QStringLiteral(
        "[MessageBox]\nokbtn=OK\ncancelbtn=Cancel\n"
        "[PreviewProcessWnd]\nCancelBtn=Cancel\n"
        "[Messages]\n"
        "MSG0401=Error\nMSG0402=Confirm\nMSG0403=Information\nMSG0404=Question\nMSG0405=Warning\n"
        "MSG0901=Prepared:\nMSG0902=Preparing the preview of\nMSG0903=Stop?\n"
        "MSG0904=A folder cannot be previewed.\nMSG0905=This file cannot be previewed.\n"
        "MSG0906=Press Play to listen to this file.\nMSG0907=Press Play to watch this video.\n"
        "MSG1207=The video player could not play this file.\n");

std::vector<uint8_t> Bytes(const QByteArray &data)
{
    return {data.begin(), data.end()};
}

QByteArray JpegBytes()
{
    QImage image(64, 48, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG");
    return bytes;
}

QByteArray PdfBytes()
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    QPainter painter(&writer);
    painter.fillRect(QRect(0, 0, 2000, 2000), Qt::red);
    painter.drawText(QPoint(3000, 3000), QStringLiteral("Quarterly report"));
    painter.end();
    return bytes;
}

// Text with zero bytes spread through it, long enough for several lines.
QByteArray TextWithZeros()
{
    QByteArray text;
    for (int i = 0; i < 3000; ++i)
        text += i % 100 == 7 ? '\0' : char('a' + i % 26);
    return text;
}

QByteArray SpreadsheetCsv()
{
    QByteArray csv;
    for (int row = 1; row <= 50; ++row)
        csv += QStringLiteral("r%1a,r%1b,r%1c\n").arg(row).toLatin1();
    return csv;
}

QString RawView(const QByteArray &bytes)
{
    return RawText({reinterpret_cast<const uint8_t *>(bytes.constData()),
                    std::size_t(bytes.size())})
            .remove(u'\r');
}

bool ShowsPicture(PreviewPane &pane)
{
    return pane.edit()->document()->toHtml().contains(QLatin1String("<img"));
}

// A player that reports playback (or not) and records its pid.
QString WriteFakePlayer(const QString &folder, bool plays)
{
    const QString path = folder + QStringLiteral("/fake-player.sh");
    WriteTextFile(path,
                  QStringLiteral("#!/bin/sh\necho $$ >> '%1/pids'\n%2exec sleep 300\n")
                          .arg(folder, plays ? QStringLiteral("echo 'A: 00:01 (3%)'\n") : ""));
    QFile::setPermissions(path,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return path;
}

bool Alive(qint64 pid)
{
    return ::kill(pid_t(pid), 0) == 0;
}

// As the main window does: Play plays the record through this engine.
void PlayThrough(PreviewPane &pane, vexlo::IFileRecoveryParse *engine)
{
    QObject::connect(
            &pane, &PreviewPane::playRequested, &pane,
            [&pane, engine](const vexlo::FoundFileRecord &record) { pane.play(engine, record); });
}

// An engine whose extraction waits until the test lets it go on.
class HeldPreviewEngine final : public FakeEngine
{
public:
    Gate release;

    vexlo::ErrorCode ExtractForPreview(const vexlo::FoundFileRecord &, std::string *, uint8_t *,
                                       uint32_t *byte_count, vexlo::PreviewProgressCallback,
                                       void *) override
    {
        release.wait();
        *byte_count = 0;
        return 0;
    }
};

// Notes when a window is shown.
class ShowWatcher : public QObject
{
public:
    ShowWatcher(QObject *parent, bool *shown)
        : QObject(parent)
        , m_shown(shown)
    {
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show)
            *m_shown = true;
        return QObject::eventFilter(watched, event);
    }

private:
    bool *m_shown;
};

} // namespace

class PreviewTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void classifiesByLowerCasedExtension_data();
    void classifiesByLowerCasedExtension();
    void rawTextMarksZerosAndBreaksLines_data();
    void rawTextMarksZerosAndBreaksLines();
    void showsEachKindOfRecord();
    void spreadsheetConvertsOrFallsBack();
    void mediaPlaysOnlyOnPlayAndStops_data();
    void mediaPlaysOnlyOnPlayAndStops();
    void secondVideoEndsOnlyTheFirstPlayer();
    void videoThatNeverPlaysIsReported();
    void playerWindowIsCentredOnTheWindow_data();
    void playerWindowIsCentredOnTheWindow();
    void pictureFitsThePane_data();
    void pictureFitsThePane();
    void progressWindowOnlyForSlowExtractions_data();
    void progressWindowOnlyForSlowExtractions();

private:
    const vexlo::FoundFileRecord &record(const std::string &name)
    {
        const auto found = m_records.find(name);
        if (found == m_records.end())
            qFatal("no record %s", name.c_str());
        return found->second;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<TestCatalogue> m_catalogue;
    std::unique_ptr<vexlo::ScanHistory> m_history;
    std::unique_ptr<vexlo::CFastFatRecovery> m_engine;
    std::map<std::string, vexlo::FoundFileRecord> m_records;
    std::map<std::string, QByteArray> m_contents;
};

void PreviewTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qputenv("XDG_DATA_HOME", (m_dir.path() + QStringLiteral("/data")).toUtf8());
    m_catalogue = std::make_unique<TestCatalogue>(QString(), kTexts);

    m_contents = {
            {"Quarterly report.PDF", PdfBytes()},
            {"Notes with zeros.txt", TextWithZeros()},
            {"Holiday photo.jpg", JpegBytes()},
            {"Broken photo.jpg", JpegBytes().left(20) + QByteArray(4000, 'x')},
            {"Not an archive.zip", QByteArray("just some words, no archive here\n").repeated(20)},
            {"Sales table.csv", SpreadsheetCsv()},
            {"Clip one.avi", QByteArray(5000, 'v')},
            {"Clip two.avi", QByteArray(6000, 'w')},
            {"Evening tune.mp3", QByteArray(4000, 't')},
    };
    // A real archive, made by Debian's zip from two small files.
    const QString zipFolder = m_dir.path() + QStringLiteral("/zip");
    WriteTextFile(zipFolder + QStringLiteral("/first entry.txt"), QStringLiteral("one"));
    WriteTextFile(zipFolder + QStringLiteral("/second entry.txt"), QStringLiteral("two"));
    QProcess zip;
    zip.setWorkingDirectory(zipFolder);
    zip.start(QStringLiteral("zip"),
              {QStringLiteral("-q"), QStringLiteral("bundle.zip"),
               QStringLiteral("first entry.txt"), QStringLiteral("second entry.txt")});
    QVERIFY(zip.waitForFinished() && zip.exitCode() == 0);
    QFile bundle(zipFolder + QStringLiteral("/bundle.zip"));
    QVERIFY(bundle.open(QIODevice::ReadOnly));
    m_contents["Bundle of files.zip"] = bundle.readAll();

    const std::filesystem::path image = (m_dir.path() + QStringLiteral("/card.img")).toStdString();
    QCOMPARE(vexlo::testing::MakeFatImage(image, {.fat_bits = 16, .size_kib = 32768}), "");
    std::vector<std::string> doomed;
    for (const auto &[name, bytes] : m_contents) {
        QCOMPARE(vexlo::testing::FatWriteFile(image, "/" + name, Bytes(bytes)), "");
        doomed.push_back("::/" + name);
    }
    QCOMPARE(vexlo::testing::Mtools(image, "mmd", {"::/Old album"}), "");
    QCOMPARE(vexlo::testing::FatWriteFile(image, "/Old album/Inside photo.jpg", Bytes(JpegBytes())),
             "");
    QCOMPARE(vexlo::testing::Mtools(image, "mdel", doomed), "");
    QCOMPARE(vexlo::testing::Mtools(image, "mdeltree", {"::/Old album"}), "");

    m_history = std::make_unique<vexlo::ScanHistory>(
            (m_dir.path() + QStringLiteral("/ScanLog")).toStdString());
    m_engine = std::make_unique<vexlo::CFastFatRecovery>(*m_history);
    QCOMPARE(int(m_engine->OpenImage(image, 7)), 0);
    QCOMPARE(int(m_engine->Scan(nullptr)), 0);
    std::vector<vexlo::FoundFileRecord> root;
    QCOMPARE(int(m_engine->ListFolder(nullptr, 0, &root)), 0);
    for (const vexlo::FoundFileRecord &found : root)
        m_records[std::string(found.Name())] = found;
    QStringList names;
    for (const auto &entry : m_records)
        names.append(QString::fromStdString(entry.first));
    QVERIFY2(m_records.size() == m_contents.size() + 1, qPrintable(names.join(u'|')));
}

void PreviewTest::cleanup()
{
    CMessageBox::SetAnswererForTesting(nullptr);
    MediaPlayer::SetPlayerForTesting(std::nullopt);
}

void PreviewTest::classifiesByLowerCasedExtension_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("media");
    QTest::addColumn<bool>("audio");
    QTest::addColumn<bool>("document");
    QTest::addColumn<bool>("pdf");
    QTest::addColumn<QString>("converter");
    QTest::newRow("upper-case pdf") << "report.PDF" << false << false << true << true << "CPDF";
    QTest::newRow("audio") << "song.Mp3" << true << true << false << false << "";
    QTest::newRow("rm is audio") << "stream.rm" << true << true << false << false << "";
    QTest::newRow("video") << "clip.AVI" << true << false << false << false << "";
    QTest::newRow("word") << "letter.docx" << false << false << true << false << "CWord";
    QTest::newRow("presentation") << "deck.pptx" << false << false << true << false << "CPPT";
    QTest::newRow("spreadsheet") << "sheet.csv" << false << false << true << false << "CExcel";
    QTest::newRow("archive") << "bundle.tar" << false << false << true << false << "CZIP";
    QTest::newRow("picture") << "photo.jpg" << false << false << false << false << "";
    QTest::newRow("text") << "notes.txt" << false << false << false << false << "";
    QTest::newRow("no extension") << "README" << false << false << false << false << "";
}

void PreviewTest::classifiesByLowerCasedExtension()
{
    QFETCH(QString, name);
    vexlo::FoundFileRecord source = vexlo::EmptyRecord();
    source.SetName(name.toStdString());
    PreviewHolder holder;
    holder.Reset(source);
    holder.Classify();
    QTEST(holder.isMedia, "media");
    QTEST(holder.isAudio, "audio");
    QTEST(holder.isDocument, "document");
    QTEST(holder.isPdf, "pdf");
    CConverter *converter = holder.converter.get();
    const QString kind = dynamic_cast<CPDF *>(converter) ? QStringLiteral("CPDF")
            : dynamic_cast<CWord *>(converter)           ? QStringLiteral("CWord")
            : dynamic_cast<CPPT *>(converter)            ? QStringLiteral("CPPT")
            : dynamic_cast<CExcel *>(converter)          ? QStringLiteral("CExcel")
            : dynamic_cast<CZIP *>(converter)            ? QStringLiteral("CZIP")
                                                         : QString();
    QTEST(kind, "converter");
}

void PreviewTest::rawTextMarksZerosAndBreaksLines_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");
    const QString line(1024, u'z');
    QTest::newRow("empty") << QByteArray() << QStringLiteral("\r\n");
    QTest::newRow("zeros and high bytes")
            << QByteArray("a\0b\xE9", 4) << QStringLiteral("a.b\u00E9\r\n");
    QTest::newRow("one full line") << QByteArray(1024, 'z') << line + QStringLiteral("\r\n");
    QTest::newRow("one more") << QByteArray(1025, 'z') << line + QStringLiteral("\r\nz\r\n");
    QTest::newRow("zero at a line end") << QByteArray(1023, 'z') + QByteArray(1, '\0')
                                        << QString(1023, u'z') + QStringLiteral(".\r\n");
}

void PreviewTest::rawTextMarksZerosAndBreaksLines()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(RawText({reinterpret_cast<const uint8_t *>(bytes.constData()),
                      std::size_t(bytes.size())}),
             expected);
}

void PreviewTest::showsEachKindOfRecord()
{
    PreviewPane pane;
    pane.resize(600, 400);
    pane.show();

    pane.showRecord(m_engine.get(), record("Notes with zeros.txt"));
    const QString text = pane.edit()->toPlainText();
    QCOMPARE(text, RawView(m_contents["Notes with zeros.txt"]));
    QVERIFY(text.startsWith(QStringLiteral("abcdefg.")));
    QCOMPARE(text.split(u'\n').first().size(), 1024);
    SaveScreenshot(&pane, QStringLiteral("preview-raw-text"));

    pane.showRecord(m_engine.get(), record("Holiday photo.jpg"));
    QVERIFY(ShowsPicture(pane));
    QVERIFY(pane.currentPreviewFile().endsWith(QLatin1String("/tmp.jpg")));
    SaveScreenshot(&pane, QStringLiteral("preview-picture"));

    pane.showRecord(m_engine.get(), record("Broken photo.jpg"));
    QCOMPARE(pane.edit()->toPlainText(), QStringLiteral("This file cannot be previewed."));

    pane.showRecord(m_engine.get(), record("Quarterly report.PDF"));
    if (QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty())
        QVERIFY(pane.edit()->toPlainText().startsWith(QLatin1String("%PDF")));
    else
        QVERIFY(ShowsPicture(pane));
    QVERIFY(pane.currentPreviewFile().endsWith(QLatin1String("/Quarterly report.PDF")));
    // A page taller than the pane scrolls down only: it is shrunk to the
    // width that the vertical scroll bar leaves.
    QCoreApplication::processEvents();
    QCOMPARE(pane.edit()->horizontalScrollBar()->maximum(), 0);
    SaveScreenshot(&pane, QStringLiteral("preview-pdf"));

    pane.showRecord(m_engine.get(), record("Bundle of files.zip"));
    const QString listing = pane.edit()->toPlainText();
    QVERIFY2(listing.contains(QLatin1String("-------------------")), qPrintable(listing));
    QVERIFY(listing.contains(QLatin1String("first entry.txt")));
    QVERIFY(listing.contains(QLatin1String("second entry.txt")));
    SaveScreenshot(&pane, QStringLiteral("preview-zip-listing"));

    pane.showRecord(m_engine.get(), record("Not an archive.zip"));
    QCOMPARE(pane.edit()->toPlainText(), RawView(m_contents["Not an archive.zip"]));

    pane.showRecord(m_engine.get(), record("Old album"));
    QCOMPARE(pane.edit()->toPlainText(), QStringLiteral("A folder cannot be previewed."));
}

void PreviewTest::spreadsheetConvertsOrFallsBack()
{
    PreviewPane pane;
    pane.showRecord(m_engine.get(), record("Sales table.csv"));
    const QString shown = pane.edit()->toPlainText();
    if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty()) {
        QCOMPARE(shown, RawView(m_contents["Sales table.csv"].left(8192)));
        return;
    }
    QString expected;
    for (int row = 1; row <= 10; ++row)
        expected += QStringLiteral("r%1ar%1br%1c").arg(row);
    QCOMPARE(shown, expected);
}

void PreviewTest::mediaPlaysOnlyOnPlayAndStops_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("hint");
    QTest::newRow("video") << "Clip one.avi"
                           << "Press Play to watch this video.";
    QTest::newRow("sound") << "Evening tune.mp3"
                           << "Press Play to listen to this file.";
}

void PreviewTest::mediaPlaysOnlyOnPlayAndStops()
{
    QFETCH(QString, name);
    QFETCH(QString, hint);
    const QString pids = m_dir.path() + QStringLiteral("/pids");
    QFile::remove(pids);
    MediaPlayer::SetPlayerForTesting(PlayerCommand{WriteFakePlayer(m_dir.path(), true), {}});
    PreviewPane pane;
    PlayThrough(pane, m_engine.get());
    pane.show();

    // Moving onto the file shows how to play it, and plays nothing.
    pane.showRecord(m_engine.get(), record(name.toStdString()));
    QCOMPARE(pane.edit()->toPlainText(), hint);
    QVERIFY(pane.playButton()->isVisible());
    QVERIFY(!pane.stopButton()->isVisible());
    QTest::qWait(200);
    QVERIFY(!QFile::exists(pids));

    pane.playButton()->click();
    QTRY_COMPARE(ReadTextFile(pids).split(u'\n', Qt::SkipEmptyParts).size(), 1);
    const qint64 player = ReadTextFile(pids).split(u'\n', Qt::SkipEmptyParts).first().toLongLong();
    QVERIFY(Alive(player));
    QTRY_VERIFY(pane.stopButton()->isVisible());

    pane.stopButton()->click();
    QTRY_VERIFY(!Alive(player));
    QTRY_VERIFY(!pane.stopButton()->isVisible());
}

void PreviewTest::secondVideoEndsOnlyTheFirstPlayer()
{
    const QString pids = m_dir.path() + QStringLiteral("/pids");
    QFile::remove(pids);
    const QString player = WriteFakePlayer(m_dir.path(), true);
    MediaPlayer::SetPlayerForTesting(PlayerCommand{player, {}});
    int boxes = 0;
    CMessageBox::SetAnswererForTesting([&boxes](int, const QString &) {
        ++boxes;
        return 1;
    });
    // The same program, started by someone else: it must survive.
    QProcess bystander;
    bystander.start(player, {QStringLiteral("bystander")});
    QVERIFY(bystander.waitForStarted());

    PreviewPane pane;
    PlayThrough(pane, m_engine.get());
    pane.showRecord(m_engine.get(), record("Clip one.avi"));
    pane.playButton()->click();
    QTRY_COMPARE(ReadTextFile(pids).split(u'\n', Qt::SkipEmptyParts).size(), 2);
    pane.showRecord(m_engine.get(), record("Clip two.avi"));
    pane.playButton()->click();
    QTRY_COMPARE(ReadTextFile(pids).split(u'\n', Qt::SkipEmptyParts).size(), 3);

    const QStringList started = ReadTextFile(pids).split(u'\n', Qt::SkipEmptyParts);
    const qint64 first = started[1].toLongLong();
    const qint64 second = started[2].toLongLong();
    QVERIFY(!Alive(first));
    QVERIFY(Alive(second));
    QCOMPARE(bystander.state(), QProcess::Running);
    QCOMPARE(boxes, 0);

    pane.clear();
    bystander.kill();
    bystander.waitForFinished();
    MediaPlayer cleaner;
    cleaner.endPlayers();
    QVERIFY(!Alive(second));
}

void PreviewTest::videoThatNeverPlaysIsReported()
{
    const QString folder = m_dir.path() + QStringLiteral("/silent");
    QDir().mkpath(folder);
    const QString script = folder + QStringLiteral("/silent-player.sh");
    WriteTextFile(script, QStringLiteral("#!/bin/sh\necho 'cannot open'\nexit 1\n"));
    QFile::setPermissions(script, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    MediaPlayer::SetPlayerForTesting(PlayerCommand{script, {}});
    QStringList shown;
    CMessageBox::SetAnswererForTesting([&shown](int, const QString &text) {
        shown.append(text);
        return 1;
    });
    PreviewPane pane;
    PlayThrough(pane, m_engine.get());
    pane.showRecord(m_engine.get(), record("Clip one.avi"));
    QVERIFY(shown.isEmpty());
    pane.playButton()->click();
    QTRY_COMPARE(shown, QStringList{QStringLiteral("The video player could not play this file.")});
}

// The player's window stands in the middle of the main window, and inside it.
void PreviewTest::playerWindowIsCentredOnTheWindow_data()
{
    QTest::addColumn<QRect>("window");
    QTest::newRow("smallest window") << QRect(140, 80, 1000, 650);
    QTest::newRow("full screen") << QRect(0, 0, 1920, 1080);
    QTest::newRow("second screen") << QRect(1920, 0, 1280, 1024);
    QTest::newRow("narrow") << QRect(10, 10, 400, 700);
}

void PreviewTest::playerWindowIsCentredOnTheWindow()
{
    QFETCH(QRect, window);
    const QRect player = PlayerWindowGeometry(window);
    QVERIFY(window.contains(player));
    QVERIFY(qAbs(player.center().x() - window.center().x()) <= 1);
    QVERIFY(qAbs(player.center().y() - window.center().y()) <= 1);
    QVERIFY(player.width() >= window.width() / 3);
}

// Pictures are shown whole: as large as the pane allows, never larger than
// they are, in their own shape, without scroll bars.
void PreviewTest::pictureFitsThePane_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("pane");
    QTest::newRow("landscape, wide pane") << QSize(1600, 1000) << QSize(700, 300);
    QTest::newRow("landscape, tall pane") << QSize(1600, 1000) << QSize(300, 700);
    QTest::newRow("portrait") << QSize(900, 1600) << QSize(700, 300);
    QTest::newRow("panorama") << QSize(3000, 400) << QSize(600, 400);
    QTest::newRow("smaller than the pane") << QSize(120, 90) << QSize(600, 400);
}

void PreviewTest::pictureFitsThePane()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, pane);
    QImage image(picture, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    const QString path = m_dir.path() + QStringLiteral("/fit.png");
    QVERIFY(image.save(path));
    PreviewPane view;
    view.resize(pane);
    view.show();
    QVERIFY(view.showPicture(path, QStringLiteral("cannot")));
    // Once as shown, once after the pane changed its size.
    for (const QSize &size : {pane, pane.transposed()}) {
        view.resize(size);
        QCoreApplication::processEvents();
        const QSize shown = view.pictureSize();
        const QSize room = view.edit()->viewport()->size();
        QVERIFY2(shown.width() <= room.width() && shown.height() <= room.height(),
                 qPrintable(QStringLiteral("%1x%2 in %3x%4")
                                    .arg(shown.width())
                                    .arg(shown.height())
                                    .arg(room.width())
                                    .arg(room.height())));
        QVERIFY(shown.width() <= picture.width() && shown.height() <= picture.height());
        // Either the picture's own size, or one side meets the pane.
        const bool whole = shown == picture;
        const bool touches
                = room.width() - shown.width() < 20 || room.height() - shown.height() < 20;
        QVERIFY(whole || touches);
        QVERIFY(qAbs(double(shown.width()) / shown.height()
                     - double(picture.width()) / picture.height())
                < 0.02 * picture.width() / picture.height());
        QCOMPARE(view.edit()->horizontalScrollBar()->maximum(), 0);
        QCOMPARE(view.edit()->verticalScrollBar()->maximum(), 0);
    }
    SaveScreenshot(&view,
                   QStringLiteral("preview-fit-%1x%2").arg(picture.width()).arg(picture.height()));
}

// The preview's progress window stays away while the file comes quickly,
// and appears when it does not.
void PreviewTest::progressWindowOnlyForSlowExtractions_data()
{
    QTest::addColumn<bool>("slow");
    QTest::newRow("quick") << false;
    QTest::newRow("slow") << true;
}

void PreviewTest::progressWindowOnlyForSlowExtractions()
{
    QFETCH(bool, slow);
    HeldPreviewEngine engine;
    if (!slow)
        engine.release.open();
    vexlo::FoundFileRecord found = vexlo::EmptyRecord();
    found.SetName("photo.bmp");
    found.size = 100;
    PreviewHolder holder;
    CPreviewProcessWnd window(nullptr, &engine, found, &holder);
    bool shown = false;
    ShowWatcher watcher(&window, &shown);
    window.installEventFilter(&watcher);
    // A quick one is given all the time in the world, a slow one none.
    QTimer releaser;
    connect(&releaser, &QTimer::timeout, [&] {
        if (shown)
            engine.release.open();
    });
    releaser.start(5);
    const int result = window.execShownAfter(slow ? 0 : 60000);
    QCOMPARE(result, int(CPreviewProcessWnd::Finished));
    QCOMPARE(shown, slow);
}

QTEST_MAIN(PreviewTest)
#include "preview_test.moc"
