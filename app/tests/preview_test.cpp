// The preview of found files, on records of a FAT image made at test time.
#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

#include <signal.h>

#include <map>

#include "filesystems/fat/fast_fat_recovery.h"
#include "message_box.h"
#include "preview/media_player.h"
#include "preview/preview_holder.h"
#include "preview/preview_pane.h"
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
    void secondVideoEndsOnlyTheFirstPlayer();
    void videoThatNeverPlaysIsReported();

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
    pane.showRecord(m_engine.get(), record("Clip one.avi"));
    QTRY_COMPARE(ReadTextFile(pids).split(u'\n', Qt::SkipEmptyParts).size(), 2);
    pane.showRecord(m_engine.get(), record("Clip two.avi"));
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
    pane.showRecord(m_engine.get(), record("Clip one.avi"));
    QTRY_COMPARE(shown, QStringList{QStringLiteral("The video player could not play this file.")});
}

QTEST_MAIN(PreviewTest)
#include "preview_test.moc"
