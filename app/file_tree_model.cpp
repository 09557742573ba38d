#include "file_tree_model.h"

#include "checked_record_set.h"
#include "file_icons.h"

using vexlo::catalogue::kNoExtensionKey;

namespace {

constexpr int kRecordsRole = Qt::UserRole + 1;
// Category nodes: the box they stand for and the records under them.
constexpr int kBoxRole = Qt::UserRole + 2;
constexpr int kCountRole = Qt::UserRole + 3;

QString qs(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QStandardItem *NewNode(const QString &text)
{
    auto *item = new QStandardItem(text);
    item->setEditable(false);
    item->setCheckable(true);
    item->setCheckState(Qt::Unchecked);
    return item;
}

} // namespace

CFileTreeModel::CFileTreeModel(CheckedRecordSet *checked, QObject *parent)
    : QStandardItemModel(parent)
    , m_checked(checked)
{
}

void CFileTreeModel::build(const vexlo::catalogue::RecordsByExtension &groups,
                           const vexlo::catalogue::ExtensionSelection &selection,
                           bool otherSelected, const CategoryTexts &categoryTexts)
{
    clear();
    std::array<QStandardItem *, vexlo::catalogue::kTypeBoxCount> categories{};
    std::array<std::size_t, vexlo::catalogue::kTypeBoxCount> counts{};
    QStandardItem *unknown = nullptr;
    for (const auto &[extension, records] : groups) {
        if (records.empty())
            continue;
        const auto entry = vexlo::catalogue::TypeTreeEntryFor(selection, extension, records.size(),
                                                              otherSelected);
        if (!entry)
            continue;
        const auto box = static_cast<std::size_t>(entry->box);
        if (categories[box] == nullptr)
            categories[box] = NewNode(categoryTexts[box]);
        QStandardItem *node = NewNode(QString::fromStdString(entry->text));
        node->setIcon(FileIcon(qs(entry->icon)));
        node->setData(QVariant::fromValue(reinterpret_cast<quintptr>(&records)), kRecordsRole);
        categories[box]->appendRow(node);
        counts[box] += records.size();
        if (extension == kNoExtensionKey)
            unknown = node;
    }
    // "unknow" sorts among the real extensions in the map; it belongs after
    // all of them so that the named types are read first.
    if (unknown != nullptr) {
        QStandardItem *parent = unknown->parent();
        parent->appendRow(parent->takeRow(unknown->row()));
    }
    for (std::size_t box = 0; box < categories.size(); ++box) {
        if (categories[box] == nullptr)
            continue;
        categories[box]->setData(int(box), kBoxRole);
        categories[box]->setData(qulonglong(counts[box]), kCountRole);
        appendRow(categories[box]);
    }
    setCategoryTexts(categoryTexts);
}

void CFileTreeModel::setCategoryTexts(const CategoryTexts &categoryTexts)
{
    for (int row = 0; row < rowCount(); ++row) {
        QStandardItem *category = item(row);
        const auto box = static_cast<std::size_t>(category->data(kBoxRole).toInt());
        category->setText(QStringLiteral("%1 (%2)")
                                  .arg(categoryTexts[box])
                                  .arg(category->data(kCountRole).toULongLong()));
    }
}

QModelIndex CFileTreeModel::firstTypeNode() const
{
    const QModelIndex category = index(0, 0);
    return category.isValid() ? index(0, 0, category) : QModelIndex();
}

QModelIndex CFileTreeModel::typeNodeOf(const RecordList *records) const
{
    for (int row = 0; row < rowCount(); ++row) {
        const QStandardItem *category = item(row);
        for (int child = 0; child < category->rowCount(); ++child) {
            const QModelIndex node = category->child(child)->index();
            if (recordsOf(node) == records)
                return node;
        }
    }
    return {};
}

void CFileTreeModel::refreshChecks()
{
    for (int row = 0; row < rowCount(); ++row) {
        const QStandardItem *category = item(row);
        for (int child = 0; child < category->rowCount(); ++child) {
            const QModelIndex node = category->child(child)->index();
            std::size_t checked = 0;
            const RecordList *records = recordsOf(node);
            for (const vexlo::FoundFileRecord *record : *records)
                checked += m_checked->Contains(*record) ? 1 : 0;
            setTypeNodeCount(node, checked, records->size());
        }
    }
}

const CFileTreeModel::RecordList *CFileTreeModel::recordsOf(const QModelIndex &node) const
{
    const QVariant value = data(node, kRecordsRole);
    return value.isValid() ? reinterpret_cast<const RecordList *>(value.value<quintptr>())
                           : nullptr;
}

bool CFileTreeModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::CheckStateRole)
        return QStandardItemModel::setData(index, value, role);
    applyCheck(index, value.value<Qt::CheckState>() == Qt::Checked);
    return true;
}

void CFileTreeModel::applyCheck(const QModelIndex &node, bool checked)
{
    QStandardItem *item = itemFromIndex(node);
    if (item == nullptr)
        return;
    setSubtree(item, checked ? Qt::Checked : Qt::Unchecked);
    markRecords(item, checked);
    updateAncestors(item);
    emit nodeChecked(node, checked);
}

void CFileTreeModel::setTypeNodeCount(const QModelIndex &node, std::size_t checkedCount,
                                      std::size_t total)
{
    QStandardItem *item = itemFromIndex(node);
    if (item == nullptr)
        return;
    const Qt::CheckState state = checkedCount == 0 ? Qt::Unchecked
            : checkedCount >= total                ? Qt::Checked
                                                   : Qt::PartiallyChecked;
    item->setCheckState(state);
    updateAncestors(item);
}

void CFileTreeModel::markRecords(QStandardItem *item, bool checked)
{
    if (const RecordList *records = recordsOf(item->index())) {
        for (const vexlo::FoundFileRecord *record : *records) {
            if (checked)
                m_checked->Add(*record);
            else
                m_checked->Remove(*record);
        }
    }
    for (int row = 0; row < item->rowCount(); ++row)
        markRecords(item->child(row), checked);
}

void CFileTreeModel::setSubtree(QStandardItem *item, Qt::CheckState state)
{
    item->setCheckState(state);
    for (int row = 0; row < item->rowCount(); ++row)
        setSubtree(item->child(row), state);
}

void CFileTreeModel::updateAncestors(QStandardItem *item)
{
    for (QStandardItem *parent = item->parent(); parent != nullptr; parent = parent->parent()) {
        int checked = 0;
        bool some = false;
        for (int row = 0; row < parent->rowCount(); ++row) {
            const Qt::CheckState state = parent->child(row)->checkState();
            checked += state == Qt::Checked ? 1 : 0;
            some = some || state != Qt::Unchecked;
        }
        parent->setCheckState(checked == parent->rowCount() ? Qt::Checked
                                      : some                ? Qt::PartiallyChecked
                                                            : Qt::Unchecked);
    }
}
