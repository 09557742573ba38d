// The language catalogue: loading rules, the language switch, applying
// texts to windows, message formatting, and the shipped language files.
#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTextEdit>
#include <QTreeWidget>

#include <functional>

#include "catalogue/device_refusal.h"
#include "ini_file.h"
#include "language_manager.h"
#include "message_format.h"
#include "test_support.h"

namespace {

const QString kConfig = QStringLiteral("[DefaultLanguage]\nDefault=English\n\n"
                                       "[Languages]\nEnglish=English\nDeutsch=Deutsch\n");

} // namespace

class LanguageManagerTest : public QObject
{
    Q_OBJECT

private slots:
    void missingConfigMeansEnglishAndNoLanguageList()
    {
        TestCatalogue catalogue({}, QStringLiteral("[Messages]\nMSG0401=Error\n"));
        LanguageManager &m = catalogue.manager();
        QCOMPARE(m.CurrentLanguage(), QStringLiteral("English"));
        QVERIFY(m.Languages().isEmpty());
        QCOMPARE(m.Text(QStringLiteral("Messages"), QStringLiteral("MSG0401")),
                 QStringLiteral("Error"));
    }

    void lookupRules()
    {
        TestCatalogue catalogue(kConfig,
                                QStringLiteral("[Messages]\n"
                                               "MSG0101=first\n"
                                               "MSG0101=second\n"
                                               "  MSG0102 = spaced = with equals  \n"
                                               "MSG0708=\"Remaining: \"\n"
                                               "; a comment\n"
                                               "[messages]\nMSG0101=other case\n"));
        LanguageManager &m = catalogue.manager();
        const QString messages = QStringLiteral("Messages");
        QCOMPARE(m.Text(messages, QStringLiteral("MSG0101")), QStringLiteral("first"));
        QCOMPARE(m.Text(messages, QStringLiteral("MSG0102")),
                 QStringLiteral("spaced = with equals"));
        QCOMPARE(m.Text(messages, QStringLiteral("MSG0708")), QStringLiteral("Remaining: "));
        // Section names compare case-sensitively.
        QCOMPARE(m.Text(QStringLiteral("messages"), QStringLiteral("MSG0101")),
                 QStringLiteral("other case"));
        // A missing key gives the empty text and is remembered as such.
        QVERIFY(m.Text(messages, QStringLiteral("MSG9999")).isEmpty());
        QVERIFY(m.Section(messages).contains(QStringLiteral("MSG9999")));
        QVERIFY(m.Section(QStringLiteral("NoSuchWnd")).isEmpty());
        QCOMPARE(m.Languages().size(), 2);
        QCOMPARE(m.Languages().at(1).first, QStringLiteral("Deutsch"));
    }

    void missingLanguageFileGivesEmptyTexts()
    {
        TestCatalogue catalogue(QStringLiteral("[DefaultLanguage]\nDefault=Klingon\n"),
                                QStringLiteral("[Messages]\nMSG0401=Error\n"));
        QCOMPARE(catalogue.manager().CurrentLanguage(), QStringLiteral("Klingon"));
        QVERIFY(catalogue.manager()
                        .Text(QStringLiteral("Messages"), QStringLiteral("MSG0401"))
                        .isEmpty());
    }

    void switchingLanguageWritesTheChoiceAndReloads()
    {
        TestCatalogue catalogue(kConfig, QStringLiteral("[MainWnd]\nBtnScan=Scan\n"),
                                QStringLiteral("[MainWnd]\nBtnScan=Suchen\n"));
        LanguageManager &m = catalogue.manager();
        m.SetLanguage(QStringLiteral("Deutsch"));
        QCOMPARE(m.CurrentLanguage(), QStringLiteral("Deutsch"));
        QCOMPARE(m.Text(QStringLiteral("MainWnd"), QStringLiteral("BtnScan")),
                 QStringLiteral("Suchen"));
        const IniFile written
                = IniFile::read(catalogue.programFolder() + QStringLiteral("/config.ini"));
        QCOMPARE(written.value(QStringLiteral("DefaultLanguage"), QStringLiteral("Default")),
                 QStringLiteral("Deutsch"));
        // The rest of the file stays.
        QCOMPARE(written.value(QStringLiteral("Languages"), QStringLiteral("Deutsch")),
                 QStringLiteral("Deutsch"));
        // A new catalogue on the same files starts in the chosen language.
        LanguageManager again(catalogue.programFolder() + QStringLiteral("/config.ini"),
                              catalogue.userConfig(),
                              catalogue.programFolder() + QStringLiteral("/Languages"));
        QCOMPARE(again.CurrentLanguage(), QStringLiteral("Deutsch"));
    }

    void userConfigIsPreferredAndWritten()
    {
        TestCatalogue catalogue(kConfig, QStringLiteral("[M]\nk=en\n"),
                                QStringLiteral("[M]\nk=de\n"));
        WriteTextFile(catalogue.userConfig(),
                      QStringLiteral("[DefaultLanguage]\nDefault=Deutsch\n"));
        LanguageManager m(catalogue.programFolder() + QStringLiteral("/config.ini"),
                          catalogue.userConfig(),
                          catalogue.programFolder() + QStringLiteral("/Languages"));
        QCOMPARE(m.CurrentLanguage(), QStringLiteral("Deutsch"));
        QCOMPARE(m.activeConfigPath(), catalogue.userConfig());
        m.SetLanguage(QStringLiteral("English"));
        QCOMPARE(m.Text(QStringLiteral("M"), QStringLiteral("k")), QStringLiteral("en"));
        QVERIFY(ReadTextFile(catalogue.userConfig()).contains(QStringLiteral("Default=English")));
        // The packaged file is left alone.
        QVERIFY(ReadTextFile(catalogue.programFolder() + QStringLiteral("/config.ini"))
                        .contains(QStringLiteral("Default=English")));
    }

    void anInstalledConfigIsNeverWrittenEvenWhenWritable()
    {
        TestCatalogue catalogue(kConfig, QStringLiteral("[M]\nk=en\n"),
                                QStringLiteral("[M]\nk=de\n"));
        const QString packaged = catalogue.programFolder() + QStringLiteral("/config.ini");
        const QString before = ReadTextFile(packaged);
        QVERIFY(QFileInfo(packaged).isWritable());
        LanguageManager m(packaged, catalogue.userConfig(),
                          catalogue.programFolder() + QStringLiteral("/Languages"),
                          LanguageManager::PackagedConfig::ReadOnly);
        m.SetLanguage(QStringLiteral("Deutsch"));
        QCOMPARE(m.Text(QStringLiteral("M"), QStringLiteral("k")), QStringLiteral("de"));
        QCOMPARE(ReadTextFile(packaged), before);
        const IniFile user = IniFile::read(catalogue.userConfig());
        QCOMPARE(user.value(QStringLiteral("DefaultLanguage"), QStringLiteral("Default")),
                 QStringLiteral("Deutsch"));
        // The user's copy keeps the list of languages of the packaged one.
        QCOMPARE(user.value(QStringLiteral("Languages"), QStringLiteral("Deutsch")),
                 QStringLiteral("Deutsch"));
    }

    void applySectionReachesDisabledControlsAndTreeNodes()
    {
        TestCatalogue catalogue(kConfig,
                                QStringLiteral("[MainWnd]\n"
                                               "BtnRecover=Recover\n"
                                               "LblProductName=Product\n"
                                               "NodePhoto=Photo\n"
                                               "NoSuchControl=ignored\n"));
        QWidget window;
        auto *button = new QPushButton(&window);
        button->setObjectName(QStringLiteral("BtnRecover"));
        button->setEnabled(false);
        auto *label = new QLabel(&window);
        label->setObjectName(QStringLiteral("LblProductName"));
        auto *tree = new QTreeWidget(&window);
        auto *node = new QTreeWidgetItem(tree);
        node->setData(0, LanguageManager::kNodeNameRole, QStringLiteral("NodePhoto"));

        catalogue.manager().ApplySection(&window, QStringLiteral("MainWnd"));
        QCOMPARE(button->text(), QStringLiteral("Recover"));
        QVERIFY(!button->isEnabled());
        QCOMPARE(label->text(), QStringLiteral("Product"));
        QCOMPARE(node->text(0), QStringLiteral("Photo"));
    }

    // Each kind of control takes its text where it shows it: a menu and a
    // group box as their title, a text box as its content, the window as
    // its caption.
    void applySectionSetsEachKindOfControl()
    {
        QWidget window;
        window.setObjectName(QStringLiteral("Wnd"));
        auto *label = new QLabel(&window);
        auto *button = new QCheckBox(&window);
        auto *action = new QAction(&window);
        auto *line = new QLineEdit(&window);
        auto *menu = new QMenu(&window);
        auto *box = new QGroupBox(&window);
        auto *edit = new QTextEdit(&window);
        auto *plain = new QPlainTextEdit(&window);
        const struct
        {
            QObject *control;
            std::function<QString()> shown;
        } controls[] = {
                {&window, [&] { return window.windowTitle(); }},
                {label, [=] { return label->text(); }},
                {button, [=] { return button->text(); }},
                {action, [=] { return action->text(); }},
                {line, [=] { return line->text(); }},
                {menu, [=] { return menu->title(); }},
                {box, [=] { return box->title(); }},
                {edit, [=] { return edit->toPlainText(); }},
                {plain, [=] { return plain->toPlainText(); }},
        };
        QString section = QStringLiteral("[MainWnd]\n");
        for (std::size_t i = 0; i < std::size(controls); ++i) {
            if (controls[i].control != &window)
                controls[i].control->setObjectName(QStringLiteral("Control%1").arg(i));
            section += QStringLiteral("%1=Text %2\n").arg(controls[i].control->objectName()).arg(i);
        }
        TestCatalogue catalogue(kConfig, section);

        catalogue.manager().ApplySection(&window, QStringLiteral("MainWnd"));
        for (std::size_t i = 0; i < std::size(controls); ++i)
            QCOMPARE(controls[i].shown(), QStringLiteral("Text %1").arg(i));
    }

    void formatMessage_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QVariantList>("arguments");
        QTest::addColumn<QString>("expected");
        QTest::newRow("percent") << QStringLiteral("%s %d%%")
                                 << QVariantList{QStringLiteral("Scanned:"), 42}
                                 << QStringLiteral("Scanned: 42%");
        QTest::newRow("64-bit") << QStringLiteral("%s %I64u / %I64u")
                                << QVariantList{QStringLiteral("Sectors:"),
                                                QVariant::fromValue<qulonglong>(1ULL << 40), 7}
                                << QStringLiteral("Sectors: 1099511627776 / 7");
        QTest::newRow("letter") << QStringLiteral("Drive %c:") << QVariantList{int('E')}
                                << QStringLiteral("Drive E:");
        QTest::newRow("too few arguments")
                << QStringLiteral("%d of %d, %s") << QVariantList{3} << QStringLiteral("3 of , ");
        QTest::newRow("too many arguments")
                << QStringLiteral("no placeholder") << QVariantList{1, 2}
                << QStringLiteral("no placeholder");
        QTest::newRow("not a conversion")
                << QStringLiteral("100%z and %") << QVariantList{} << QStringLiteral("100%z and %");
        QTest::newRow("precision")
                << QStringLiteral("%.2f") << QVariantList{1.005 + 1} << QStringLiteral("2.00");
    }

    void formatMessage()
    {
        QFETCH(QString, format);
        QFETCH(QVariantList, arguments);
        QFETCH(QString, expected);
        QString out;
        switch (arguments.size()) {
        case 0:
            out = FormatMessage(format, {});
            break;
        case 1:
            out = FormatMessage(format, {arguments[0]});
            break;
        case 2:
            out = FormatMessage(format, {arguments[0], arguments[1]});
            break;
        default:
            out = FormatMessage(format, {arguments[0], arguments[1], arguments[2]});
            break;
        }
        QCOMPARE(out, expected);
    }

    // The command line says in English what the desktop program says from
    // its language file when a device is refused; the two must not drift.
    void refusedDeviceTextIsTheCommandLines()
    {
        const IniFile english
                = IniFile::read(ShippedResource(QStringLiteral("Languages/English.ini")));
        for (const bool asRoot : {false, true}) {
            const QString text = english.value(QStringLiteral("Messages"),
                                               QLatin1String(asRoot ? "MSG0513" : "MSG0512"));
            QCOMPARE(FormatMessage(text, {QStringLiteral("/dev/sdb1")}).toStdString(),
                     vexlo::catalogue::DeviceRefusedText("/dev/sdb1", asRoot));
        }
    }

    // The shipped files: every message key, every window section, the
    // placeholders the program fills, and the same keys in every language.
    void shippedLanguageFilesAreComplete()
    {
        const QStringList keys
                = QStringLiteral(
                          "MSG0101 MSG0102 MSG0103 MSG0104 MSG0201 MSG0202 MSG0203 MSG0204 MSG0205 "
                          "MSG0206 MSG0207 "
                          "MSG0208 MSG0209 MSG0210 MSG0211 MSG0212 MSG0213 MSG0214 MSG0216 "
                          "MSG0217 MSG0218 "
                          "MSG0219 MSG0220 MSG0221 MSG0301 MSG0302 MSG0303 MSG0304 MSG0305 "
                          "MSG0306 MSG0401 "
                          "MSG0402 MSG0403 MSG0404 MSG0405 MSG0501 MSG0502 MSG0503 MSG0504 "
                          "MSG0505 MSG0512 MSG0513 MSG0514 MSG0601 "
                          "MSG0602 MSG0702 MSG0703 MSG0704 MSG0705 MSG0706 MSG0707 "
                          "MSG0708 MSG0709 "
                          "MSG0801 MSG0802 MSG0803 MSG0804 MSG0805 MSG0807 MSG0808 MSG0809 "
                          "MSG0810 MSG0811 "
                          "MSG0812 MSG0901 MSG0902 MSG0903 MSG0904 MSG0905 MSG1101 MSG1102 "
                          "MSG1103 MSG1201 "
                          "MSG1202 MSG1203 MSG1204 MSG1205 MSG1206 MSG1207 MSG1209")
                          .split(u' ');
        const QList<QPair<QString, QString>> placeholders = {
                {QStringLiteral("MSG0702"), QStringLiteral("%s")},
                {QStringLiteral("MSG0512"), QStringLiteral("%s")},
                {QStringLiteral("MSG0513"), QStringLiteral("%s")},
                {QStringLiteral("MSG0802"), QStringLiteral("%s")},
                {QStringLiteral("MSG0804"), QStringLiteral("%s%d")},
                {QStringLiteral("MSG1102"), QStringLiteral("%d%d%d%d")},
                {QStringLiteral("MSG1201"), QStringLiteral("%c")},
                {QStringLiteral("MSG1202"), QStringLiteral("%s")},
                {QStringLiteral("MSG1203"), QStringLiteral("%s")},
        };
        const QStringList sections
                = QStringLiteral(
                          "MainWnd MenuWnd MessageBox ScanWnd SearchProcessWnd RecoverProcessWnd "
                          "PreviewProcessWnd CreateImageWnd Messages")
                          .split(u' ');
        const IniFile config = IniFile::read(ShippedResource(QStringLiteral("config.ini")));
        const IniFile::Section *languages = config.section(QStringLiteral("Languages"));
        QVERIFY(languages);
        QCOMPARE(languages->entries.size(), 2);

        const IniFile english
                = IniFile::read(ShippedResource(QStringLiteral("Languages/English.ini")));
        for (const IniFile::Entry &language : languages->entries) {
            const IniFile file = IniFile::read(
                    ShippedResource(QStringLiteral("Languages/%1.ini").arg(language.first)));
            for (const QString &section : sections)
                QVERIFY2(file.section(section), qPrintable(language.first + u' ' + section));
            for (const QString &key : keys) {
                QVERIFY2(!file.value(QStringLiteral("Messages"), key).isEmpty(),
                         qPrintable(language.first + u' ' + key));
            }
            static const QRegularExpression conversion(QStringLiteral("%[a-zA-Z]"));
            for (const auto &[key, expected] : placeholders) {
                QString found;
                auto it = conversion.globalMatch(file.value(QStringLiteral("Messages"), key));
                while (it.hasNext())
                    found += it.next().captured();
                QCOMPARE(found, expected);
            }
            // Every caption that English has, the others have too.
            for (const IniFile::Section &section : english.sections()) {
                for (const IniFile::Entry &entry : section.entries) {
                    QVERIFY2(!file.value(section.name, entry.first).isEmpty(),
                             qPrintable(language.first + u' ' + section.name + u' ' + entry.first));
                }
            }
        }
        // The remaining-time text runs straight into the duration.
        QVERIFY(english.value(QStringLiteral("Messages"), QStringLiteral("MSG0708"))
                        .endsWith(u' '));
    }
};

QTEST_MAIN(LanguageManagerTest)
#include "language_manager_test.moc"
