// The Help, FAQ and About items of the assist menu: they must work offline
// and describe this installation, not send the user to a web address.
#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <memory>

#include "engine/scan_history.h"
#include "language_manager.h"
#include "main_wnd.h"
#include "platform/paths.h"
#include "test_support.h"

namespace {

// Every scheme the assist menu could hand to the desktop.
const char *const kSchemes[] = {"file", "http", "https"};

// Stands in for the desktop's browser and file manager.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened.append(url); }
};

} // namespace

class AssistMenuTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<vexlo::ScanHistory> m_history;
    std::unique_ptr<TestCatalogue> m_catalogue;
    UrlCatcher m_catcher;

    MainWndServices services()
    {
        return QuietServices(
                *m_history, [] { return QString(); }, [] { return QString(); },
                [] { return std::vector<vexlo::PartitionRecord>(); });
    }

    void trigger(CMainWnd &window, const char *item)
    {
        auto *action = window.findChild<QAction *>(QLatin1String(item));
        QVERIFY2(action != nullptr, item);
        action->trigger();
    }

    QMessageBox *aboutBox()
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *box = qobject_cast<QMessageBox *>(widget); box != nullptr
                && box->objectName() == QLatin1String("about_box") && box->isVisible())
                return box;
        }
        return nullptr;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // The program's own history, in a data folder of the test's.
        qputenv("XDG_DATA_HOME", m_dir.path().toUtf8());
        m_history = std::make_unique<vexlo::ScanHistory>(vexlo::platform::ScanLogRoot());
        m_catalogue = ShippedCatalogue();
        for (const char *scheme : kSchemes)
            QDesktopServices::setUrlHandler(QLatin1String(scheme), &m_catcher, "open");
    }

    void cleanupTestCase()
    {
        for (const char *scheme : kSchemes)
            QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
    }

    void init() { m_catcher.opened.clear(); }

    // Help opens the manual, FAQ its questions: both the local manual; no
    // item sends the user to a web address that nobody answers at.
    void helpAndFaqOpenTheLocalManual_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("shown");
        QTest::newRow("help") << "item_help"
                              << ""
                              << "ScanLog";
        QTest::newRow("faq") << "item_faq"
                             << "QUESTIONS"
                             << "<a name=\"QUESTIONS\"></a>";
    }

    void helpAndFaqOpenTheLocalManual()
    {
        QFETCH(QString, item);
        QFETCH(QString, section);
        QFETCH(QString, shown);
        CMainWnd window(services());
        trigger(window, qPrintable(item));
        QCOMPARE(m_catcher.opened.size(), 1);
        const QUrl url = m_catcher.opened.first();
        QVERIFY2(url.isLocalFile(), qPrintable(url.toString()));
        QCOMPARE(url.fragment(), section);
        const QString manual = ReadTextFile(url.toLocalFile());
        QVERIFY2(manual.contains(QLatin1String("<html")), qPrintable(url.toLocalFile()));
        QVERIFY(manual.contains(QLatin1String("vexlo-sd-recovery")));
        QVERIFY(manual.contains(shown));
        QVERIFY(window.findChild<QAction *>(QStringLiteral("item_support")) == nullptr);
    }

    void aboutShowsVersionLicenceAndTheScanLogFolder()
    {
        const QString logs = m_dir.filePath(QStringLiteral("VexloSdCardDataRecovery/ScanLog"));
        QCOMPARE(QString::fromStdString(m_history->root().string()), logs);
        CMainWnd window(services());
        window.show();
        trigger(window, "item_about");
        QMessageBox *box = aboutBox();
        QVERIFY(box != nullptr);
        QVERIFY(m_catcher.opened.isEmpty());

        const QString text = box->text();
        QVERIFY2(text.contains(QRegularExpression(QStringLiteral("Version \\d+\\.\\d+\\.\\d+"))),
                 qPrintable(text));
        QVERIFY(text.contains(QLatin1String("GNU General Public License, version 3 or later")));
        QVERIFY2(text.contains(QUrl::fromLocalFile(logs).toString(QUrl::FullyEncoded)),
                 qPrintable(text));
        QVERIFY(!box->iconPixmap().isNull());
        SaveScreenshot(box, QStringLiteral("about-box"));

        // Its links (the folder, the licence) open through the desktop.
        auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
        QVERIFY(label != nullptr);
        QVERIFY(label->openExternalLinks());

        box->accept();
        QTRY_VERIFY(aboutBox() == nullptr);
    }

    // The recovery's options are switches of the menu that the next start
    // of the program still knows.
    void recoveryOptionsAreRemembered()
    {
        LanguageManager &config = m_catalogue->manager();
        {
            CMainWnd window(services());
            auto *folders = window.findChild<QAction *>(QStringLiteral("item_keep_folders"));
            auto *times = window.findChild<QAction *>(QStringLiteral("item_keep_times"));
            QVERIFY(folders != nullptr && times != nullptr);
            QVERIFY(folders->isCheckable() && times->isCheckable());
            QVERIFY(!folders->isChecked());
            QVERIFY(!times->isChecked());
            trigger(window, "item_keep_folders");
            QVERIFY(folders->isChecked());
            auto *menu = window.findChild<QMenu *>(QStringLiteral("menu_assist"));
            QVERIFY(menu != nullptr);
            emit menu->aboutToShow();
            QCOMPARE(folders->text(), QStringLiteral("Keep Folders"));
            QCOMPARE(times->text(), QStringLiteral("Keep File Dates"));
        }
        QCOMPARE(config.Setting(QStringLiteral("Recovery"), QStringLiteral("KeepFolders")),
                 QStringLiteral("1"));
        CMainWnd again(services());
        QVERIFY(again.findChild<QAction *>(QStringLiteral("item_keep_folders"))->isChecked());
        QVERIFY(!again.findChild<QAction *>(QStringLiteral("item_keep_times"))->isChecked());
        trigger(again, "item_keep_folders");
        QCOMPARE(config.Setting(QStringLiteral("Recovery"), QStringLiteral("KeepFolders")),
                 QStringLiteral("0"));
    }

    void aboutSpeaksTheChosenLanguage()
    {
        m_catalogue->manager().SetLanguage(QStringLiteral("Deutsch"));
        CMainWnd window(services());
        window.show();
        trigger(window, "item_about");
        QMessageBox *box = aboutBox();
        QVERIFY(box != nullptr);
        QVERIFY2(box->windowTitle().startsWith(QStringLiteral("Über")),
                 qPrintable(box->windowTitle()));
        QVERIFY(box->text().contains(QStringLiteral("Version 3 oder später")));
        box->accept();
        m_catalogue->manager().SetLanguage(QStringLiteral("English"));
    }
};

QTEST_MAIN(AssistMenuTest)
#include "assist_menu_test.moc"
