// The result views: checks moving between tree, list and header, paging,
// sorting,
// the disk list, the image target limits and the device-event coalescing.
#include <QSignalSpy>
#include <QTest>

#include <set>
#include <string>
#include <vector>

#include "catalogue/extension_grouping.h"
#include "checked_record_set.h"
#include "device_watch.h"
#include "disk_list_model.h"
#include "file_icons.h"
#include "file_list_model.h"
#include "file_tree_model.h"
#include "image_target_limits.h"
#include "platform/filetime.h"
#include "result_selection.h"

using vexlo::FoundFileRecord;
using vexlo::PartitionRecord;

namespace {

FoundFileRecord Record(const std::string &name, uint64_t size, uint32_t number, bool folder = false,
                       uint16_t source = 1)
{
    FoundFileRecord record = vexlo::EmptyRecord();
    record.SetName(name);
    record.size = size;
    record.record_number = number;
    record.is_folder = folder ? 1 : 0;
    record.source_id = source;
    record.fs_kind = static_cast<uint32_t>(vexlo::FsKind::kFatQuick);
    return record;
}

const CFileTreeModel::CategoryTexts kCategories
        = {QStringLiteral("Photo"),    QStringLiteral("Audio"),   QStringLiteral("Video"),
           QStringLiteral("Document"), QStringLiteral("Archive"), QStringLiteral("Other")};

// Finds a node whose text starts with `prefix`.
QModelIndex Node(const QAbstractItemModel &model, const QString &prefix,
                 const QModelIndex &parent = {})
{
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex index = model.index(row, 0, parent);
        if (index.data().toString().startsWith(prefix))
            return index;
        if (const QModelIndex inner = Node(model, prefix, index); inner.isValid())
            return inner;
    }
    return {};
}

Qt::CheckState State(const QModelIndex &index)
{
    return index.data(Qt::CheckStateRole).value<Qt::CheckState>();
}

// Three JPEGs and one PNG (photo), one MP3 (audio), two files of no known
// type; the views over them.
struct Results
{
    std::vector<FoundFileRecord> records{Record("a.jpg", 10, 1),  Record("b.jpg", 20, 2),
                                         Record("c.JPEG", 30, 3), Record("d.png", 40, 4),
                                         Record("e.mp3", 50, 5),  Record("noext", 60, 6),
                                         Record("f.zzq", 70, 7)};
    vexlo::catalogue::RecordsByExtension groups = vexlo::catalogue::GroupByExtension(records);
    vexlo::catalogue::ExtensionSelection selection;
    CheckedRecordSet checked;
    CFileTreeModel tree{&checked};
    CFileListModel list{&checked};
    CResultSelection views{&tree, &list};

    Results() { tree.build(groups, selection, true, kCategories); }
    void checkRow(int row, bool on)
    {
        list.setData(list.index(row, 0), on ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
    }
};

std::vector<std::string> Names(const CFileListModel &list)
{
    std::vector<std::string> names;
    for (int row = 0; row < list.rowCount(); ++row)
        names.emplace_back(list.record(row)->Name());
    return names;
}

PartitionRecord Partition(uint16_t id, int32_t disk, bool removable, uint64_t start,
                          const std::string &label = {})
{
    PartitionRecord record;
    record.id = id;
    record.disk_number = disk;
    record.removable = removable;
    record.start = start;
    record.length = 1000;
    record.total_bytes = 512000;
    record.file_system = "FAT32";
    record.label = label;
    record.disk_path = "/dev/sd" + std::string(1, char('a' + disk));
    record.root_path = record.disk_path.string() + std::to_string(id);
    return record;
}

} // namespace

class ResultViewsTest : public QObject
{
    Q_OBJECT

private slots:
    void treeGroupsByCategoryWithUnknownLast()
    {
        Results r;
        QCOMPARE(r.tree.rowCount(), 3); // photo, audio, other: empty categories are not shown
        QCOMPARE(r.tree.index(0, 0).data().toString(), QStringLiteral("Photo (4)"));
        QCOMPARE(r.tree.index(2, 0).data().toString(), QStringLiteral("Other (2)"));
        const QModelIndex other = r.tree.index(2, 0);
        QCOMPARE(r.tree.rowCount(other), 2);
        QVERIFY(r.tree.index(1, 0, other).data().toString().startsWith("UNKNOW"));
        // The first type of the first category is the one shown first.
        QVERIFY(r.views.showNode(r.tree.firstTypeNode()));
        QCOMPARE(r.list.rowCount(), 3);
    }

    void rowChecksMakeTreeAndHeaderTriState()
    {
        Results r;
        const QModelIndex jpg = Node(r.tree, "JPG");
        const QModelIndex png = Node(r.tree, "PNG");
        const QModelIndex photo = jpg.parent();
        QVERIFY(r.views.showNode(jpg));

        r.checkRow(0, true);
        QCOMPARE(r.views.headerState(), Qt::PartiallyChecked);
        QCOMPARE(State(jpg), Qt::PartiallyChecked);
        QCOMPARE(State(photo), Qt::PartiallyChecked);
        QCOMPARE(State(png), Qt::Unchecked);

        r.checkRow(1, true);
        r.checkRow(2, true);
        QCOMPARE(r.views.headerState(), Qt::Checked);
        QCOMPARE(State(jpg), Qt::Checked);
        QCOMPARE(State(photo), Qt::PartiallyChecked); // the PNG node is still unchecked
        QCOMPARE(r.checked.Count(), std::size_t{3});
        QCOMPARE(r.checked.TotalBytes(), uint64_t{60});

        r.checkRow(1, false);
        QCOMPARE(r.views.headerState(), Qt::PartiallyChecked);
        QCOMPARE(State(jpg), Qt::PartiallyChecked);
    }

    void uncheckingCategoryRemovesRecordsNeverShown()
    {
        Results r;
        const QModelIndex jpg = Node(r.tree, "JPG");
        const QModelIndex photo = jpg.parent();
        r.tree.setData(photo, Qt::Checked, Qt::CheckStateRole);
        QCOMPARE(r.checked.Count(), std::size_t{4}); // the PNG included, though never listed
        QCOMPARE(State(Node(r.tree, "PNG")), Qt::Checked);

        QVERIFY(r.views.showNode(jpg));
        QCOMPARE(r.views.headerState(), Qt::Checked);
        QCOMPARE(r.list.checkedRecordCount(), std::size_t{3});

        r.tree.setData(photo, Qt::Unchecked, Qt::CheckStateRole);
        QVERIFY(r.checked.Empty());
        QCOMPARE(State(jpg), Qt::Unchecked);
        QCOMPARE(State(Node(r.tree, "PNG")), Qt::Unchecked);
        QCOMPARE(r.views.headerState(), Qt::Unchecked);
        QCOMPARE(State(r.list.index(0, 0)), Qt::Unchecked);
    }

    void headerBoxChecksTheWholeNodeAndChecksSurviveNodeChanges()
    {
        Results r;
        const QModelIndex jpg = Node(r.tree, "JPG");
        QVERIFY(r.views.showNode(jpg));
        r.views.setHeaderChecked(true);
        QCOMPARE(r.checked.Count(), std::size_t{3});
        QCOMPARE(State(jpg), Qt::Checked);

        QVERIFY(r.views.showNode(Node(r.tree, "PNG")));
        QCOMPARE(r.views.headerState(), Qt::Unchecked);
        QVERIFY(r.views.showNode(jpg));
        QCOMPARE(r.views.headerState(), Qt::Checked);
        QCOMPARE(r.list.checkedRecordCount(), std::size_t{3});
    }

    // A tree built again over part of the records (a filter) shows the
    // checks already made: a type whose kept records are all checked is
    // checked, one with some half-checked, and the header box follows.
    void rebuiltTreeTakesItsChecksFromTheSet()
    {
        Results r;
        QVERIFY(r.views.showNode(Node(r.tree, "JPG")));
        r.checkRow(0, true);
        r.checkRow(1, true);
        QCOMPARE(r.checked.Count(), std::size_t{2});

        vexlo::catalogue::RecordsByExtension kept = r.groups;
        kept["jpg"].pop_back(); // the unchecked JPEG is filtered out
        r.views.reset();
        r.tree.build(kept, r.selection, true, kCategories);
        r.tree.refreshChecks();
        const QModelIndex jpg = Node(r.tree, "JPG");
        QCOMPARE(State(jpg), Qt::Checked);
        QCOMPARE(State(Node(r.tree, "PNG")), Qt::Unchecked);
        QCOMPARE(State(Node(r.tree, "Photo")), Qt::PartiallyChecked);
        QCOMPARE(r.tree.typeNodeOf(&kept["jpg"]), jpg);
        QVERIFY(!r.tree.typeNodeOf(&r.groups["jpg"]).isValid());
        QVERIFY(r.views.showNode(jpg));
        QCOMPARE(r.views.headerState(), Qt::Checked);

        r.views.reset();
        r.tree.build(r.groups, r.selection, true, kCategories);
        r.tree.refreshChecks();
        QCOMPARE(State(Node(r.tree, "JPG")), Qt::PartiallyChecked);
        QVERIFY(r.views.showNode(Node(r.tree, "JPG")));
        QCOMPARE(r.views.headerState(), Qt::PartiallyChecked);
    }

    // A type of 12,001 files is listed 5,000 at a time; checks and sorting
    // still cover every file of the type.
    void largeTypeIsPagedButChecksAndSortsWhole()
    {
        constexpr int kFiles = 12001;
        std::vector<FoundFileRecord> records;
        records.reserve(kFiles);
        for (int i = 0; i < kFiles; ++i) {
            // Sizes are a permutation of 1..kFiles, far from the list order.
            const uint64_t size = uint64_t(i) * 7919 % kFiles + 1;
            records.push_back(Record("f" + std::to_string(i) + ".jpg", size, uint32_t(i + 1)));
            records.back().content_check = i == 1 ? 0 : 1;
        }
        const auto groups = vexlo::catalogue::GroupByExtension(records);
        vexlo::catalogue::ExtensionSelection selection;
        CheckedRecordSet checked;
        CFileTreeModel tree(&checked);
        CFileListModel list(&checked);
        CResultSelection views(&tree, &list);
        tree.build(groups, selection, true, kCategories);
        const QModelIndex jpg = Node(tree, "JPG");
        QSignalSpy pagesChanged(&list, &CFileListModel::pagesChanged);
        QVERIFY(views.showNode(jpg));
        QCOMPARE(pagesChanged.count(), 1);
        QCOMPARE(list.pageCount(), 3);
        QCOMPARE(list.rowCount(), CFileListModel::kPageSize);
        list.setPage(3);
        QCOMPARE(list.rowCount(), 2001);
        QCOMPARE(std::string(list.record(0)->Name()), std::string("f10000.jpg"));
        QVERIFY(list.record(2001) == nullptr);
        // Among many rows each shows its own type's icon, a damaged file the
        // error variant.
        auto iconImage
                = [](const QVariant &icon) { return icon.value<QIcon>().pixmap(16, 16).toImage(); };
        const QImage intact = iconImage(FileIcon(QStringLiteral("FileIcon/image.png")));
        const QImage damaged = iconImage(FileIcon(QStringLiteral("FileIcon/image_error.png")));
        QVERIFY(intact != damaged);
        list.setPage(1);
        QCOMPARE(iconImage(list.index(0, CFileListModel::kNameColumn).data(Qt::DecorationRole)),
                 intact);
        QCOMPARE(iconImage(list.index(1, CFileListModel::kNameColumn).data(Qt::DecorationRole)),
                 damaged);
        list.setPage(3);

        // The header box on page 2 checks the whole type.
        list.setPage(2);
        views.setHeaderChecked(true);
        QCOMPARE(checked.Count(), std::size_t(kFiles));
        QCOMPARE(State(jpg), Qt::Checked);
        QCOMPARE(views.headerState(), Qt::Checked);
        QCOMPARE(State(list.index(4999, 0)), Qt::Checked);

        // One row unchecked on page 3 leaves the type half-checked.
        list.setPage(3);
        list.setData(list.index(2000, 0), Qt::Unchecked, Qt::CheckStateRole);
        QCOMPARE(checked.Count(), std::size_t(kFiles - 1));
        QCOMPARE(State(jpg), Qt::PartiallyChecked);
        QCOMPARE(State(jpg.parent()), Qt::PartiallyChecked);
        QCOMPARE(views.headerState(), Qt::PartiallyChecked);

        // From nothing checked, one row on page 3 half-checks the type.
        views.setHeaderChecked(false);
        QVERIFY(checked.Empty());
        QCOMPARE(views.headerState(), Qt::Unchecked);
        list.setData(list.index(0, 0), Qt::Checked, Qt::CheckStateRole);
        QCOMPARE(State(jpg), Qt::PartiallyChecked);
        QCOMPARE(views.headerState(), Qt::PartiallyChecked);
        QCOMPARE(list.checkedRecordCount(), std::size_t{1});

        // Sorting on page 2 orders all files and stays on page 2; page 1
        // then starts with the largest file of the type.
        list.setPage(2);
        QCOMPARE(list.headerClick(CFileListModel::kSizeColumn), std::optional<int>(-1));
        QCOMPARE(list.page(), 2);
        QCOMPARE(uint64_t{list.record(0)->size}, uint64_t(kFiles - CFileListModel::kPageSize));
        list.setPage(1);
        QCOMPARE(uint64_t{list.record(0)->size}, uint64_t(kFiles));
        QCOMPARE(uint64_t{list.record(1)->size}, uint64_t(kFiles - 1));
        // The check follows its record through the sort.
        QCOMPARE(list.checkedRecordCount(), std::size_t{1});
    }

    void checkedSetKeysBySourceKindAndNumber()
    {
        CheckedRecordSet set;
        FoundFileRecord a = Record("a", 5, 7, false, 1);
        FoundFileRecord otherSource = Record("a", 5, 7, false, 2);
        FoundFileRecord otherKind = a;
        otherKind.fs_kind = static_cast<uint32_t>(vexlo::FsKind::kCarving);
        FoundFileRecord folder = Record("dir", 999, 8, true, 1);
        QVERIFY(set.Add(a));
        QVERIFY(!set.Add(a));
        QVERIFY(set.Add(otherSource));
        QVERIFY(set.Add(otherKind));
        QVERIFY(set.Add(folder));
        QCOMPARE(set.Count(), std::size_t{4});
        QCOMPARE(set.TotalBytes(), uint64_t{15}); // folders carry no bytes
        QVERIFY(set.Remove(otherSource));
        QVERIFY(!set.Contains(otherSource));
        QVERIFY(set.Contains(a));
        const auto ordered = set.Records();
        const uint32_t firstNumber = ordered.front().record_number;
        const uint16_t firstSource = ordered.front().source_id;
        QCOMPARE(firstNumber, 7u);
        QCOMPARE(firstSource, uint16_t{1});
    }

    void headerClicksSort_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("clicks");
        QTest::addColumn<int>("direction");
        QTest::addColumn<QStringList>("order");
        const int size = CFileListModel::kSizeColumn;
        const int name = CFileListModel::kNameColumn;
        QTest::newRow("size first click: descending, folders last")
                << size << 1 << -1 << QStringList{"big.bin", "Mid.dat", "small.txt", "dir"};
        QTest::newRow("size second click: ascending, folders first")
                << size << 2 << 1 << QStringList{"dir", "small.txt", "Mid.dat", "big.bin"};
        QTest::newRow("name first click: ascending, case folded")
                << name << 1 << 1 << QStringList{"big.bin", "dir", "Mid.dat", "small.txt"};
        QTest::newRow("name second click: descending")
                << name << 2 << -1 << QStringList{"small.txt", "Mid.dat", "dir", "big.bin"};
        QTest::newRow("type first click") << int(CFileListModel::kTypeColumn) << 1 << 1
                                          << QStringList{"big.bin", "Mid.dat", "dir", "small.txt"};
        // By the time itself: October after June, and seconds within one
        // minute, which the shown text leaves out.
        const int modified = CFileListModel::kModifiedColumn;
        QTest::newRow("modified first click: newest first")
                << modified << 1 << -1 << QStringList{"Mid.dat", "small.txt", "big.bin", "dir"};
        QTest::newRow("modified second click: oldest first")
                << modified << 2 << 1 << QStringList{"dir", "big.bin", "small.txt", "Mid.dat"};
    }

    void headerClicksSort()
    {
        QFETCH(int, column);
        QFETCH(int, clicks);
        QFETCH(int, direction);
        QFETCH(QStringList, order);
        CheckedRecordSet set;
        CFileListModel list(&set);
        std::vector<FoundFileRecord> records{Record("small.txt", 5, 1), Record("dir", 0, 2, true),
                                             Record("big.bin", 5000, 3), Record("Mid.dat", 300, 4)};
        records[0].modified = vexlo::platform::FiletimeFromCalendar(2026, 6, 12, 10, 12, 59);
        records[2].modified = vexlo::platform::FiletimeFromCalendar(2026, 6, 12, 10, 12, 5);
        records[3].modified = vexlo::platform::FiletimeFromCalendar(2026, 10, 1, 8, 0, 0);
        std::vector<const FoundFileRecord *> rows;
        for (const auto &record : records)
            rows.push_back(&record);
        list.setRecords(&rows, {});
        std::optional<int> result;
        for (int i = 0; i < clicks; ++i)
            result = list.headerClick(column);
        QCOMPARE(result, std::optional<int>(direction));
        std::vector<std::string> expected;
        for (const QString &name : order)
            expected.push_back(name.toStdString());
        QCOMPARE(Names(list), expected);
    }

    void rowTextsAndIgnoredCheckColumn()
    {
        CheckedRecordSet set;
        CFileListModel list(&set);
        const FoundFileRecord folder = Record("photos", 0, 1, true);
        const FoundFileRecord bare = Record("README", 1023, 2);
        std::vector<const FoundFileRecord *> rows{&folder, &bare};
        list.setRecords(&rows, {});
        QCOMPARE(list.index(0, CFileListModel::kTypeColumn).data().toString(),
                 QStringLiteral("folder"));
        QCOMPARE(list.index(0, CFileListModel::kSizeColumn).data().toString(), QString());
        QCOMPARE(list.index(1, CFileListModel::kTypeColumn).data().toString(),
                 QStringLiteral("file"));
        QCOMPARE(list.index(1, CFileListModel::kSizeColumn).data().toString(),
                 QStringLiteral("1023 Bytes"));
        QCOMPARE(list.index(1, CFileListModel::kModifiedColumn).data().toString(),
                 CFileListModel::kNoDate);
        QVERIFY(!list.headerClick(CFileListModel::kCheckColumn));
    }

    void diskListShowsRemovableDisksNumberedEntriesAndImages()
    {
        CDiskListModel model;
        // Only fixed disks: no disk node, but images still appear.
        model.fill({Partition(1, 0, false, 2048)}, CDiskListModel::FillMode::kRebuild);
        QCOMPARE(model.rowCount(), 0);
        const QModelIndex image = model.addImage(QStringLiteral("/tmp/card.img"), 4096);
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(image.data().toString(), QStringLiteral("card.img"));
        QCOMPARE(model.sourceOf(image)->id, CDiskListModel::kFirstImageId);
        QCOMPARE(model.sourceOf(model.addImage(QStringLiteral("/tmp/b.img"), 1))->id,
                 CDiskListModel::kFirstImageId + 1);

        // A card arrives: its disk goes before the image group, and its
        // entries are named by their device nodes.
        const QModelIndex added
                = model.fill({Partition(1, 0, false, 2048), Partition(2, 1, true, 2048, "CARD"),
                              Partition(3, 1, true, 900000)},
                             CDiskListModel::FillMode::kAddArrived);
        QCOMPARE(model.rowCount(), 2);
        QVERIFY(model.index(0, 0).data().toString().startsWith(
                QStringLiteral("Removable disk (/dev/sdb), ")));
        QCOMPARE(model.index(1, 0), model.imageGroup());
        QCOMPARE(model.index(0, 0, model.index(0, 0)).data().toString(),
                 QStringLiteral("/dev/sdb2 · CARD"));
        QCOMPARE(added.data().toString(), QStringLiteral("/dev/sdb3"));
        QCOMPARE(model.preferredSelection(), model.index(0, 0, model.index(0, 0)));
        QCOMPARE(model.sourcesUnder(model.index(0, 0)).size(), std::size_t{2});
        QCOMPARE(model.diskNumberOf(model.index(0, 0)), std::optional<int32_t>(1));

        // A second arrival of the same disk adds nothing.
        model.fill({Partition(2, 1, true, 2048, "CARD")}, CDiskListModel::FillMode::kAddArrived);
        QCOMPARE(model.sources().size(), std::size_t{4});

        // The card is pulled.
        model.fill({Partition(1, 0, false, 2048)}, CDiskListModel::FillMode::kDropDeparted);
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.sources().size(), std::size_t{2});
    }

    void sourceIdsStayUniqueWhenPositionsMove()
    {
        CDiskListModel model;
        model.fill({Partition(1, 2, true, 2048)}, CDiskListModel::FillMode::kRebuild);
        // A card on a lower disk number shifts positions: the new entry is
        // number 1 too, and must not take the routing number of the first.
        model.fill({Partition(1, 1, true, 2048), Partition(2, 2, true, 2048)},
                   CDiskListModel::FillMode::kAddArrived);
        const auto sources = model.sources();
        QCOMPARE(sources.size(), std::size_t{2});
        QVERIFY(sources[0]->id != sources[1]->id);
    }

    // An image with a partition table is a node with a leaf per partition,
    // each read through the image at its first sector; every image source
    // gets a routing number of its own from 0x8000 on.
    void imageWithATableIsANodeOfPartitions()
    {
        CDiskListModel model;
        const QModelIndex plain = model.addImage(QStringLiteral("/tmp/plain.img"), 4096);
        vexlo::MediumLayout layout;
        layout.table_type = "gpt";
        layout.total_sectors = 200000;
        layout.partitions
                = {{1, 2048, 100000, 0, "FAT32", "CARD"}, {2, 102048, 90000, 0, "exFAT", ""}};
        const QModelIndex node
                = model.addImage(QStringLiteral("/tmp/card.img"), 200000 * 512, layout);
        QCOMPARE(node.data().toString(), QStringLiteral("card.img"));
        QCOMPARE(model.imagePathOf(node), QStringLiteral("/tmp/card.img"));
        QVERIFY(model.imagePathOf(plain).isEmpty());
        QCOMPARE(model.sourceOf(node), nullptr);
        QCOMPARE(model.rowCount(node), 2);
        QCOMPARE(model.index(0, 0, node).data().toString(), QStringLiteral("card.img:1 · CARD"));
        QCOMPARE(model.index(1, 0, node).data().toString(), QStringLiteral("card.img:2"));
        QCOMPARE(model.index(1, 1, node).data().toString(), QStringLiteral("exFAT"));
        const std::vector<SourceEntry *> parts = model.sourcesUnder(node);
        QCOMPARE(parts.size(), std::size_t{2});
        QCOMPARE(parts[1]->partitionNumber, 2u);
        QCOMPARE(parts[1]->firstSector, uint64_t{102048});
        QCOMPARE(parts[1]->sectorCount, uint64_t{90000});
        QCOMPARE(ImageSourceName(*parts[1]), QStringLiteral("card.img:2"));
        QCOMPARE(model.sourceOf(plain)->partitionNumber, 0u);
        std::set<uint16_t> ids;
        for (SourceEntry *source : model.sources()) {
            QVERIFY(source->id >= CDiskListModel::kFirstImageId);
            ids.insert(source->id);
        }
        QCOMPARE(ids.size(), std::size_t{3});
        QVERIFY(model.isInImageGroup(model.index(0, 0, node)));
        QVERIFY(model.isInImageGroup(node));
        QVERIFY(!model.isInImageGroup({}));
    }

    void imageTargetLimits_data()
    {
        QTest::addColumn<qulonglong>("source");
        QTest::addColumn<QString>("fileSystem");
        QTest::addColumn<qlonglong>("freeBytes"); // -1: unknown
        QTest::addColumn<int>("verdict");
        const qulonglong gib = 1ull << 30;
        const qlonglong plenty = 1ll << 50;
        const int ok = int(ImageTargetVerdict::kAccepted);
        QTest::newRow("FAT32, largest file") << 4 * gib - 1 << "FAT32" << plenty << ok;
        QTest::newRow("FAT32, 4 GiB")
                << 4 * gib << "FAT32" << plenty << int(ImageTargetVerdict::kTooLargeForFat32);
        QTest::newRow("FAT32 holds more than 2 GiB") << 3 * gib << "fat32" << plenty << ok;
        QTest::newRow("FAT, 2 GiB") << 2 * gib << "FAT" << plenty << ok;
        QTest::newRow("FAT, one byte more")
                << 2 * gib + 1 << "FAT" << plenty << int(ImageTargetVerdict::kTooLargeForFat);
        QTest::newRow("exFAT has no limit") << 64 * gib << "exFAT" << plenty << ok;
        QTest::newRow("free equal to source")
                << gib << "ext4" << qlonglong(gib) << int(ImageTargetVerdict::kNotEnoughSpace);
        QTest::newRow("one byte to spare") << gib << "ext4" << qlonglong(gib + 1) << ok;
        QTest::newRow("free space unknown") << gib << "ext4" << -1ll << ok;
    }

    void imageTargetLimits()
    {
        QFETCH(qulonglong, source);
        QFETCH(QString, fileSystem);
        QFETCH(qlonglong, freeBytes);
        QFETCH(int, verdict);
        const std::optional<uint64_t> free
                = freeBytes < 0 ? std::nullopt : std::optional<uint64_t>(freeBytes);
        QCOMPARE(int(CheckImageTargetSize(source, fileSystem.toStdString(), free)), verdict);
    }

    void deviceEventsInOneBurstGiveOneRefresh()
    {
        CDeviceWatch watch(false);
        watch.setSettleInterval(0);
        QSignalSpy arrived(&watch, &CDeviceWatch::disksArrived);
        QSignalSpy removed(&watch, &CDeviceWatch::disksRemoved);
        for (int i = 0; i < 4; ++i)
            watch.notifyArrival();
        watch.notifyRemoval();
        QVERIFY(arrived.wait());
        QCoreApplication::processEvents();
        if (removed.isEmpty())
            QVERIFY(removed.wait());
        QCoreApplication::processEvents();
        QCOMPARE(arrived.count(), 1);
        QCOMPARE(removed.count(), 1);
    }
};

QTEST_MAIN(ResultViewsTest)
#include "result_views_test.moc"
