// Start-up: one copy per user, crash reports, and the main window shell.
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <future>

#include "crash_handler.h"
#include "main_wnd.h"
#include "single_instance.h"
#include "test_support.h"

class StartupTest : public QObject
{
    Q_OBJECT

private slots:
    void secondCopyAsksTheFirstToRaise()
    {
        QTemporaryDir runtime;
        SingleInstance first(runtime.path());
        SingleInstance second(runtime.path());
        QVERIFY(first.acquire());
        QVERIFY(!second.acquire());
        // Before the first copy has a window there is nobody to answer.
        QVERIFY(!second.askRunningToRaise());

        QVERIFY(first.listen());
        QSignalSpy raised(&first, &SingleInstance::raiseRequested);
        // The asking side blocks on its socket, so it runs beside the event
        // loop that serves the first copy.
        auto answer
                = std::async(std::launch::async, [&second] { return second.askRunningToRaise(); });
        QTRY_VERIFY_WITH_TIMEOUT(
                answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready, 30000);
        QVERIFY(answer.get());
        QCOMPARE(raised.size(), 1);
    }

    void lockIsFreedWhenTheFirstCopyEnds()
    {
        QTemporaryDir runtime;
        {
            SingleInstance first(runtime.path());
            QVERIFY(first.acquire());
        }
        SingleInstance next(runtime.path());
        QVERIFY(next.acquire());
    }

    // Two processes of the real program: the second one ends by itself and
    // leaves the first running.
    void secondProcessEndsAndLeavesTheFirst()
    {
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        const QString program = ShippedResource(QStringLiteral("vexlo-sd-recovery"));

        QProcess first;
        first.setProcessEnvironment(env);
        first.setWorkingDirectory(home.path());
        first.start(program, {});
        QVERIFY(first.waitForStarted());
        // The socket appears once the first copy's window exists.
        QTRY_VERIFY_WITH_TIMEOUT(
                QFileInfo::exists(home.filePath(QStringLiteral("vexlo-sd-recovery.socket"))),
                30000);

        QProcess second;
        second.setProcessEnvironment(env);
        second.setWorkingDirectory(home.path());
        second.start(program, {});
        QVERIFY(second.waitForFinished(30000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(first.state(), QProcess::Running);

        first.terminate();
        QVERIFY(first.waitForFinished(30000));
    }

    void crashReportName()
    {
        std::tm local{};
        local.tm_year = 2026 - 1900;
        local.tm_mon = 2;
        local.tm_mday = 3;
        local.tm_hour = 9;
        local.tm_min = 5;
        local.tm_sec = 7;
        QCOMPARE(QString::fromStdString(CrashDumpFileName(local)),
                 QStringLiteral("2026-3-3&9-5-7.dmp"));
    }

    void crashWritesAReportAndStillEndsByTheSignal()
    {
        QTemporaryDir folder;
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            if (::chdir(QFile::encodeName(folder.path()).constData()) != 0)
                ::_exit(100);
            InstallCrashHandler();
            ::raise(SIGFPE);
            ::_exit(101);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFSIGNALED(status));
        QCOMPARE(WTERMSIG(status), SIGFPE);

        const QDir reports(folder.filePath(QStringLiteral("D-Error")));
        const QStringList files = reports.entryList(QDir::Files);
        QCOMPARE(files.size(), 1);
        QVERIFY(QRegularExpression(
                        QStringLiteral(
                                "^\\d{4}-\\d{1,2}-\\d{1,2}&\\d{1,2}-\\d{1,2}-\\d{1,2}\\.dmp$"))
                        .match(files.first())
                        .hasMatch());
        const QString report = ReadTextFile(reports.filePath(files.first()));
        QVERIFY(report.contains(QStringLiteral("signal %1 (FPE)").arg(SIGFPE)));
        QVERIFY(report.contains(QStringLiteral("Stack:")));
        QVERIFY(report.contains(QStringLiteral("[stack]"))); // a line of the memory map
    }

    void mainWindowShell()
    {
        TestCatalogue catalogue(
                QStringLiteral("[DefaultLanguage]\nDefault=English\n[Languages]\n"
                               "English=English\nDeutsch=Deutsch\n"),
                QStringLiteral("[MainWnd]\nBtnScan=Scan\n[Messages]\nMSG1209=Product\n"),
                QStringLiteral("[MainWnd]\nBtnScan=Suchen\n[Messages]\nMSG1209=Produkt\n"));
        QTemporaryDir data;
        vexlo::ScanHistory history(data.filePath(QStringLiteral("ScanLog")).toStdString());
        CMainWnd window(MainWndServices::Real(history));
        QCOMPARE(window.windowTitle(), QStringLiteral("Vexlo SD Card Data Recovery"));
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("LblProductName"))->text(),
                 QStringLiteral("Product"));
        QCOMPARE(window.findChild<QStackedWidget *>(QStringLiteral("TabPage"))->count(), 4);

        // The file-type page holds the catalogue's options, box by box.
        const QList<QPair<QString, int>> boxes
                = {{"FileTypePhoto", 43},  {"FileTypeAudio", 19}, {"FileTypeVideo", 29},
                   {"FileTypeOffice", 21}, {"FileTypeZip", 14},   {"FileTypeOther", 1}};
        for (const auto &[name, count] : boxes) {
            auto *box = window.findChild<QGroupBox *>(name);
            QVERIFY2(box, qPrintable(name));
            // The options plus the box's own category option.
            QCOMPARE(box->findChildren<QCheckBox *>().size(), count + 1);
        }

        // The mode page's category boxes drive the search selection.
        QVERIFY(window.extensionSelection().OptionFor("rm"));
        window.findChild<QCheckBox *>(QStringLiteral("ChkMusic"))->click();
        QVERIFY(!window.extensionSelection().OptionFor("rm"));
        QCOMPARE(window.findChild<QCheckBox *>(QStringLiteral("ChkRecoverAll"))->checkState(),
                 Qt::PartiallyChecked);
        window.findChild<QCheckBox *>(QStringLiteral("ChkRecoverAll"))->click();
        QVERIFY(window.extensionSelection().OptionFor("rm"));

        // Switching the language rewrites the window.
        catalogue.manager().SetLanguage(QStringLiteral("Deutsch"));
        window.applyLanguage();
        QCOMPARE(window.findChild<QPushButton *>(QStringLiteral("BtnScan"))->text(),
                 QStringLiteral("Suchen"));
        QCOMPARE(window.findChild<QLabel *>(QStringLiteral("LblProductName"))->text(),
                 QStringLiteral("Produkt"));
    }
};

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
