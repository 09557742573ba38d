// The disk list names devices by their nodes under /dev with the vendor,
// model and label the system reports, shows what kind of device each is,
// and keeps a device the system refused listed with the reason.
#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QLabel>
#include <QStandardItem>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include "device_names.h"
#include "disk_list_model.h"
#include "main_wnd.h"
#include "message_format.h"
#include "size_text.h"
#include "skin_images.h"
#include "test_support.h"
#include "tests/support/temp_scan_history.h"

using vexlo::PartitionRecord;

Q_DECLARE_METATYPE(PartitionRecord)

namespace {

constexpr uint64_t kCardBytes = 15'804'137'472; // a "16 GB" card

PartitionRecord Volume(uint16_t id, const char *disk, const char *node, const char *label)
{
    PartitionRecord record;
    record.id = id;
    record.disk_number = id;
    record.partition_number = 1;
    record.start = 8192;
    record.length = kCardBytes / 512 - 8192;
    record.total_bytes = record.length * 512;
    record.file_system = "FAT32";
    record.label = label;
    record.disk_path = disk;
    record.root_path = node;
    record.disk_bytes = kCardBytes;
    record.removable = true;
    return record;
}

QImage Picture(const QIcon &icon)
{
    return icon.pixmap(QSize(24, 24)).toImage().convertToFormat(QImage::Format_ARGB32);
}

QImage SkinPicture(const char *name)
{
    return Picture(SkinIcon(QLatin1String(name)));
}

QImage PictureAt(const QModelIndex &index)
{
    return Picture(index.data(Qt::DecorationRole).value<QIcon>());
}

} // namespace

class DiskListTest : public QObject
{
    Q_OBJECT

private slots:
    void namesDevicesByTheirNodes_data()
    {
        QTest::addColumn<PartitionRecord>("record");
        QTest::addColumn<QString>("disk");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("stage");

        const QString size = SizeText(kCardBytes);
        PartitionRecord card = Volume(1, "/dev/sdb", "/dev/sdb1", "CARD_LABEL");
        card.disk_model = "SanDisk Ultra";
        card.mount_points = {"/media/anna/CARD_LABEL"};
        const QString volumeSize = SizeText(card.total_bytes);
        QTest::newRow("mounted card with a model")
                << card << QStringLiteral("Removable disk — SanDisk Ultra (/dev/sdb), ") + size
                << QStringLiteral("/dev/sdb1 · CARD_LABEL · /media/anna/CARD_LABEL")
                << QStringLiteral("/dev/sdb1 · CARD_LABEL · FAT32 · %1 · /media/anna/CARD_LABEL")
                           .arg(volumeSize)
                << QStringLiteral("/dev/sdb1 (CARD_LABEL)");

        PartitionRecord bare = Volume(2, "/dev/mmcblk0", "/dev/mmcblk0p1", "");
        bare.file_system.clear();
        QTest::newRow("unlabelled volume, no model, unknown file system")
                << bare << QStringLiteral("Removable disk (/dev/mmcblk0), ") + size
                << QStringLiteral("/dev/mmcblk0p1")
                << QStringLiteral("/dev/mmcblk0p1 · ") + SizeText(bare.total_bytes)
                << QStringLiteral("/dev/mmcblk0p1");

        PartitionRecord fixed = Volume(3, "/dev/nvme0n1", "/dev/nvme0n1p2", "DATA");
        fixed.removable = false;
        fixed.disk_model = "Samsung SSD 980";
        fixed.mount_points = {"/srv", "/mnt/data"};
        QTest::newRow("fixed disk mounted twice")
                << fixed << QStringLiteral("Disk — Samsung SSD 980 (/dev/nvme0n1), ") + size
                << QStringLiteral("/dev/nvme0n1p2 · DATA · /srv · /mnt/data")
                << QStringLiteral("/dev/nvme0n1p2 · DATA · FAT32 · %1 · /srv · /mnt/data")
                           .arg(volumeSize)
                << QStringLiteral("/dev/nvme0n1p2 (DATA)");

        // A free area has no node of its own: it is read through its disk.
        PartitionRecord free = Volume(4, "/dev/sdc", "", "");
        free.kind = vexlo::EntryKind::kFreeArea;
        free.file_system.clear();
        QTest::newRow("free area named by its disk")
                << free << QStringLiteral("Removable disk (/dev/sdc), ") + size
                << QStringLiteral("/dev/sdc") << QStringLiteral("/dev/sdc · ") + volumeSize
                << QStringLiteral("/dev/sdc");
    }

    void namesDevicesByTheirNodes()
    {
        QFETCH(PartitionRecord, record);
        QFETCH(QString, disk);
        QFETCH(QString, name);
        QFETCH(QString, description);
        QFETCH(QString, stage);

        CDiskListModel model;
        model.fill({record}, CDiskListModel::FillMode::kRebuild);
        const QModelIndex diskRow = model.index(0, 0);
        const QModelIndex leaf = model.index(0, 0, diskRow);
        // Fixed disks are left out of the list; their name is still right.
        if (record.removable) {
            QCOMPARE(diskRow.data().toString(), disk);
            QCOMPARE(leaf.data().toString(), name);
            QCOMPARE(leaf.data(Qt::ToolTipRole).toString(), description);
            QCOMPARE(model.sourceOf(leaf)->deviceName, stage);
        } else {
            QCOMPARE(model.rowCount(), 0);
            QCOMPARE(DiskName(QStringLiteral("Disk"), record), disk);
            QCOMPARE(PartitionName(record), name);
            QCOMPARE(PartitionDescription(record), description);
            QCOMPARE(DeviceWithLabel(record), stage);
        }
    }

    // Each row shows what it is before its name is read; a refused volume,
    // and a disk of which nothing could be opened, show a lock, and their
    // tooltips say why, in the current language.
    void picturesTellKindsApartAndRefusedVolumesSayWhy()
    {
        PartitionRecord sd = Volume(1, "/dev/mmcblk0", "/dev/mmcblk0p1", "SD");
        PartitionRecord stick = Volume(2, "/dev/sdb", "/dev/sdb1", "STICK");
        stick.usb = true;
        PartitionRecord refused = Volume(3, "/dev/sdc", "/dev/sdc1", "");
        refused.usb = true;
        refused.access_error = 5;
        // Neither the disk nor any volume on it could be opened.
        PartitionRecord lockedFirst = Volume(4, "/dev/sdd", "/dev/sdd1", "");
        lockedFirst.access_error = lockedFirst.disk_access_error = 13;
        PartitionRecord lockedSecond = lockedFirst;
        lockedSecond.id = 5;
        lockedSecond.root_path = "/dev/sdd2";
        // The disk refused, but one of its volumes readable.
        PartitionRecord halfFirst = Volume(6, "/dev/sde", "/dev/sde1", "");
        halfFirst.access_error = halfFirst.disk_access_error = 13;
        PartitionRecord halfSecond = halfFirst;
        halfSecond.id = 7;
        halfSecond.root_path = "/dev/sde2";
        halfSecond.access_error = 0;

        CDiskListModel model;
        model.fill({sd, stick, refused, lockedFirst, lockedSecond, halfFirst, halfSecond},
                   CDiskListModel::FillMode::kRebuild);
        model.addImage(QStringLiteral("/tmp/card.img"), 1u << 20);
        QCOMPARE(model.rowCount(), 6);

        const struct
        {
            int row;
            const char *disk;
            const char *volume;
        } rows[] = {
                {0, "removable_drive.png", "drive_usb.png"},
                {1, "usb_drive.png", "drive_usb.png"},
                {2, "usb_drive.png", "lock.png"},
                {3, "lock.png", "lock.png"},
                {4, "removable_drive.png", "lock.png"},
                {5, "image_files.png", "image_file.png"},
        };
        for (const auto &row : rows) {
            const QModelIndex node = model.index(row.row, 0);
            QVERIFY2(!PictureAt(node).isNull(), row.disk);
            QVERIFY2(PictureAt(node) == SkinPicture(row.disk), row.disk);
            QVERIFY2(PictureAt(model.index(0, 0, node)) == SkinPicture(row.volume), row.volume);
        }
        QVERIFY(SkinPicture("lock.png") != SkinPicture("drive_usb.png"));
        QVERIFY(SkinPicture("usb_drive.png") != SkinPicture("removable_drive.png"));

        const QModelIndex lockedLeaf = model.index(0, 0, model.index(2, 0));
        QCOMPARE(lockedLeaf.data().toString(), QStringLiteral("/dev/sdc1"));
        QCOMPARE(lockedLeaf.data(Qt::ToolTipRole).toString(),
                 QStringLiteral("Permission denied for /dev/sdc1."));
        const QModelIndex lockedDisk = model.index(3, 0);
        QCOMPARE(lockedDisk.data(Qt::ToolTipRole).toString(),
                 QStringLiteral("Permission denied for /dev/sdd."));
        QCOMPARE(model.index(2, 0).data(Qt::ToolTipRole).toString(), model.index(2, 0).data());
        QCOMPARE(model.index(4, 0).data(Qt::ToolTipRole).toString(), model.index(4, 0).data());

        // A change of language describes listed rows again.
        model.setWords({QStringLiteral("Wechseldatenträger"), QStringLiteral("Datenträger"),
                        QStringLiteral("Zugriff auf %s verweigert.")});
        QVERIFY(model.index(2, 0).data().toString().startsWith(
                QStringLiteral("Wechseldatenträger (/dev/sdc), ")));
        QCOMPARE(lockedLeaf.data(Qt::ToolTipRole).toString(),
                 QStringLiteral("Zugriff auf /dev/sdc1 verweigert."));
        QVERIFY(PictureAt(lockedLeaf) == SkinPicture("lock.png"));
        QCOMPARE(lockedDisk.data(Qt::ToolTipRole).toString(),
                 QStringLiteral("Zugriff auf /dev/sdd verweigert."));
        QVERIFY(PictureAt(lockedDisk) == SkinPicture("lock.png"));
    }

    // The main window with the shipped texts: the refused volume stays listed
    // with the text that tells a Linux user what to do, and the facts name
    // the device and where it is mounted.
    void mainWindowListsLinuxNames()
    {
        QTemporaryDir dir;
        qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")).toUtf8());
        vexlo::testing::TempScanHistory history;
        // Installed for as long as the window reads its texts.
        const std::unique_ptr<TestCatalogue> catalogue = ShippedCatalogue();

        PartitionRecord card = Volume(1, "/dev/sdb", "/dev/sdb1", "CARD_LABEL");
        card.disk_model = "SanDisk Ultra";
        card.usb = true;
        card.mount_points = {"/media/anna/CARD_LABEL"};
        PartitionRecord refused = Volume(2, "/dev/mmcblk0", "/dev/mmcblk0p1", "");
        refused.access_error = 5;
        const std::vector<PartitionRecord> disks = {card, refused};

        CMainWnd window(QuietServices(
                history.history, [] { return QString(); }, [] { return QString(); },
                [&] { return disks; }));
        window.resize(900, 640);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        Child<QAbstractButton>(window, "BtnDeletedRecovery")->click();

        auto *view = Child<QTreeView>(window, "DiskList");
        const QAbstractItemModel *model = view->model();
        QCOMPARE(model->index(0, 0).data().toString(),
                 MessageText("MSG0202") + QStringLiteral(" — SanDisk Ultra (/dev/sdb), ")
                         + SizeText(kCardBytes));
        const QModelIndex locked = model->index(0, 0, model->index(1, 0));
        QCOMPARE(
                locked.data(Qt::ToolTipRole).toString(),
                FormatMessage(MessageText(DeviceRefusedKey()), {QStringLiteral("/dev/mmcblk0p1")}));
        QVERIFY(locked.data(Qt::ToolTipRole).toString().contains(QStringLiteral("/dev/mmcblk0p1")));

        view->setCurrentIndex(model->index(0, 0, model->index(0, 0)));
        QCOMPARE(Child<QLabel>(window, "Label1")->text(),
                 MessageText("MSG0203") + QStringLiteral(" /dev/sdb1 · /media/anna/CARD_LABEL"));
        view->expandAll();
        SaveScreenshot(&window, QStringLiteral("disk-list-linux-names"));
    }
};

QTEST_MAIN(DiskListTest)
#include "disk_list_test.moc"
