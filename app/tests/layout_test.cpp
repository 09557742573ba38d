// Every page and pop-up of the program, in English and German, at the
// window's smallest size: no text is cut, the file-type page never scrolls
// sideways, the mode descriptions are on show, and the mode page fills the
// window small and large. With VEXLO_SCREENSHOT_DIR set, a picture of each
// page and pop-up is written there.
#include <QAbstractButton>
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QToolButton>
#include <QTreeView>

#include <memory>

#include "create_image_process_wnd.h"
#include "elided_label.h"
#include "like_it_wnd.h"
#include "main_wnd.h"
#include "message_box.h"
#include "mode_button.h"
#include "preview/preview_process_wnd.h"
#include "recover_process_wnd.h"
#include "scan_process_wnd.h"
#include "scan_services.h"
#include "search_process_wnd.h"
#include "test_support.h"
#include "tests/support/fake_disk_tree.h"
#include "tests/support/fat_image.h"
#include "tests/support/temp_scan_history.h"
#include "thumbnail_model.h"

namespace {

constexpr QSize kSmallest(1000, 650);

std::vector<uint8_t> Bytes(const QByteArray &data)
{
    return {data.begin(), data.end()};
}

// A landscape to recover: sky, sun and hills, different for every seed.
QByteArray Scene(int width, int height, int seed, const char *format = "JPG")
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, QColor::fromHsv((200 + seed * 37) % 360, 120, 230));
    sky.setColorAt(1, QColor::fromHsv((30 + seed * 23) % 360, 90, 250));
    painter.fillRect(image.rect(), sky);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 220, 120));
    painter.drawEllipse(QPointF(width * (0.2 + 0.1 * (seed % 6)), height * 0.3), height * 0.1,
                        height * 0.1);
    painter.setBrush(QColor::fromHsv((100 + seed * 17) % 360, 140, 120));
    QPolygonF hills;
    hills << QPointF(0, height);
    for (int x = 0; x <= 8; ++x)
        hills << QPointF(width * x / 8.0, height * (0.55 + 0.12 * ((x * 7 + seed) % 3)));
    hills << QPointF(width, height);
    painter.drawPolygon(hills);
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, 85);
    return bytes;
}

QString PlainText(const QLabel &label)
{
    if (label.textFormat() == Qt::PlainText || !Qt::mightBeRichText(label.text()))
        return label.text();
    QTextDocument document;
    document.setHtml(label.text());
    return document.toPlainText();
}

QString Shown(QString text)
{
    return text.remove(QLatin1Char('&'));
}

// Why a visible text does not fit its widget, or nothing.
QString Misfit(QWidget *widget)
{
    const QString name = widget->objectName().isEmpty()
            ? QString::fromLatin1(widget->metaObject()->className())
            : widget->objectName();
    auto report = [&](const QString &text, int needed, int room) {
        return QStringLiteral("%1 '%2' needs %3 px, has %4").arg(name, text).arg(needed).arg(room);
    };
    const QFontMetrics metrics = widget->fontMetrics();
    if (auto *elided = qobject_cast<CElidedLabel *>(widget)) {
        // Cut on purpose: the whole text must then be its tooltip.
        return elided->isElided() && elided->toolTip() != elided->text()
                ? QStringLiteral("%1 is cut without its text as tooltip").arg(name)
                : QString();
    }
    if (auto *label = qobject_cast<QLabel *>(widget)) {
        const QString text = PlainText(*label);
        if (text.isEmpty())
            return {};
        const QRect room = label->contentsRect().adjusted(label->margin(), label->margin(),
                                                          -label->margin(), -label->margin());
        if (label->wordWrap()) {
            const QRect needed = metrics.boundingRect(QRect(0, 0, room.width(), 100000),
                                                      Qt::TextWordWrap, text);
            if (needed.width() > room.width())
                return report(text, needed.width(), room.width());
            return needed.height() > room.height()
                    ? QStringLiteral("%1 '%2' needs %3 px high, has %4")
                              .arg(name, text)
                              .arg(needed.height())
                              .arg(room.height())
                    : QString();
        }
        int widest = 0;
        for (const QString &line : text.split(QLatin1Char('\n')))
            widest = qMax(widest, metrics.horizontalAdvance(line));
        return widest > room.width() ? report(text, widest, room.width()) : QString();
    }
    if (auto *mode = qobject_cast<CModeButton *>(widget)) {
        return mode->descriptionFits()
                ? QString()
                : QStringLiteral("%1's description '%2' is cut").arg(name, mode->description());
    }
    if (auto *tool = qobject_cast<QToolButton *>(widget)) {
        if (tool->text().isEmpty() || tool->toolButtonStyle() == Qt::ToolButtonIconOnly)
            return {};
        return tool->width() < tool->sizeHint().width()
                ? report(Shown(tool->text()), tool->sizeHint().width(), tool->width())
                : QString();
    }
    if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
        const QString text = Shown(button->text());
        if (text.isEmpty())
            return {};
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        option.icon = button->icon();
        option.iconSize = button->iconSize();
        const bool check = qobject_cast<QCheckBox *>(button) != nullptr;
        QRect contents = button->style()->subElementRect(check ? QStyle::SE_CheckBoxContents
                                                               : QStyle::SE_PushButtonContents,
                                                         &option, button);
        int room = contents.width();
        if (!button->icon().isNull())
            room -= button->iconSize().width() + 4;
        const int needed = metrics.horizontalAdvance(text);
        return needed > room ? report(text, needed, room) : QString();
    }
    if (auto *header = qobject_cast<QHeaderView *>(widget)) {
        QStringList cut;
        for (int section = 0; section < header->count(); ++section) {
            const QString text
                    = header->model()->headerData(section, header->orientation()).toString();
            const int needed = header->fontMetrics().horizontalAdvance(text);
            if (!header->isSectionHidden(section) && needed > header->sectionSize(section))
                cut << report(text, needed, header->sectionSize(section));
        }
        return cut.join(QStringLiteral("; "));
    }
    return {};
}

QStringList Misfits(QWidget *root)
{
    QStringList found;
    QList<QWidget *> widgets = root->findChildren<QWidget *>();
    widgets.prepend(root);
    for (QWidget *widget : widgets) {
        if (!widget->isVisible() || widget->window() != root->window())
            continue;
        if (const QString misfit = Misfit(widget); !misfit.isEmpty())
            found << misfit;
    }
    return found;
}

void Settle()
{
    // Layouts that depend on a width (wrapped texts, wrapped options) need
    // a round of events after each change of size.
    for (int round = 0; round < 4; ++round) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

// An engine whose search, or whose preview extraction, stops half-way until
// the test lets it go on, so that its window can be looked at.
class HeldEngine final : public FakeEngine
{
public:
    Gate held;
    Gate release;

    vexlo::ErrorCode FindFiles(std::string_view, std::vector<vexlo::FoundFileRecord> *) override
    {
        return holdWith([this] { return m_search(m_searchUser, 45, 0); });
    }
    vexlo::ErrorCode SetSearchCallback(vexlo::SearchProgressCallback callback, void *user) override
    {
        m_search = callback;
        m_searchUser = user;
        return 0;
    }
    vexlo::ErrorCode ExtractForPreview(const vexlo::FoundFileRecord &, std::string *, uint8_t *,
                                       uint32_t *byte_count,
                                       vexlo::PreviewProgressCallback callback, void *user) override
    {
        *byte_count = 0;
        return holdWith([&] { return callback(user, 45, 0); });
    }

private:
    template<typename Report> vexlo::ErrorCode holdWith(Report report)
    {
        const int32_t answer = report();
        held.open();
        release.wait();
        return answer;
    }

    vexlo::SearchProgressCallback m_search = nullptr;
    void *m_searchUser = nullptr;
};

} // namespace

// The card: deleted pictures, a song, a note, a damaged picture.
class LayoutTest : public QObject, private CardImageFixture
{
    Q_OBJECT

private:
    QString m_blankCard; // nothing deleted
    QString m_imageAnswer;
    std::vector<vexlo::PartitionRecord> m_disks;

    MainWndServices services()
    {
        return QuietServices(
                m_history.history, [this] { return m_imageAnswer; }, [] { return QString(); },
                [this] { return m_disks; });
    }

    static vexlo::PartitionRecord Card()
    {
        vexlo::PartitionRecord record;
        record.id = 1;
        record.disk_number = 2;
        record.partition_number = 1;
        record.length = 62333952;
        record.total_bytes = uint64_t{31914983424};
        record.used_bytes = uint64_t{12884901888};
        record.free_bytes = record.total_bytes - record.used_bytes;
        record.file_system = "exFAT";
        record.label = "HOLIDAY 2026 – ISLANDS AND MOUNTAINS";
        record.root_path = "/nonexistent/card";
        record.removable = true;
        return record;
    }

    void useLanguage(const QString &language) { m_catalogue->manager().SetLanguage(language); }

    static void shoot(QWidget *widget, const QString &name)
    {
        Settle();
        SaveScreenshot(widget, name);
    }

    // Scans `image` quickly from a fresh window: its results page.
    void scan(CMainWnd &window, const QString &image)
    {
        Child<QAbstractButton>(window, "BtnDeletedRecovery")->click();
        m_imageAnswer = image;
        Child<QAbstractButton>(window, "BtnLoadImage")->click();
        Child<QAbstractButton>(window, "BtnScan")->click();
        QCOMPARE(Child<QStackedWidget>(window, "TabPage")->currentIndex(), CMainWnd::kResultPage);
    }

    void checkFits(QWidget *root)
    {
        Settle();
        const QStringList misfits = Misfits(root);
        QVERIFY2(misfits.isEmpty(), qPrintable(misfits.join(QLatin1Char('\n'))));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("data")).toUtf8());
        m_catalogue = ShippedCatalogue();

        m_card = m_dir.filePath(QStringLiteral("card.img"));
        const std::filesystem::path card = m_card.toStdString();
        QCOMPARE(vexlo::testing::MakeFatImage(
                         card, {.fat_bits = 16, .size_kib = 16384, .sectors_per_cluster = 4}),
                 "");
        QCOMPARE(vexlo::testing::Mtools(card, "mmd", {"::/DCIM", "::/DCIM/100CANON"}), "");
        const struct
        {
            const char *path;
            QByteArray bytes;
        } files[] = {
                {"/DCIM/100CANON/IMG_0412.JPG", Scene(640, 427, 1)},
                {"/DCIM/100CANON/IMG_0413.JPG", Scene(640, 427, 2)},
                {"/DCIM/100CANON/IMG_0414.JPG", Scene(400, 600, 3)},
                {"/DCIM/100CANON/IMG_0415.JPG", Scene(640, 427, 4)},
                {"/DCIM/100CANON/IMG_0416.JPG", Scene(640, 360, 5)},
                // Its start survived, the rest was written over.
                {"/DCIM/100CANON/IMG_0417.JPG",
                 Scene(640, 427, 7).left(1500) + QByteArray(9000, 'x')},
                {"/Harbour panorama.png", Scene(900, 300, 6, "PNG")},
                {"/Evening song.mp3", QByteArray(7000, 's')},
                {"/Packing list.txt", QByteArray("passport, tickets, charger\n").repeated(20)},
        };
        std::vector<std::string> doomed;
        for (const auto &file : files) {
            QCOMPARE(vexlo::testing::FatWriteFile(card, file.path, Bytes(file.bytes)), "");
            doomed.push_back(std::string("::") + file.path);
        }
        QCOMPARE(vexlo::testing::Mtools(card, "mdel", doomed), "");

        m_blankCard = m_dir.filePath(QStringLiteral("blank.img"));
        QCOMPARE(vexlo::testing::MakeFatImage(
                         m_blankCard.toStdString(),
                         {.fat_bits = 16, .size_kib = 16384, .sectors_per_cluster = 4}),
                 "");
    }

    void init()
    {
        m_disks.clear();
        m_imageAnswer.clear();
    }

    // The check itself finds cut texts, so that a clean run means something.
    void misfitsAreFound_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("cut");
        for (const char *kind : {"label", "wrapped label", "button", "check box"}) {
            QTest::addRow("%s, narrow", kind) << kind << 60 << true;
            QTest::addRow("%s, wide", kind) << kind << 900 << false;
        }
    }

    void misfitsAreFound()
    {
        QFETCH(QString, kind);
        QFETCH(int, width);
        QFETCH(bool, cut);
        const QString text = QStringLiteral("Formatted recovery of a whole memory card");
        QWidget root;
        QWidget *widget = nullptr;
        if (kind == QLatin1String("button"))
            widget = new QPushButton(text, &root);
        else if (kind == QLatin1String("check box"))
            widget = new QCheckBox(text, &root);
        else {
            auto *label = new QLabel(text, &root);
            label->setWordWrap(kind == QLatin1String("wrapped label"));
            widget = label;
        }
        widget->setGeometry(0, 0, width, 24);
        root.resize(1000, 100);
        root.show();
        Settle();
        QCOMPARE(!Misfits(&root).isEmpty(), cut);
    }

    void pages_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("page");
        for (const char *language : {"English", "Deutsch"}) {
            for (const char *page :
                 {"1-mode", "2-source-empty", "2-source", "2-source-image-mode", "3-file-types",
                  "4-results-thumbnails", "4-results-list", "4-results-empty"}) {
                QTest::addRow("%s %s", page, language) << language << page;
            }
        }
    }

    void pages()
    {
        QFETCH(QString, language);
        QFETCH(QString, page);
        useLanguage(language);
        if (page == QLatin1String("2-source"))
            m_disks = {Card()};
        CMainWnd window(services());
        window.resize(kSmallest);
        window.show();
        Settle();
        QCOMPARE(window.size(), kSmallest);

        if (page.startsWith(QLatin1String("2-")) || page == QLatin1String("3-file-types")) {
            Child<QAbstractButton>(window,
                                   page.endsWith(QLatin1String("image-mode")) ? "BtnCreateImageMode"
                                                                              : "BtnDeepRecovery")
                    ->click();
        }
        if (page == QLatin1String("2-source")) {
            m_imageAnswer = m_card;
            Child<QAbstractButton>(window, "BtnLoadImage")->click();
        }
        if (page == QLatin1String("3-file-types"))
            Child<QAbstractButton>(window, "TabFileType")->click();
        if (page.startsWith(QLatin1String("4-")))
            scan(window, page.endsWith(QLatin1String("empty")) ? m_blankCard : m_card);
        if (page == QLatin1String("4-results-list"))
            Child<QAbstractButton>(window, "BtnListView")->click();
        if (page == QLatin1String("4-results-thumbnails")) {
            auto *view = Child<QListView>(window, "ThumbnailView");
            QVERIFY(view->isVisible());
            CThumbnailModel *thumbnails = window.thumbnailModel();
            QTRY_VERIFY(thumbnails->hasThumbnail(0) && thumbnails->hasThumbnail(1));
        }
        checkFits(&window);

        if (page == QLatin1String("1-mode")) {
            const char *const descriptions[][2] = {{"BtnDeletedRecovery", "MSG0101"},
                                                   {"BtnFormattedRecovery", "MSG0102"},
                                                   {"BtnDeepRecovery", "MSG0103"},
                                                   {"BtnCreateImageMode", "MSG0104"}};
            for (const auto &[button, key] : descriptions) {
                auto *mode = Child<CModeButton>(window, button);
                QCOMPARE(mode->description(), MessageText(key));
                QVERIFY(!mode->description().isEmpty());
                QVERIFY2(mode->isVisible() && mode->descriptionFits(), button);
            }
        }
        if (page == QLatin1String("3-file-types")) {
            auto *scroll = Child<QScrollArea>(window, "FileTypeScroll");
            QVERIFY(!scroll->horizontalScrollBar()->isVisible());
            QVERIFY(scroll->widget()->width() <= scroll->viewport()->width());
        }
        if (page.startsWith(QLatin1String("2-source-"))) {
            QCOMPARE(Child<QStackedWidget>(window, "DiskListStack")->currentWidget()->objectName(),
                     QStringLiteral("DiskListPlaceholder"));
        }
        shoot(&window, QStringLiteral("page-%1-%2").arg(page, language));
    }

    // The mode page is filled, not left half empty, on a small and on a
    // large screen.
    void modePageFillsTheWindow_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::newRow("smallest") << kSmallest;
        QTest::newRow("full HD") << QSize(1920, 1080);
    }

    void modePageFillsTheWindow()
    {
        QFETCH(QSize, size);
        useLanguage(QStringLiteral("English"));
        CMainWnd window(services());
        window.resize(size);
        window.show();
        Settle();
        auto *page = Child<QWidget>(window, "ModePage");
        QRect content;
        for (const char *name : {"TxtMainInfo", "BtnDeletedRecovery", "BtnFormattedRecovery",
                                 "BtnDeepRecovery", "BtnCreateImageMode", "CategoryBar"}) {
            QWidget *part = Child<QWidget>(window, name);
            content |= QRect(part->mapTo(page, QPoint(0, 0)), part->size());
        }
        constexpr int kMargin = 40;
        QVERIFY2(content.top() <= kMargin && page->height() - content.bottom() <= kMargin
                         && content.left() <= kMargin && page->width() - content.right() <= kMargin,
                 qPrintable(QStringLiteral("content %1,%2 %3x%4 in %5x%6")
                                    .arg(content.x())
                                    .arg(content.y())
                                    .arg(content.width())
                                    .arg(content.height())
                                    .arg(page->width())
                                    .arg(page->height())));
        shoot(&window, QStringLiteral("page-1-mode-%1x%2").arg(size.width()).arg(size.height()));
    }

    void popups_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("popup");
        for (const char *language : {"English", "Deutsch"}) {
            for (const char *popup :
                 {"message-information", "message-stop-scan", "message-recover-anyway", "scan",
                  "search", "recovery", "preview", "create-image", "like-it"}) {
                QTest::addRow("%s %s", popup, language) << language << popup;
            }
        }
    }

    void popups()
    {
        QFETCH(QString, language);
        QFETCH(QString, popup);
        useLanguage(language);
        CMainWnd owner(services());
        owner.resize(kSmallest);
        const QString shot = QStringLiteral("popup-%1-%2").arg(popup, language);
        auto look = [&](QDialog &dialog) {
            dialog.open();
            checkFits(&dialog);
            shoot(&dialog, shot);
        };
        // A progress window is looked at with its worker held half-way, once
        // `shown` tells its figures are on screen; then the worker finishes.
        auto lookHalfWay = [&](CProgressWnd &window, Gate &held, Gate &release, const auto &shown) {
            held.wait();
            QTRY_VERIFY(shown());
            look(window);
            release.open();
            QTRY_VERIFY(window.isDone());
        };

        if (popup.startsWith(QLatin1String("message-"))) {
            const int kind = popup == QLatin1String("message-information")
                    ? CMessageBox::Information
                    : popup == QLatin1String("message-stop-scan") ? CMessageBox::Question
                                                                  : CMessageBox::Confirmation;
            const char *const keys[][3] = {{"MSG0505", "", ""},
                                           {"MSG0709", "MSG0710", "MSG0711"},
                                           {"MSG0805", "MSG0806", "MSG0813"}};
            const auto &key = keys[kind == CMessageBox::Information        ? 0
                                           : kind == CMessageBox::Question ? 1
                                                                           : 2];
            CMessageBox box(kind, &owner, MessageText(key[0]),
                            {MessageText(key[1]), MessageText(key[2])});
            look(box);
            if (kind != CMessageBox::Information) {
                QCOMPARE(Child<QPushButton>(box, "okbtn")->text(), MessageText(key[1]));
                QCOMPARE(Child<QPushButton>(box, "cancelbtn")->text(), MessageText(key[2]));
            }
            // The text stands beside the icon, not far from it.
            auto *icon = Child<QLabel>(box, "icon");
            auto *message = Child<QLabel>(box, "message");
            QVERIFY(message->x() - (icon->x() + icon->width()) <= 20);
            box.done(2);
            return;
        }
        if (popup == QLatin1String("like-it")) {
            CLikeItWnd window(&owner);
            look(window);
            window.done(1);
            return;
        }
        if (popup == QLatin1String("scan")) {
            SourceEntry entry;
            entry.id = 1;
            ScanServices scanServices;
            FakeEngine *engine = nullptr;
            scanServices.createEngine = [&engine](const SourceEntry &, int) {
                auto made = std::make_unique<FakeEngine>();
                made->steps = {{47, 754, 29360128, 62333952, 1288}, {100}};
                made->pauseBefore = 1;
                engine = made.get();
                return std::unique_ptr<vexlo::IFileRecoveryParse>(std::move(made));
            };
            CScanProcessWnd window(&owner, {&entry}, 0, scanServices);
            window.open();
            QTRY_VERIFY(engine != nullptr);
            lookHalfWay(window, engine->paused, engine->resume,
                        [&] { return !Child<QLabel>(window, "totalfile")->isHidden(); });
            return;
        }
        if (popup == QLatin1String("search")) {
            SourceEntry entry;
            entry.id = 1;
            auto engine = std::make_unique<HeldEngine>();
            HeldEngine *held = engine.get();
            entry.engine = std::move(engine);
            std::vector<vexlo::FoundFileRecord> found;
            CSearchProcessWnd window(&owner, {&entry}, "*.jpg", &found);
            window.open();
            lookHalfWay(window, held->held, held->release,
                        [&] { return !Child<QLabel>(window, "percent")->text().isEmpty(); });
            return;
        }
        if (popup == QLatin1String("preview")) {
            HeldEngine engine;
            vexlo::FoundFileRecord record = vexlo::EmptyRecord();
            record.SetName("IMG_0412 – Sunset over the harbour of the old town.JPG");
            record.size = 4 << 20;
            PreviewHolder holder;
            CPreviewProcessWnd window(&owner, &engine, record, &holder);
            window.open();
            lookHalfWay(window, engine.held, engine.release,
                        [&] { return !Child<QLabel>(window, "percent")->text().isEmpty(); });
            return;
        }
        if (popup == QLatin1String("recovery")) {
            Gate held;
            Gate release;
            auto job = [&](vexlo::RecoveryProgressCallback callback, void *user) -> int32_t {
                callback(user, 100, 100, 0, "IMG_0412.JPG", 0);
                callback(user, 100, 100, 0, "IMG_0413.JPG", 40960);
                callback(user, 100, 100, 0, "Harbour panorama.png", 0);
                callback(user, 100, 100, 30, "IMG_0417.JPG", 0);
                callback(user, 40, 100, 0, "Evening song.mp3", 0);
                held.open();
                release.wait();
                return 0;
            };
            CRecoverProcessWnd window(&owner, job, m_dir.filePath(QStringLiteral("out")), 9);
            window.open();
            held.wait();
            QTRY_VERIFY(!Child<QLabel>(window, "recovered")->text().isEmpty());
            Child<QAbstractButton>(window, "DetailBtn")->click();
            look(window);
            release.open();
            QTRY_VERIFY(window.isDone());
            window.done(1);
            return;
        }
        if (popup == QLatin1String("create-image")) {
            QTemporaryDir treeDir;
            vexlo::testing::FakeDiskTree tree(treeDir.path().toStdString());
            tree.AddDisk("sdb", 8, 16, 4096, true);
            Gate held;
            Gate release;
            std::atomic<int> readings{0};
            vexlo::ImageCopyJob job;
            job.roots = tree.roots();
            // The copy's clock: held at its third reading, ten seconds on.
            job.clock_ms = [&]() -> uint64_t {
                if (++readings == 3) {
                    held.open();
                    release.wait();
                }
                return readings >= 3 ? 10000 : 0;
            };
            // A copy of an earlier language's look would be continued from
            // its map, finished before the clock is read.
            const QString image
                    = m_dir.filePath(QStringLiteral("Holiday card (exFAT, 29.72 GB).img"));
            QFile::remove(image);
            QFile::remove(image + QStringLiteral(".map"));
            CCreateImageProcessWnd window(&owner, image, {0, true, 0, 0}, job);
            window.open();
            lookHalfWay(window, held, release, [] { return true; });
            return;
        }
        QFAIL(qPrintable(QStringLiteral("no pop-up %1").arg(popup)));
    }
};

QTEST_MAIN(LayoutTest)
#include "layout_test.moc"
