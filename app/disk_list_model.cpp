#include "disk_list_model.h"

#include <QFileInfo>

#include <algorithm>

#include "device_names.h"
#include "message_format.h"
#include "size_text.h"
#include "skin_images.h"

namespace {

constexpr int kEntryRole = Qt::UserRole + 1;
constexpr int kDiskRole = Qt::UserRole + 2;
constexpr int kImageRole = Qt::UserRole + 3;

QStandardItem *Cell(const QString &text, const char *picture = nullptr)
{
    auto *item = new QStandardItem(text);
    item->setEditable(false);
    item->setToolTip(text);
    if (picture != nullptr)
        item->setIcon(SkinIcon(QLatin1String(picture)));
    return item;
}

// "card.img:2 · LABEL": a partition of an image has no device node.
QString ImagePartitionText(const QString &path, const vexlo::MediumPartition &part)
{
    const QString name = ImagePartName(QFileInfo(path).fileName(), part.number);
    return part.label.empty()
            ? name
            : QStringLiteral("%1 · %2").arg(name, QString::fromStdString(part.label));
}

// A stick is told from a card by its picture before its name is read.
const char *DiskPicture(const vexlo::PartitionRecord &record)
{
    if (record.usb)
        return "usb_drive.png";
    return record.removable ? "removable_drive.png" : "disk.png";
}

} // namespace

CDiskListModel::CDiskListModel(QObject *parent)
    : QStandardItemModel(0, kColumns, parent)
{
}

void CDiskListModel::setWords(const Words &words)
{
    m_words = words;
    for (int row = 0; row < rowCount(); ++row) {
        QStandardItem *node = item(row);
        if (const QVariant disk = node->data(kDiskRole); disk.isValid()) {
            node->setText(diskText(disk.toInt()));
            describeDisk(node);
            for (int child = 0; child < node->rowCount(); ++child)
                describeLeaf(node->child(child));
        }
    }
}

QString CDiskListModel::diskText(int32_t diskNumber) const
{
    const auto found = std::find_if(m_entries.begin(), m_entries.end(), [&](const auto &entry) {
        return entry->record && entry->record->disk_number == diskNumber;
    });
    if (found == m_entries.end())
        return {};
    return diskText(*(*found)->record);
}

QString CDiskListModel::diskText(const vexlo::PartitionRecord &record) const
{
    return DiskName(record.removable ? m_words.removableDisk : m_words.fixedDisk, record);
}

void CDiskListModel::describeLeaf(QStandardItem *leaf) const
{
    const vexlo::PartitionRecord *record = recordOf(leaf->index());
    if (record == nullptr)
        return;
    // A refused device stays listed so that the user learns why it cannot
    // be scanned, instead of wondering where the card went.
    const bool refused = record->access_error != 0;
    leaf->setIcon(SkinIcon(QLatin1String(refused ? "lock.png" : "drive_usb.png")));
    leaf->setToolTip(refused ? FormatMessage(m_words.refused, {DeviceNode(*record)})
                             : PartitionDescription(*record));
}

void CDiskListModel::describeDisk(QStandardItem *node) const
{
    const vexlo::PartitionRecord *first = nullptr;
    bool refused = node->rowCount() > 0;
    for (int child = 0; child < node->rowCount(); ++child) {
        const vexlo::PartitionRecord *record = recordOf(node->child(child)->index());
        if (record == nullptr)
            return;
        if (first == nullptr)
            first = record;
        refused = refused && record->access_error != 0 && record->disk_access_error != 0;
    }
    if (first == nullptr)
        return;
    // Where a volume could be read, the disk can be scanned through it: only
    // a disk with nothing readable on it is locked as a whole.
    node->setIcon(SkinIcon(QLatin1String(refused ? "lock.png" : DiskPicture(*first))));
    node->setToolTip(refused ? FormatMessage(m_words.refused,
                                             {QString::fromStdString(first->disk_path.string())})
                             : node->text());
}

QModelIndex CDiskListModel::fill(const std::vector<vexlo::PartitionRecord> &entries, FillMode mode)
{
    if (mode == FillMode::kRebuild) {
        removeRows(0, rowCount());
        m_entries.clear();
        m_imageGroup = nullptr;
    }
    if (mode == FillMode::kDropDeparted) {
        for (int row = rowCount() - 1; row >= 0; --row) {
            QStandardItem *node = item(row);
            const QVariant disk = node->data(kDiskRole);
            if (!disk.isValid())
                continue;
            const bool present = std::any_of(entries.begin(), entries.end(), [&](const auto &e) {
                return e.removable && e.disk_number == disk.toInt();
            });
            if (!present) {
                dropEntriesUnder(node);
                removeRow(row);
            }
        }
        return {};
    }

    QModelIndex added;
    std::vector<int32_t> listedBefore;
    for (int row = 0; row < rowCount(); ++row)
        if (const QVariant disk = item(row)->data(kDiskRole); disk.isValid())
            listedBefore.push_back(disk.toInt());
    for (const vexlo::PartitionRecord &record : entries) {
        if (!record.removable)
            continue;
        if (std::find(listedBefore.begin(), listedBefore.end(), record.disk_number)
            != listedBefore.end())
            continue;
        QStandardItem *disk = diskNode(record.disk_number);
        if (disk == nullptr) {
            disk = Cell(diskText(record), DiskPicture(record));
            disk->setData(record.disk_number, kDiskRole);
            // Disks go before the image group, which stays last.
            const int row = m_imageGroup != nullptr ? m_imageGroup->row() : rowCount();
            insertRow(row, {disk, Cell({}), Cell({})});
        }
        auto entry = std::make_unique<Entry>();
        entry->source.id = freeSourceId(record.id, kFirstImageId);
        entry->source.diskNumber = static_cast<uint32_t>(std::max(record.disk_number, 0));
        entry->source.firstSector = record.start;
        entry->source.sectorCount = record.length;
        entry->source.deviceName = DeviceWithLabel(record);
        entry->record = record;
        QStandardItem *leaf = addLeaf(disk, std::move(entry),
                                      {Cell(PartitionName(record)),
                                       Cell(QString::fromStdString(record.file_system)),
                                       Cell(SizeText(record.total_bytes))});
        describeLeaf(leaf);
        describeDisk(disk);
        added = leaf->index();
    }
    return added;
}

QModelIndex CDiskListModel::addImage(const QString &path, uint64_t bytes,
                                     const vexlo::MediumLayout &layout)
{
    if (m_imageGroup == nullptr) {
        m_imageGroup = Cell(QStringLiteral("Image File"), "image_files.png");
        m_imageGroup->setData(QStringLiteral("ImageFile"), Qt::AccessibleDescriptionRole);
        appendRow({m_imageGroup, Cell({}), Cell({})});
    }
    const QString name = QFileInfo(path).fileName();
    if (layout.table_type.empty()) {
        return addLeaf(m_imageGroup, imageEntry(path, {}),
                       {Cell(name, "image_file.png"), Cell({}), Cell(SizeText(bytes))})
                ->index();
    }
    QStandardItem *node = Cell(name, "image_file.png");
    node->setData(path, kImageRole);
    m_imageGroup->appendRow({node, Cell({}), Cell(SizeText(bytes))});
    for (const vexlo::MediumPartition &part : layout.partitions) {
        addLeaf(node, imageEntry(path, part),
                {Cell(ImagePartitionText(path, part), "drive_usb.png"),
                 Cell(QString::fromStdString(part.file_system)),
                 Cell(SizeText(part.sector_count * layout.sector_bytes))});
    }
    return node->index();
}

std::unique_ptr<CDiskListModel::Entry>
CDiskListModel::imageEntry(const QString &path, const vexlo::MediumPartition &part)
{
    auto entry = std::make_unique<Entry>();
    entry->source.isImage = true;
    entry->source.imagePath = path;
    entry->source.partitionNumber = part.number;
    entry->source.firstSector = part.first_sector;
    entry->source.sectorCount = part.sector_count;
    entry->source.id = freeSourceId(kFirstImageId, 0x10000);
    return entry;
}

QStandardItem *CDiskListModel::addLeaf(QStandardItem *parent, std::unique_ptr<Entry> entry,
                                       const QList<QStandardItem *> &cells)
{
    cells[0]->setData(QVariant::fromValue(reinterpret_cast<quintptr>(entry.get())), kEntryRole);
    m_entries.push_back(std::move(entry));
    parent->appendRow(cells);
    return cells[0];
}

SourceEntry *CDiskListModel::sourceOf(const QModelIndex &index) const
{
    const QVariant value = data(index.siblingAtColumn(0), kEntryRole);
    return value.isValid() ? &reinterpret_cast<Entry *>(value.value<quintptr>())->source : nullptr;
}

const vexlo::PartitionRecord *CDiskListModel::recordOf(const QModelIndex &index) const
{
    const QVariant value = data(index.siblingAtColumn(0), kEntryRole);
    if (!value.isValid())
        return nullptr;
    const auto &record = reinterpret_cast<Entry *>(value.value<quintptr>())->record;
    return record ? &*record : nullptr;
}

const vexlo::PartitionRecord *CDiskListModel::recordOfSource(const SourceEntry *source) const
{
    const auto found
            = std::find_if(m_entries.begin(), m_entries.end(),
                           [source](const auto &entry) { return &entry->source == source; });
    return found != m_entries.end() && (*found)->record ? &*(*found)->record : nullptr;
}

std::optional<int32_t> CDiskListModel::diskNumberOf(const QModelIndex &index) const
{
    const QVariant value = data(index.siblingAtColumn(0), kDiskRole);
    return value.isValid() ? std::optional<int32_t>(value.toInt()) : std::nullopt;
}

QString CDiskListModel::imagePathOf(const QModelIndex &index) const
{
    return data(index.siblingAtColumn(0), kImageRole).toString();
}

std::vector<SourceEntry *> CDiskListModel::sourcesUnder(const QModelIndex &index) const
{
    std::vector<SourceEntry *> found;
    if (SourceEntry *source = sourceOf(index)) {
        found.push_back(source);
        return found;
    }
    const QModelIndex node = index.siblingAtColumn(0);
    for (int row = 0; row < rowCount(node); ++row)
        if (SourceEntry *source = sourceOf(this->index(row, 0, node)))
            found.push_back(source);
    return found;
}

std::vector<SourceEntry *> CDiskListModel::sources() const
{
    std::vector<SourceEntry *> all;
    all.reserve(m_entries.size());
    for (const auto &entry : m_entries)
        all.push_back(&entry->source);
    return all;
}

QModelIndex CDiskListModel::imageGroup() const
{
    return m_imageGroup != nullptr ? m_imageGroup->index() : QModelIndex();
}

bool CDiskListModel::isInImageGroup(const QModelIndex &index) const
{
    for (QModelIndex at = index.siblingAtColumn(0); at.isValid(); at = at.parent()) {
        if (at == imageGroup())
            return true;
    }
    return false;
}

QModelIndex CDiskListModel::preferredSelection() const
{
    for (int row = 0; row < rowCount(); ++row) {
        const QModelIndex top = index(row, 0);
        if (top != imageGroup() && rowCount(top) > 0)
            return index(0, 0, top);
    }
    return rowCount() > 1 ? index(1, 0) : QModelIndex();
}

QStandardItem *CDiskListModel::diskNode(int32_t diskNumber) const
{
    for (int row = 0; row < rowCount(); ++row) {
        const QVariant disk = item(row)->data(kDiskRole);
        if (disk.isValid() && disk.toInt() == diskNumber)
            return item(row);
    }
    return nullptr;
}

void CDiskListModel::dropEntriesUnder(QStandardItem *node)
{
    for (int row = 0; row < node->rowCount(); ++row) {
        const QVariant value = node->child(row)->data(kEntryRole);
        const auto *gone = reinterpret_cast<Entry *>(value.value<quintptr>());
        std::erase_if(m_entries, [gone](const auto &entry) { return entry.get() == gone; });
    }
}

uint16_t CDiskListModel::freeSourceId(uint16_t wanted, uint32_t end) const
{
    auto taken = [this](uint16_t id) {
        return std::any_of(m_entries.begin(), m_entries.end(),
                           [id](const auto &entry) { return entry->source.id == id; });
    };
    uint16_t id = wanted;
    while (taken(id) && id + 1u < end)
        ++id;
    return id;
}
