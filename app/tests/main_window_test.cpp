// The main window end to end: mode, source, scan, search, results and
// recovery on FAT images made at test time, and the rules of its pages.
#include <QAbstractButton>
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QDir>
#include <QDirIterator>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>
#include <QTreeView>

#include <map>
#include <memory>
#include <set>

#include "device_watch.h"
#include "disk_list_model.h"
#include "like_it_wnd.h"
#include "main_wnd.h"
#include "message_box.h"
#include "pagination_ui.h"
#include "platform/filetime.h"
#include "scan_services.h"
#include "size_text.h"
#include "source_entry.h"
#include "test_support.h"
#include "tests/support/disk_image.h"
#include "tests/support/exfat_image.h"
#include "tests/support/fat_image.h"

using vexlo::PartitionRecord;

namespace {

// Noisy pictures, so that they span several clusters and cannot be mistaken
// for one another.
QByteArray PictureBytes(const char *format, int width, int height, quint32 seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, random.generate() | 0xFF000000u);
    QPainter(&image).fillRect(QRect(8, 8, width / 2, height / 3), Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

std::vector<uint8_t> Bytes(const QByteArray &data)
{
    return {data.begin(), data.end()};
}

// A removable card that is only described, never read.
PartitionRecord Partition(uint16_t id, int32_t disk, const char *label)
{
    PartitionRecord record;
    record.id = id;
    record.disk_number = disk;
    record.partition_number = id;
    record.start = 2048u * id;
    record.length = 2048;
    record.total_bytes = 1u << 20;
    record.used_bytes = 1u << 19;
    record.free_bytes = 1u << 19;
    record.file_system = "FAT32";
    record.label = label;
    record.root_path = "/nonexistent/card";
    record.disk_path = "/nonexistent/disk";
    record.disk_model = "SanDisk Ultra";
    record.disk_bytes = 1u << 24;
    record.removable = true;
    return record;
}

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private:
    struct Box
    {
        int kind;
        QString text;
    };

    QTemporaryDir m_dir;
    std::unique_ptr<vexlo::ScanHistory> m_history;
    std::unique_ptr<TestCatalogue> m_catalogue;
    QString m_image;
    QString m_exFatImage; // the same card as exFAT, as SDXC cards come
    std::map<QString, QByteArray> m_deleted; // name -> bytes of the deleted files
    // What the injected dialogs and boxes see and answer.
    QString m_imageAnswer;
    QStringList m_folderAnswers; // one per folder dialog, then cancelled
    std::vector<PartitionRecord> m_disks;
    std::vector<Box> m_boxes;
    int m_confirmAnswer = 1;
    QList<int> m_confirmAnswers; // one per confirmation, then m_confirmAnswer
    int m_enginesMade = 0;
    int m_files = 1;
    // When not empty, what the fake engines find instead of m_files pictures.
    std::vector<vexlo::FoundFileRecord> m_records;

    // With fake engines every partition "finds" m_files pictures.
    MainWndServices services(bool fakeEngines = false)
    {
        MainWndServices services = QuietServices(
                *m_history, [this] { return m_imageAnswer; },
                [this] {
                    return m_folderAnswers.isEmpty() ? QString() : m_folderAnswers.takeFirst();
                },
                [this] { return m_disks; });
        if (fakeEngines) {
            // Files are named after their partition's identifier.
            services.scan.createEngine = [this](const SourceEntry &source, int) {
                ++m_enginesMade;
                auto engine = std::make_unique<FakeEngine>();
                const std::string part = "part" + std::to_string(source.id);
                for (vexlo::FoundFileRecord record : m_records) {
                    record.source_id = source.id;
                    engine->searchResults.push_back(record);
                }
                for (int i = 0; m_records.empty() && i < m_files; ++i) {
                    vexlo::FoundFileRecord record = vexlo::EmptyRecord();
                    record.SetName(m_files == 1 ? part + ".jpg"
                                                : part + "-" + std::to_string(i) + ".jpg");
                    record.size = 100 + uint64_t(i);
                    record.source_id = source.id;
                    record.record_number = uint32_t(i + 1);
                    engine->searchResults.push_back(record);
                }
                return std::unique_ptr<vexlo::IFileRecoveryParse>(std::move(engine));
            };
        }
        return services;
    }

    template<typename T> static T *child(const QWidget &window, const char *name)
    {
        return Child<T>(window, name);
    }

    static void click(const QWidget &window, const char *name)
    {
        child<QAbstractButton>(window, name)->click();
    }

    static int page(const QWidget &window)
    {
        return child<QStackedWidget>(window, "TabPage")->currentIndex();
    }

    static QModelIndex findNode(const QAbstractItemModel *model, const QString &prefix,
                                const QModelIndex &parent = {})
    {
        for (int row = 0; row < model->rowCount(parent); ++row) {
            const QModelIndex index = model->index(row, 0, parent);
            if (index.data().toString().startsWith(prefix))
                return index;
            if (const QModelIndex inner = findNode(model, prefix, index); inner.isValid())
                return inner;
        }
        return {};
    }

    // Hashes of every file below `folder`.
    static std::set<QByteArray> ContentsBelow(const QString &folder)
    {
        std::set<QByteArray> contents;
        QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (file.open(QIODevice::ReadOnly))
                contents.insert(file.readAll());
        }
        return contents;
    }

    bool boxShown(const QString &text) const
    {
        return std::any_of(m_boxes.begin(), m_boxes.end(),
                           [&](const Box &box) { return box.text == text; });
    }

    // The disk of Partition(), named in the current language.
    QString diskName() const
    {
        return MessageText("MSG0202") + QStringLiteral(" — SanDisk Ultra (/nonexistent/disk), ")
                + SizeText(1u << 24);
    }

    // Checks the type node whose text starts with `prefix`: its box, or the
    // first row of its list.
    void checkType(CMainWnd &window, const QString &prefix, bool wholeType)
    {
        auto *tree = child<QTreeView>(window, "TypeTree");
        const QModelIndex node = findNode(tree->model(), prefix);
        QVERIFY2(node.isValid(), qPrintable(prefix));
        tree->setCurrentIndex(node);
        QAbstractItemModel *list = child<QTreeView>(window, "FileList")->model();
        QVERIFY(list->rowCount() > 0);
        if (wholeType)
            QVERIFY(tree->model()->setData(node, Qt::Checked, Qt::CheckStateRole));
        else
            QVERIFY(list->setData(list->index(0, 0), Qt::Checked, Qt::CheckStateRole));
        QCOMPARE(child<QCheckBox>(window, "ChkAllListSel")->checkState(),
                 wholeType || list->rowCount() == 1 ? Qt::Checked : Qt::PartiallyChecked);
    }

    // Mode, then `image` loaded on the source page.
    void loadImage(CMainWnd &window, const char *modeButton, const QString &image)
    {
        click(window, modeButton);
        QCOMPARE(page(window), CMainWnd::kSourcePage);
        m_imageAnswer = image;
        click(window, "BtnLoadImage");
    }

    // Mode, image, scan, search: the results page of `image`.
    void scanImage(CMainWnd &window, const char *modeButton, const QString &image)
    {
        loadImage(window, modeButton, image);
        QVERIFY(child<QLabel>(window, "Label1")->text().endsWith(image));
        click(window, "BtnScan"); // returns once scan and search windows closed
        QCOMPARE(page(window), CMainWnd::kResultPage);
        QVERIFY(child<QAbstractButton>(window, "TabRecover")->isEnabled());
    }

    // Mode, then a scan of the preselected card: the results page.
    void scanCard(CMainWnd &window, const char *modeButton)
    {
        click(window, modeButton);
        click(window, "BtnScan");
        QCOMPARE(page(window), CMainWnd::kResultPage);
    }

    // Recovers into a fresh folder, clicking the recovery window's Finish;
    // `more` are the answers of the folder dialogs asked after it.
    QString recover(CMainWnd &window, const char *folderName, const QStringList &more = {})
    {
        const QString folder = m_dir.filePath(QLatin1String(folderName));
        QDir().mkpath(folder);
        m_folderAnswers = QStringList{folder + QLatin1Char('/')} + more;
        QTimer finisher;
        connect(&finisher, &QTimer::timeout, [] {
            for (QWidget *top : QApplication::topLevelWidgets()) {
                auto *finish = top->findChild<QAbstractButton *>(QStringLiteral("FinishBtn"));
                if (finish != nullptr && finish->isVisible())
                    finish->click();
            }
        });
        finisher.start(10);
        click(window, "BtnRecover");
        return folder;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("data")).toUtf8());
        m_history = std::make_unique<vexlo::ScanHistory>(
                m_dir.filePath(QStringLiteral("ScanLog")).toStdString());
        m_catalogue = ShippedCatalogue();

        // A card with two deleted pictures and one that still exists.
        m_image = m_dir.filePath(QStringLiteral("card.img"));
        const std::filesystem::path image = m_image.toStdString();
        QCOMPARE(vexlo::testing::MakeFatImage(image, {16, 16384, 4, 512, 0}), std::string());
        m_deleted[QStringLiteral("photo.jpg")] = PictureBytes("JPG", 200, 150, 1);
        m_deleted[QStringLiteral("chart.png")] = PictureBytes("PNG", 90, 60, 2);
        for (const auto &[name, bytes] : m_deleted)
            QCOMPARE(vexlo::testing::FatWriteFile(image, "/" + name.toStdString(), Bytes(bytes)),
                     std::string());
        QCOMPARE(vexlo::testing::FatWriteFile(image, "/keep.jpg",
                                              Bytes(PictureBytes("JPG", 40, 30, 3))),
                 std::string());
        for (const auto &[name, bytes] : m_deleted)
            QCOMPARE(vexlo::testing::Mtools(image, "mdel", {"::/" + name.toStdString()}),
                     std::string());

        m_exFatImage = m_dir.filePath(QStringLiteral("sdxc.img"));
        vexlo::testing::ExFatImage exFat;
        QCOMPARE(exFat.Format(m_exFatImage.toStdString(), 16, 4096), std::string());
        std::vector<vexlo::testing::ExFatItem> toDelete;
        for (const auto &[name, bytes] : m_deleted) {
            toDelete.push_back(exFat.AddFile(exFat.root(), name.toStdU16String(), Bytes(bytes),
                                             vexlo::testing::ExFatLayout::kContiguous, {}));
        }
        (void)exFat.AddFile(exFat.root(), u"keep.jpg", Bytes(PictureBytes("JPG", 40, 30, 3)),
                            vexlo::testing::ExFatLayout::kContiguous, {});
        for (const vexlo::testing::ExFatItem &item : toDelete)
            exFat.Delete(item);
        QCOMPARE(exFat.Save(), std::string());

        CMessageBox::SetAnswererForTesting([this](int kind, const QString &text) {
            m_boxes.push_back({kind, text});
            if (kind != CMessageBox::Confirmation)
                return 2;
            return m_confirmAnswers.isEmpty() ? m_confirmAnswer : m_confirmAnswers.takeFirst();
        });
    }

    void cleanupTestCase() { CMessageBox::SetAnswererForTesting(nullptr); }

    void init()
    {
        m_boxes.clear();
        m_disks.clear();
        m_confirmAnswer = 1;
        m_confirmAnswers.clear();
        m_enginesMade = 0;
        m_files = 1;
        m_records.clear();
        m_catalogue->manager().SetLanguage(QStringLiteral("English"));
    }

    void recoversCheckedFiles_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("shotPrefix");
        // Deep scans may find a picture twice (from its folder entry and by
        // its signature); whole types are checked there.
        QTest::addColumn<bool>("wholeTypes");
        QTest::addColumn<bool>("exFat");
        QTest::newRow("deleted files") << "BtnDeletedRecovery"
                                       << "quick" << false << false;
        QTest::newRow("deep") << "BtnDeepRecovery"
                              << "deep" << true << false;
        QTest::newRow("exFAT deleted files") << "BtnDeletedRecovery"
                                             << "exfat-quick" << false << true;
        QTest::newRow("exFAT deep") << "BtnDeepRecovery"
                                    << "exfat-deep" << true << true;
    }

    void recoversCheckedFiles()
    {
        QFETCH(QString, mode);
        QFETCH(QString, shotPrefix);
        QFETCH(bool, wholeTypes);
        QFETCH(bool, exFat);
        CMainWnd window(services());
        window.resize(1000, 650);
        window.show();
        scanImage(window, qPrintable(mode), exFat ? m_exFatImage : m_image);

        // The deleted pictures are found, grouped under the photo category;
        // the existing one is not listed by the quick scan.
        auto *tree = child<QTreeView>(window, "TypeTree");
        const QModelIndex photos = findNode(tree->model(), MessageText("MSG0807"));
        QVERIFY(photos.isValid());
        QVERIFY(findNode(tree->model(), QStringLiteral("JPG"), photos).isValid());
        QVERIFY(findNode(tree->model(), QStringLiteral("PNG"), photos).isValid());
        QVERIFY(child<QLabel>(window, "Txt2")
                        ->text()
                        .contains(QString::number(window.foundRecords().size())));
        QVERIFY(!child<QAbstractButton>(window, "BtnRecover")->isEnabled());
        QCOMPARE(child<QLabel>(window, "SelectedFileInfo")->text(), MessageText("MSG0803"));

        // The first file of the first type is selected and previewed.
        auto *preview = child<QTextEdit>(window, "PreviewEdit");
        QVERIFY(!preview->document()->isEmpty());
        QCoreApplication::processEvents();
        SaveScreenshot(&window, QStringLiteral("road-results-%1").arg(shotPrefix));

        checkType(window, QStringLiteral("JPG"), wholeTypes);
        checkType(window, QStringLiteral("PNG"), wholeTypes);
        if (wholeTypes)
            QVERIFY(window.checkedRecords().Count() >= 2);
        else
            QCOMPARE(window.checkedRecords().Count(), std::size_t{2});
        QVERIFY(child<QAbstractButton>(window, "BtnRecover")->isEnabled());

        const QString folder = recover(window, qPrintable(shotPrefix + QStringLiteral("-out")));
        QCOMPARE(window.destinationPath(), folder); // one trailing "/" removed
        // The folder is on the image's file system: the user was asked.
        QVERIFY(boxShown(MessageText("MSG0805")));
        const std::set<QByteArray> recovered = ContentsBelow(folder);
        for (const auto &[name, bytes] : m_deleted)
            QVERIFY2(recovered.count(bytes) == 1, qPrintable(name));
    }

    // An image of a whole card holds its partition table: the image is a
    // node with its partitions, as a card's disk is, and scanning the node
    // or a partition finds and recovers the card's files.
    void wholeCardImageListsItsPartitions_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<bool>("partitionSelected");
        QTest::newRow("mbr, the image selected")
                << "label: dos\nstart=2048, size=32768, type=6" << false;
        QTest::newRow("gpt, its partition selected")
                << "label: gpt\nstart=2048, size=32768" << true;
    }

    void wholeCardImageListsItsPartitions()
    {
        QFETCH(QString, table);
        QFETCH(bool, partitionSelected);
        const QString card = m_dir.filePath(QStringLiteral("whole-card.img"));
        QCOMPARE(vexlo::testing::MakeDiskImage(card.toStdString(), 24, table.toStdString()),
                 std::string());
        QCOMPARE(vexlo::testing::PlaceVolume(card.toStdString(), m_image.toStdString(), 2048),
                 std::string());
        CMainWnd window(services());
        window.resize(1000, 650);
        window.show();
        loadImage(window, "BtnDeletedRecovery", card);

        auto *disks = child<QTreeView>(window, "DiskList");
        const QModelIndex node = findNode(disks->model(), QStringLiteral("whole-card.img"));
        QVERIFY(node.isValid());
        QCOMPARE(disks->model()->rowCount(node), 1);
        const QModelIndex partition = disks->model()->index(0, 0, node);
        QCOMPARE(partition.data().toString(), QStringLiteral("whole-card.img:1"));
        QCOMPARE(partition.siblingAtColumn(1).data().toString(), QStringLiteral("FAT"));
        QCOMPARE(disks->currentIndex(), node);
        QVERIFY(disks->isExpanded(node));
        if (partitionSelected)
            disks->setCurrentIndex(partition);
        QVERIFY(child<QLabel>(window, "Label1")
                        ->text()
                        .endsWith(partitionSelected ? card + QStringLiteral(":1") : card));
        SaveScreenshot(&window, QStringLiteral("whole-card-image"));

        click(window, "BtnScan");
        QCOMPARE(page(window), CMainWnd::kResultPage);
        for (const vexlo::FoundFileRecord &record : window.foundRecords())
            QCOMPARE(uint16_t{record.source_id}, CDiskListModel::kFirstImageId);
        checkType(window, QStringLiteral("JPG"), false);
        checkType(window, QStringLiteral("PNG"), false);
        const std::set<QByteArray> recovered
                = ContentsBelow(recover(window, partitionSelected ? "gpt-out" : "mbr-out"));
        for (const auto &[name, bytes] : m_deleted)
            QVERIFY2(recovered.count(bytes) == 1, qPrintable(name));
    }

    // A look at a real card image (VEXLO_SAMPLE_CARD): the quick road
    // recovers every file it lists.
    void sampleCard()
    {
        const QString card = qEnvironmentVariable("VEXLO_SAMPLE_CARD");
        if (card.isEmpty())
            QSKIP("VEXLO_SAMPLE_CARD is not set");
        CMainWnd window(services());
        window.resize(1000, 650);
        window.show();
        loadImage(window, "BtnDeletedRecovery", card);
        click(window, "BtnScan");
        QCOMPARE(page(window), CMainWnd::kResultPage);
        QVERIFY(!window.foundRecords().empty());
        SaveScreenshot(&window, QStringLiteral("road-sample-card"));
        auto *tree = child<QTreeView>(window, "TypeTree");
        for (int row = 0; row < tree->model()->rowCount(); ++row)
            tree->model()->setData(tree->model()->index(row, 0), Qt::Checked, Qt::CheckStateRole);
        const std::size_t files = window.checkedRecords().Count();
        QVERIFY(files > 0);
        const QString folder = recover(window, "sample-out");
        QDirIterator it(folder, QDir::Files, QDirIterator::Subdirectories);
        std::size_t written = 0;
        while (it.hasNext()) {
            it.next();
            ++written;
        }
        qInfo("sample card: %zu records found, %zu checked, %zu files written",
              window.foundRecords().size(), files, written);
        QVERIFY(written > 0);
    }

    // A folder on the card being recovered is refused in favour of another
    // one, or, once the dialog is cancelled, of none.
    void anotherFolderAfterRefusingTheCard_data()
    {
        QTest::addColumn<bool>("anotherChosen");
        QTest::newRow("another folder") << true;
        QTest::newRow("dialog cancelled") << false;
    }

    void anotherFolderAfterRefusingTheCard()
    {
        QFETCH(bool, anotherChosen);
        CMainWnd window(services());
        window.show();
        scanImage(window, "BtnDeletedRecovery", m_image);
        checkType(window, QStringLiteral("JPG"), false);
        // The first folder is refused; the second, on the card too, is
        // taken anyway.
        m_confirmAnswers = {2, 1};
        const QString other = m_dir.filePath(anotherChosen ? QStringLiteral("other-out")
                                                           : QStringLiteral("never"));
        QDir().mkpath(other);
        const QString refused = recover(window, "declined-out",
                                        anotherChosen ? QStringList{other} : QStringList{});
        QCOMPARE(std::count_if(
                         m_boxes.begin(), m_boxes.end(),
                         [this](const Box &box) { return box.text == MessageText("MSG0805"); }),
                 anotherChosen ? 2 : 1);
        QVERIFY(ContentsBelow(refused).empty());
        QCOMPARE(ContentsBelow(other).size(), std::size_t(anotherChosen ? 1 : 0));
        QCOMPARE(window.destinationPath(), anotherChosen ? other : QString());
    }

    // Scanning a disk searches every partition of it, not only the first.
    void diskScanShowsEveryPartition()
    {
        m_disks = {Partition(1, 4, "A"), Partition(2, 4, "B")};
        CMainWnd window(services(true));
        window.show();
        click(window, "BtnFormattedRecovery");
        auto *disks = child<QTreeView>(window, "DiskList");
        // The first partition of the removable disk is preselected.
        QCOMPARE(disks->currentIndex(), disks->model()->index(0, 0, disks->model()->index(0, 0)));
        disks->setCurrentIndex(disks->model()->index(0, 0));
        click(window, "BtnScan");
        QCOMPARE(m_enginesMade, 2);
        std::set<std::string> names;
        for (const vexlo::FoundFileRecord &record : window.foundRecords())
            names.insert(std::string(record.Name()));
        QCOMPARE(names, (std::set<std::string>{"part1.jpg", "part2.jpg"}));
    }

    void imageGroupFollowsMode()
    {
        CMainWnd window(services());
        window.show();
        loadImage(window, "BtnDeletedRecovery", m_image);
        auto *disks = child<QTreeView>(window, "DiskList");
        const int groupRow = disks->model()->rowCount() - 1;
        const struct
        {
            const char *mode;
            bool hidden;
        } steps[] = {{"BtnCreateImageMode", true},
                     {"BtnFormattedRecovery", false},
                     {"BtnCreateImageMode", true},
                     {"BtnDeletedRecovery", false}};
        for (const auto &step : steps) {
            click(window, "BtnPrev");
            QCOMPARE(page(window), CMainWnd::kModePage);
            click(window, step.mode);
            QCOMPARE(disks->isRowHidden(groupRow, {}), step.hidden);
            // An image never stays selected where it cannot be seen.
            if (step.hidden)
                QVERIFY(!disks->currentIndex().isValid());
        }
    }

    void doubleClick_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("onDisk");
        QTest::addColumn<bool>("collapses");
        QTest::addColumn<int>("scans");
        QTest::newRow("disk node, recovery") << "BtnDeletedRecovery" << true << true << 0;
        QTest::newRow("disk node, image") << "BtnCreateImageMode" << true << true << 0;
        QTest::newRow("partition, recovery") << "BtnDeletedRecovery" << false << false << 1;
        QTest::newRow("partition, image") << "BtnCreateImageMode" << false << false << 0;
    }

    void doubleClick()
    {
        QFETCH(QString, mode);
        QFETCH(bool, onDisk);
        QFETCH(bool, collapses);
        QFETCH(int, scans);
        m_disks = {Partition(1, 3, "CARD")};
        CMainWnd window(services(true));
        window.resize(1000, 650);
        window.show();
        click(window, qPrintable(mode));
        auto *disks = child<QTreeView>(window, "DiskList");
        const QModelIndex disk = disks->model()->index(0, 0);
        const QModelIndex target = onDisk ? disk : disks->model()->index(0, 0, disk);
        QVERIFY(disks->isExpanded(disk));
        // A disk node toggles back and forth; a partition acts once.
        for (int round = 0; round < (collapses ? 2 : 1); ++round) {
            const QPoint at = disks->visualRect(target).center();
            // A real double click begins with a click.
            QTest::mouseClick(disks->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(disks->viewport(), Qt::LeftButton, {}, at);
            QCOMPARE(disks->isExpanded(disk), !collapses || round == 1);
        }
        QCOMPARE(m_enginesMade, scans);
        QCOMPARE(page(window), scans > 0 ? CMainWnd::kResultPage : CMainWnd::kSourcePage);
        QVERIFY(m_boxes.empty());
    }

    // Cards come and go: an arrival is listed and selected, a removal
    // drops the card and its facts.
    void devicesComeAndGo()
    {
        CMainWnd window(services());
        window.show();
        click(window, "BtnDeletedRecovery");
        auto *watch = window.findChild<CDeviceWatch *>();
        QVERIFY(watch != nullptr);
        watch->setSettleInterval(0);
        auto *disks = child<QTreeView>(window, "DiskList");
        QCOMPARE(disks->model()->rowCount(), 0);

        m_disks = {Partition(1, 2, "NEW")};
        watch->notifyArrival();
        QTRY_COMPARE(disks->model()->rowCount(), 1);
        QCOMPARE(disks->currentIndex(), disks->model()->index(0, 0, disks->model()->index(0, 0)));
        QCOMPARE(child<QLabel>(window, "Label2")->text(),
                 MessageText("MSG0204") + QStringLiteral(" NEW"));
        QVERIFY(child<QAbstractButton>(window, "BtnScan")->isEnabled());

        m_disks.clear();
        watch->notifyRemoval();
        QTRY_COMPARE(disks->model()->rowCount(), 0);
        QVERIFY(child<QLabel>(window, "Label2")->text().isEmpty());
        QVERIFY(!child<QAbstractButton>(window, "BtnScan")->isEnabled());
    }

    // While a scan runs, an arrival does not move the selection and a
    // removal waits: the worker is using the departed card's engine.
    void devicesWaitForTheScan()
    {
        m_disks = {Partition(1, 2, "OLD")};
        FakeEngine *engine = nullptr;
        MainWndServices paused = services();
        paused.scan.createEngine = [&engine](const SourceEntry &, int) {
            auto made = std::make_unique<FakeEngine>();
            made->steps = {ScanStep{50}};
            made->pauseBefore = 0;
            engine = made.get();
            return std::unique_ptr<vexlo::IFileRecoveryParse>(std::move(made));
        };
        CMainWnd window(paused);
        window.show();
        click(window, "BtnDeletedRecovery");
        auto *watch = window.findChild<CDeviceWatch *>();
        watch->setSettleInterval(0);
        auto *disks = child<QTreeView>(window, "DiskList");
        const QPersistentModelIndex scanned = disks->currentIndex();
        QVERIFY(scanned.isValid());

        int ticks = 0;
        bool selectionKept = false;
        bool cardKept = false;
        QTimer driver;
        connect(&driver, &QTimer::timeout, [&] {
            if (engine == nullptr || ticks < 0)
                return;
            if (ticks++ == 0) {
                m_disks = {Partition(2, 3, "NEW")};
                watch->notifyArrival();
                watch->notifyRemoval();
            } else if (ticks == 3) {
                selectionKept = disks->currentIndex() == scanned;
                cardKept = disks->model()->rowCount() == 2;
                ticks = -1;
                engine->resume.open();
            }
        });
        driver.start(5);
        click(window, "BtnScan");
        driver.stop();
        QCOMPARE(ticks, -1);
        QVERIFY(selectionKept);
        QVERIFY(cardKept);
        // Once the scan is over the departed card goes.
        QTRY_COMPARE(disks->model()->rowCount(), 1);
        QVERIFY(!scanned.isValid());
    }

    void missingSourceMessages()
    {
        CMainWnd window(services());
        window.show();
        // Next on the source page without a source.
        click(window, "BtnDeletedRecovery");
        QVERIFY(!child<QAbstractButton>(window, "BtnScan")->isEnabled());
        click(window, "BtnNext");
        QCOMPARE(m_boxes.size(), std::size_t{1});
        QCOMPARE(m_boxes[0].text, QStringLiteral("Please select disk media for next step!"));
        // Scan from the file-type page without a source.
        click(window, "TabFileType");
        click(window, "BtnScan");
        QCOMPARE(m_boxes.size(), std::size_t{2});
        QCOMPARE(m_boxes[1].kind, int(CMessageBox::Information));
        QCOMPARE(m_boxes[1].text, MessageText("MSG0505"));
        QCOMPARE(page(window), CMainWnd::kFileTypePage);
        // An image of nothing.
        click(window, "BtnPrev");
        click(window, "BtnPrev");
        click(window, "BtnCreateImageMode");
        click(window, "BtnCreateImage");
        QCOMPARE(m_boxes.size(), std::size_t{3});
        QCOMPARE(m_boxes[2].text, MessageText("MSG0216"));
    }

    void languageSwitchRewritesPageAndFacts()
    {
        m_disks = {Partition(2, 1, "HOLIDAY")};
        CMainWnd window(services());
        window.show();
        click(window, "BtnDeletedRecovery");
        auto *facts = child<QLabel>(window, "Label3");
        QCOMPARE(facts->text(), MessageText("MSG0205") + QStringLiteral(" FAT32"));
        QCOMPARE(child<QLabel>(window, "Label1")->text(),
                 MessageText("MSG0203") + QStringLiteral(" /nonexistent/card"));
        QCOMPARE(child<QLabel>(window, "Label2")->toolTip(),
                 MessageText("MSG0204") + QStringLiteral(" HOLIDAY"));

        auto *disks = child<QTreeView>(window, "DiskList")->model();
        QCOMPARE(disks->index(0, 0).data().toString(), diskName());

        m_catalogue->manager().SetLanguage(QStringLiteral("Deutsch"));
        emit window.languageChanged();
        QTRY_COMPARE(child<QLabel>(window, "Txt1")->text(), MessageText("MSG0501"));
        QVERIFY(MessageText("MSG0501")
                != QStringLiteral("Select the disk or partition you want to "
                                  "recover files from."));
        QCOMPARE(facts->text(), MessageText("MSG0205") + QStringLiteral(" FAT32"));
        QCOMPARE(child<QAbstractButton>(window, "TabScan")->text(), MessageText("MSG0503"));
        QCOMPARE(disks->index(0, 0).data().toString(), diskName());
        QCOMPARE(MessageText("MSG0202"), QStringLiteral("Wechseldatenträger"));
    }

    // The lists' own texts follow a switch made on the results page, both
    // ways.
    void languageSwitchRenamesListNodes()
    {
        m_disks = {Partition(2, 1, "HOLIDAY")};
        CMainWnd window(services(true));
        window.show();
        scanCard(window, "BtnDeletedRecovery");
        auto *disks = child<QTreeView>(window, "DiskList")->model();
        auto *types = child<QTreeView>(window, "TypeTree")->model();
        for (const char *language : {"Deutsch", "English"}) {
            m_catalogue->manager().SetLanguage(QLatin1String(language));
            emit window.languageChanged();
            QTRY_COMPARE(child<QLabel>(window, "Txt1")->text(), MessageText("MSG0801"));
            QCOMPARE(disks->index(0, 0).data().toString(), diskName());
            QCOMPARE(types->index(0, 0).data().toString(),
                     MessageText("MSG0807") + QStringLiteral(" (1)"));
            // The list's column names too.
            QCOMPARE(child<QTreeView>(window, "FileList")
                             ->model()
                             ->headerData(2, Qt::Horizontal)
                             .toString(),
                     MessageText("MSG0815"));
        }
    }

    // After every search the first file of the first type is selected and
    // previewed, wherever the scan was started.
    void searchSelectsFirstRow_data()
    {
        QTest::addColumn<bool>("fromTypePage");
        QTest::addColumn<int>("scans");
        QTest::newRow("source page") << false << 1;
        QTest::newRow("file-type page") << true << 1;
        QTest::newRow("second scan, file-type page") << true << 2;
        QTest::newRow("second scan, source page") << false << 2;
    }

    void searchSelectsFirstRow()
    {
        QFETCH(bool, fromTypePage);
        QFETCH(int, scans);
        m_disks = {Partition(1, 4, "A")};
        m_files = 3;
        CMainWnd window(services(true));
        window.show();
        click(window, "BtnDeepRecovery");
        auto *list = child<QTreeView>(window, "FileList");
        for (int scan = 0; scan < scans; ++scan) {
            click(window, fromTypePage ? "TabFileType" : "TabScan");
            if (scan > 0) // a row chosen by the user before the new search
                list->setCurrentIndex(list->model()->index(2, 1));
            click(window, "BtnScan");
            QCOMPARE(page(window), CMainWnd::kResultPage);
            QCOMPARE(list->model()->rowCount(), 3);
            QVERIFY(list->selectionModel()->isRowSelected(0, {}));
            QCOMPARE(list->currentIndex().row(), 0);
        }
    }

    // Back leads from the results to the page the scan was started from,
    // where the user chose the types, and on from there one page at a time
    // to the modes, where it stops.
    void backRetracesTheWayToTheScan()
    {
        m_disks = {Partition(1, 4, "A")};
        m_files = 3;
        CMainWnd window(services(true));
        window.show();
        const struct
        {
            const char *start;
            std::vector<int> back;
        } ways[] = {
                {"TabScan", {CMainWnd::kSourcePage, CMainWnd::kModePage, CMainWnd::kModePage}},
                {"TabFileType",
                 {CMainWnd::kFileTypePage, CMainWnd::kSourcePage, CMainWnd::kModePage}},
        };
        for (const auto &way : ways) {
            click(window, "BtnDeepRecovery");
            click(window, way.start);
            click(window, "BtnScan");
            QCOMPARE(page(window), CMainWnd::kResultPage);
            for (const int expected : way.back) {
                click(window, "BtnPrev");
                QCOMPARE(page(window), expected);
            }
        }
    }

    // A type of more files than a page holds is listed a page at a time;
    // the header box still checks all of them.
    void largeTypeIsPaged()
    {
        m_disks = {Partition(1, 4, "A")};
        m_files = 12001;
        CMainWnd window(services(true));
        window.resize(1000, 650);
        window.show();
        scanCard(window, "BtnDeepRecovery");
        auto *pages = window.findChild<CPaginationUI *>(QStringLiteral("Pagination"));
        QVERIFY(pages != nullptr);
        QVERIFY(pages->isVisible());
        QCOMPARE(pages->pageCount(), 3);
        QCOMPARE(pages->currentPage(), 1);
        auto *list = child<QTreeView>(window, "FileList");
        QCOMPARE(list->model()->rowCount(), 5000);

        pages->nextButton()->click();
        QCOMPARE(list->model()->index(0, 1).data().toString(), QStringLiteral("part1-5000.jpg"));
        SaveScreenshot(&window, QStringLiteral("road-paged"));
        click(window, "ChkAllListSel");
        QCOMPARE(window.checkedRecords().Count(), std::size_t{12001});
        QCOMPARE(child<QCheckBox>(window, "ChkAllListSel")->checkState(), Qt::Checked);
        pages->nextButton()->click();
        QCOMPARE(list->model()->rowCount(), 2001);
        QCOMPARE(pages->currentPage(), 3);
        QVERIFY(!pages->nextButton()->isEnabled());

        // A new search with few files hides the selector again.
        m_files = 2;
        click(window, "TabScan");
        click(window, "BtnScan");
        QCOMPARE(list->model()->rowCount(), 2);
        QVERIFY(!pages->isVisible());
    }

    // The filter bar narrows the list, the counts of the type tree and what
    // the header box checks; checks made under a filter stay, and clearing it
    // shows every file again. A word is looked for anywhere in the name.
    void filterBarNarrowsListCountsAndSelectAll()
    {
        struct Found
        {
            const char *name;
            uint64_t size;
            uint64_t modified;
        };
        const Found found[] = {
                {"Holiday 01.jpg", 5000,
                 vexlo::platform::FiletimeFromCalendar(2024, 5, 1, 10, 0, 0)},
                {"Holiday 02.jpg", 20000,
                 vexlo::platform::FiletimeFromCalendar(2024, 5, 2, 9, 0, 0)},
                {"IMG_0001.jpg", 10240,
                 vexlo::platform::FiletimeFromCalendar(2024, 4, 30, 12, 0, 0)},
                {"IMG_0002.jpg", 300000, 0},
                {"holiday map.png", 8000,
                 vexlo::platform::FiletimeFromCalendar(2024, 5, 1, 18, 0, 0)},
        };
        for (const Found &file : found) {
            vexlo::FoundFileRecord record = vexlo::EmptyRecord();
            record.SetName(file.name);
            record.size = file.size;
            record.modified = file.modified;
            record.record_number = uint32_t(m_records.size() + 1);
            m_records.push_back(record);
        }
        m_disks = {Partition(1, 4, "A")};
        CMainWnd window(services(true));
        window.resize(1000, 650);
        window.show();
        scanCard(window, "BtnDeepRecovery");
        auto *tree = child<QTreeView>(window, "TypeTree");
        auto *list = child<QTreeView>(window, "FileList");
        const QAbstractItemModel *nodes = tree->model();
        const auto names = [list] {
            QStringList shown;
            for (int row = 0; row < list->model()->rowCount(); ++row)
                shown << list->model()->index(row, 1).data().toString();
            shown.sort();
            return shown.join(QLatin1Char(','));
        };
        const auto type = [this, nodes](const char *prefix) {
            const QModelIndex node = findNode(nodes, QLatin1String(prefix));
            return node.isValid() ? node.data().toString() : QString();
        };
        QVERIFY(child<QWidget>(window, "ResultFilterBar")->isVisible());
        QCOMPARE(type("Photo"), QStringLiteral("Photo (5)"));
        QCOMPARE(names(),
                 QStringLiteral("Holiday 01.jpg,Holiday 02.jpg,IMG_0001.jpg,IMG_0002.jpg"));

        auto *name = child<QLineEdit>(window, "FilterName");
        QTest::keyClicks(name, QStringLiteral("HOLIDAY"));
        QTRY_COMPARE(names(), QStringLiteral("Holiday 01.jpg,Holiday 02.jpg"));
        QCOMPARE(type("Photo"), QStringLiteral("Photo (3)"));
        QCOMPARE(type("JPG"), QStringLiteral("JPG/JPEG (2)"));
        QCOMPARE(type("PNG"), QStringLiteral("PNG Graphics Files (1)"));
        SaveScreenshot(&window, QStringLiteral("road-filtered"));
        // Select all checks the files shown, not the type's hidden ones.
        click(window, "ChkAllListSel");
        QCOMPARE(window.checkedRecords().Count(), std::size_t{2});

        // Bounds are inclusive: 10k is IMG_0001's size.
        name->clear();
        auto *minSize = child<QLineEdit>(window, "FilterMinSize");
        QTest::keyClicks(minSize, QStringLiteral("10k"));
        QTRY_COMPARE(names(), QStringLiteral("Holiday 02.jpg,IMG_0001.jpg,IMG_0002.jpg"));
        QCOMPARE(type("Photo"), QStringLiteral("Photo (3)"));
        QVERIFY(!findNode(nodes, QStringLiteral("PNG")).isValid());
        QCOMPARE(findNode(nodes, QStringLiteral("JPG"))
                         .data(Qt::CheckStateRole)
                         .value<Qt::CheckState>(),
                 Qt::PartiallyChecked);

        // A date as the upper bound keeps its whole day; files without a time
        // are left out by any date.
        minSize->clear();
        QTest::keyClicks(child<QLineEdit>(window, "FilterBefore"), QStringLiteral("2024-05-01"));
        QTRY_COMPARE(names(), QStringLiteral("Holiday 01.jpg,IMG_0001.jpg"));
        QCOMPARE(type("Photo"), QStringLiteral("Photo (3)"));
        QCOMPARE(type("PNG"), QStringLiteral("PNG Graphics Files (1)"));
        // A text that is no date is marked and changes nothing.
        auto *after = child<QLineEdit>(window, "FilterAfter");
        QTest::keyClicks(after, QStringLiteral("2024-13-01"));
        QTRY_VERIFY(after->property("invalid").toBool());
        click(window, "BtnListView");
        SaveScreenshot(&window, QStringLiteral("road-filter-unreadable-date"));
        QCOMPARE(names(), QStringLiteral("Holiday 01.jpg,IMG_0001.jpg"));
        after->clear();
        QTest::keyClicks(after, QStringLiteral("2024-05-01"));
        QTRY_COMPARE(names(), QStringLiteral("Holiday 01.jpg"));
        QVERIFY(!after->property("invalid").toBool());
        QCOMPARE(child<QCheckBox>(window, "ChkAllListSel")->checkState(), Qt::Checked);

        click(window, "BtnClearFilter");
        QCOMPARE(type("Photo"), QStringLiteral("Photo (5)"));
        QCOMPARE(names(),
                 QStringLiteral("Holiday 01.jpg,Holiday 02.jpg,IMG_0001.jpg,IMG_0002.jpg"));
        QCOMPARE(window.checkedRecords().Count(), std::size_t{2});
        QCOMPARE(child<QCheckBox>(window, "ChkAllListSel")->checkState(), Qt::PartiallyChecked);
        QCOMPARE(after->text(), QString());
    }

    // Next is shown only where it leads somewhere.
    void nextOnlyWhereItLeads_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("step");
        QTest::addColumn<bool>("shown");
        QTest::newRow("source page") << "BtnDeletedRecovery"
                                     << "" << true;
        QTest::newRow("source page, image mode") << "BtnCreateImageMode"
                                                 << "" << false;
        QTest::newRow("file types before any results") << "BtnDeepRecovery"
                                                       << "TabFileType" << false;
        QTest::newRow("results") << "BtnDeepRecovery"
                                 << "BtnScan" << false;
        QTest::newRow("file types with results") << "BtnDeepRecovery"
                                                 << "BtnScan TabFileType" << true;
    }

    void nextOnlyWhereItLeads()
    {
        QFETCH(QString, mode);
        QFETCH(QString, step);
        QFETCH(bool, shown);
        m_disks = {Partition(1, 4, "A")};
        CMainWnd window(services(true));
        window.show();
        click(window, qPrintable(mode));
        for (const QString &button : step.split(u' ', Qt::SkipEmptyParts))
            click(window, qPrintable(button));
        QCOMPARE(child<QAbstractButton>(window, "BtnNext")->isVisible(), shown);
    }

    // An empty disk list and an empty result say so, and offer the way on.
    void emptyListsSayWhatToDo()
    {
        CMainWnd window(services());
        window.resize(1000, 650);
        window.show();
        click(window, "BtnDeletedRecovery");
        auto *disks = child<QStackedWidget>(window, "DiskListStack");
        QCOMPARE(disks->currentWidget()->objectName(), QStringLiteral("DiskListPlaceholder"));
        QCOMPARE(child<QLabel>(window, "TxtNoCard")->text(), MessageText("MSG0506"));
        QVERIFY(child<QAbstractButton>(window, "BtnPlaceholderLoadImage")->isVisible());
        // A card that arrives replaces the placeholder.
        m_disks = {Partition(1, 2, "NEW")};
        click(window, "BtnRefreshDisks");
        QCOMPARE(disks->currentWidget()->objectName(), QStringLiteral("DiskList"));

        // A card with nothing deleted on it.
        const QString blank = m_dir.filePath(QStringLiteral("blank.img"));
        QCOMPARE(vexlo::testing::MakeFatImage(blank.toStdString(), {16, 16384, 4, 512, 0}),
                 std::string());
        std::vector<int> modes;
        MainWndServices counted = services();
        counted.scan.createEngine = [&modes, real = counted.scan.createEngine](
                                            const SourceEntry &source, int engineMode) {
            modes.push_back(engineMode);
            return real(source, engineMode);
        };
        CMainWnd second(counted);
        second.resize(1000, 650);
        second.show();
        scanImage(second, "BtnDeletedRecovery", blank);
        auto *views = child<QStackedWidget>(second, "ResultViews");
        QCOMPARE(views->currentWidget()->objectName(), QStringLiteral("EmptyResult"));
        QCOMPARE(child<QLabel>(second, "TxtNothingFound")->text(), MessageText("MSG0820"));
        QVERIFY(!child<QTreeView>(second, "TypeTree")->isVisible());
        // The quick search found nothing: Deep Recovery is one click away.
        auto *deep = child<QAbstractButton>(second, "BtnTryDeepRecovery");
        QVERIFY(deep->isVisible());
        deep->click();
        QCOMPARE(modes, (std::vector<int>{0, 1}));
        QCOMPARE(views->currentWidget()->objectName(), QStringLiteral("EmptyResult"));
        // After Deep Recovery there is nothing deeper to offer.
        QVERIFY(!deep->isVisible());
        QCOMPARE(child<QLabel>(second, "TxtNothingFoundHint")->text(), MessageText("MSG0822"));
    }

    // The list shows each file's folder and its dates to the minute.
    void listShowsFoldersAndDates()
    {
        const QString card = m_dir.filePath(QStringLiteral("folders.img"));
        const std::filesystem::path image = card.toStdString();
        QCOMPARE(vexlo::testing::MakeFatImage(image, {16, 16384, 4, 512, 0}), std::string());
        QCOMPARE(vexlo::testing::Mtools(image, "mmd", {"::/DCIM", "::/DCIM/100CANON"}),
                 std::string());
        QCOMPARE(vexlo::testing::FatWriteFile(image, "/DCIM/100CANON/IMG_0001.JPG",
                                              Bytes(PictureBytes("JPG", 64, 48, 4))),
                 std::string());
        QCOMPARE(vexlo::testing::Mtools(image, "mdel", {"::/DCIM/100CANON/IMG_0001.JPG"}),
                 std::string());
        CMainWnd window(services());
        window.show();
        scanImage(window, "BtnDeletedRecovery", card);
        auto *list = child<QTreeView>(window, "FileList")->model();
        QCOMPARE(list->rowCount(), 1);
        QCOMPARE(list->index(0, 5).data().toString().toUpper(), QStringLiteral("/DCIM/100CANON/"));
        // The time mtools gave the file, without its seconds.
        QCOMPARE(list->index(0, 3).data().toString(),
                 QString::fromLatin1(vexlo::testing::kFatTestFileTime).left(16));
    }

    void likeItOpensModalThankYou()
    {
        CMainWnd window(services());
        window.show();
        bool seen = false;
        QTimer closer;
        connect(&closer, &QTimer::timeout, [&] {
            auto *popup = qobject_cast<CLikeItWnd *>(QApplication::activeModalWidget());
            if (popup == nullptr || !popup->isVisible())
                return;
            seen = true;
            QVERIFY(popup->isModal());
            QCOMPARE(popup->size(), QSize(520, 230));
            QCOMPARE(popup->findChild<QLabel *>(QStringLiteral("LblProductName"))->text(),
                     MessageText("MSG1209"));
            QVERIFY(!popup->findChild<QLabel *>(QStringLiteral("TxtThanks"))->text().isEmpty());
            SaveScreenshot(popup, QStringLiteral("like-it"));
            popup->findChild<QAbstractButton *>(QStringLiteral("okbtn"))->click();
        });
        closer.start(10);
        click(window, "BtnLikeIt"); // returns once the pop-up closed
        QVERIFY(seen);
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
