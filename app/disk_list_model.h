// The disk list of the source page: removable disks with their partitions,
// then the "Image File" group with the image files the user added.
//
// The model owns one SourceEntry per partition and image file, in the order
// added; every leaf refers to its entry, and a disk node carries its disk
// number. Fixed disks are never listed: the program is for cards and sticks,
// and a scan of the system disk is almost always a mistake.
//
// Source identifiers: partitions keep their position number unless an
// earlier entry still holds it (positions move when a card arrives), images
// are numbered from 0x8000. Records are routed to engines by this number, so
// two live sources never share it.
#pragma once

#include <QStandardItemModel>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "source_entry.h"
#include "storage/partition_record.h"

class CDiskListModel : public QStandardItemModel
{
    Q_OBJECT

public:
    enum class FillMode { kRebuild = 0, kAddArrived = 1, kDropDeparted = 2 };
    static constexpr uint16_t kFirstImageId = 0x8000;
    static constexpr int kColumns = 3;

    explicit CDiskListModel(QObject *parent = nullptr);

    // The word before a disk's number ("Disk" in English); listed disks are
    // renamed with it, so the list follows a change of language.
    void setDiskWord(const QString &word);

    // Applies a fresh partition list. Returns the last partition node added
    // (the one to select after an arrival), or invalid.
    QModelIndex fill(const std::vector<vexlo::PartitionRecord> &entries, FillMode mode);
    // Adds an image file under the image group (created with the first).
    QModelIndex addImage(const QString &path, uint64_t bytes);

    SourceEntry *sourceOf(const QModelIndex &index) const;
    // The partition of a partition leaf; null for disks and images.
    const vexlo::PartitionRecord *recordOf(const QModelIndex &index) const;
    // The partition a listed source reads; null for images and unknown sources.
    const vexlo::PartitionRecord *recordOfSource(const SourceEntry *source) const;
    std::optional<int32_t> diskNumberOf(const QModelIndex &index) const;
    // A leaf gives itself, a disk every partition under it, in order.
    std::vector<SourceEntry *> sourcesUnder(const QModelIndex &index) const;
    // Every source in the order added.
    std::vector<SourceEntry *> sources() const;

    QModelIndex imageGroup() const;
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
    QStandardItem *addLeaf(QStandardItem *parent, std::unique_ptr<Entry> entry,
                           const QList<QStandardItem *> &cells);
    void dropEntriesUnder(QStandardItem *node);
    uint16_t freeSourceId(uint16_t wanted) const;

    QString m_diskWord = QStringLiteral("Disk");
    std::vector<std::unique_ptr<Entry>> m_entries;
    QStandardItem *m_imageGroup = nullptr;
    int m_imageCount = 0;
};
