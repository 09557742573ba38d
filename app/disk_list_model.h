// The disk list of the source page: removable disks with their partitions,
// then the "Image File" group with the image files the user added. An image
// of a whole card, with a partition table, is a node with its partitions
// under it, as a disk is; an image without a table is one leaf.
//
// The model owns one SourceEntry per partition and image file, in the order
// added; every leaf refers to its entry, a disk node carries its disk number
// and an image node its path. Devices are named by their nodes under /dev
// (see device_names.h). Fixed disks are never listed: the program is for cards and sticks,
// and a scan of the system disk is almost always a mistake.
//
// Source identifiers: partitions keep their position number unless an
// earlier entry still holds it (positions move when a card arrives), images
// and their partitions are numbered from 0x8000. Records are routed to
// engines by this number, so two live sources never share it.
#pragma once

#include <QStandardItemModel>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "source_entry.h"
#include "storage/medium_layout.h"
#include "storage/partition_record.h"

class CDiskListModel : public QStandardItemModel
{
    Q_OBJECT

public:
    enum class FillMode { kRebuild = 0, kAddArrived = 1, kDropDeparted = 2 };
    static constexpr uint16_t kFirstImageId = 0x8000;
    static constexpr int kColumns = 3;

    explicit CDiskListModel(QObject *parent = nullptr);

    // The texts of the current language; listed disks and refused entries
    // are described again with them, so the list follows a change of
    // language.
    struct Words
    {
        QString removableDisk = QStringLiteral("Removable disk");
        QString fixedDisk = QStringLiteral("Disk");
        QString refused = QStringLiteral("Permission denied for %s.");
    };
    void setWords(const Words &words);

    // Applies a fresh partition list. Returns the last partition node added
    // (the one to select after an arrival), or invalid.
    QModelIndex fill(const std::vector<vexlo::PartitionRecord> &entries, FillMode mode);
    // Adds an image file under the image group (created with the first): a
    // leaf, or for an image with a partition table (see `layout`) a node
    // with a leaf per partition. Returns the leaf or the node.
    QModelIndex addImage(const QString &path, uint64_t bytes,
                         const vexlo::MediumLayout &layout = {});

    SourceEntry *sourceOf(const QModelIndex &index) const;
    // The partition of a partition leaf; null for disks and images.
    const vexlo::PartitionRecord *recordOf(const QModelIndex &index) const;
    // The partition a listed source reads; null for images and unknown sources.
    const vexlo::PartitionRecord *recordOfSource(const SourceEntry *source) const;
    std::optional<int32_t> diskNumberOf(const QModelIndex &index) const;
    // The path of an image node (an image with a partition table); empty
    // for every other row.
    QString imagePathOf(const QModelIndex &index) const;
    // A leaf gives itself, a disk every partition under it, in order.
    std::vector<SourceEntry *> sourcesUnder(const QModelIndex &index) const;
    // Every source in the order added.
    std::vector<SourceEntry *> sources() const;

    QModelIndex imageGroup() const;
    // Whether `index` is the image group or lies anywhere below it.
    bool isInImageGroup(const QModelIndex &index) const;
    // What to select when the source page opens: the first partition of a
    // removable disk, else the second top-level row, else nothing.
    QModelIndex preferredSelection() const;

private:
    struct Entry
    {
        SourceEntry source;
        std::optional<vexlo::PartitionRecord> record;
    };

    QStandardItem *diskNode(int32_t diskNumber) const;
    QString diskText(int32_t diskNumber) const;
    QString diskText(const vexlo::PartitionRecord &record) const;
    // The picture and tooltip of a partition leaf: a lock and the reason
    // for an entry the system refused to open.
    void describeLeaf(QStandardItem *leaf) const;
    // The same for a disk node: a lock and the reason when the system
    // refused the disk and every volume on it.
    void describeDisk(QStandardItem *node) const;
    QStandardItem *addLeaf(QStandardItem *parent, std::unique_ptr<Entry> entry,
                           const QList<QStandardItem *> &cells);
    std::unique_ptr<Entry> imageEntry(const QString &path, const vexlo::MediumPartition &part);
    void dropEntriesUnder(QStandardItem *node);
    // The first identifier from `wanted` on, below `end`, that no source
    // holds.
    uint16_t freeSourceId(uint16_t wanted, uint32_t end) const;

    Words m_words;
    std::vector<std::unique_ptr<Entry>> m_entries;
    QStandardItem *m_imageGroup = nullptr;
};
