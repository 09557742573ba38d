#include "file_list_model.h"

#include <algorithm>
#include <unordered_map>

#include "catalogue/display_format.h"
#include "catalogue/file_icon.h"
#include "checked_record_set.h"
#include "file_icons.h"
#include "size_text.h"

using vexlo::FoundFileRecord;

const QString CFileListModel::kNoDate = QStringLiteral("    ----    ");

namespace {

QString DateOrDashes(uint64_t filetime)
{
    return filetime == 0 ? CFileListModel::kNoDate
                         : QString::fromStdString(vexlo::catalogue::DateText(filetime));
}

// Time order, as the full stored time: the text shows minutes only, and
// pictures taken within one minute still come in the order taken.
uint64_t TimeOf(const FoundFileRecord &record, int column)
{
    return column == CFileListModel::kModifiedColumn ? uint64_t{record.modified}
                                                     : uint64_t{record.created};
}

// Size order: a folder before a file, then by size as a signed number (a
// damaged size field reads negative and must sort the same everywhere).
int CompareSize(const FoundFileRecord &a, const FoundFileRecord &b)
{
    const bool folderA = a.is_folder != 0;
    const bool folderB = b.is_folder != 0;
    if (folderA != folderB)
        return folderA ? -1 : 1;
    const auto sizeA = static_cast<int64_t>(a.size);
    const auto sizeB = static_cast<int64_t>(b.size);
    return sizeA < sizeB ? -1 : sizeA > sizeB ? 1 : 0;
}

} // namespace

CFileListModel::CFileListModel(CheckedRecordSet *checked, QObject *parent)
    : QAbstractTableModel(parent)
    , m_checked(checked)
    , m_headerTexts({QString(), QStringLiteral("Name"), QStringLiteral("Size"),
                     QStringLiteral("Modified Time"), QStringLiteral("Created Time"),
                     QStringLiteral("Path"), QStringLiteral("Type")})
{
    m_directions.fill(0);
}

void CFileListModel::setRecords(const std::vector<const FoundFileRecord *> *records,
                                const QIcon &icon)
{
    beginResetModel();
    m_records = records != nullptr ? *records : std::vector<const FoundFileRecord *>{};
    m_icon = icon;
    m_page = 1;
    countChecked();
    endResetModel();
    emit pagesChanged();
}

void CFileListModel::setFolderPaths(const FolderPaths *paths)
{
    m_folderPaths = paths;
    if (const int rows = shownRows(); rows > 0)
        emit dataChanged(index(0, kPathColumn), index(rows - 1, kPathColumn));
}

void CFileListModel::setHeaderTexts(const QStringList &texts)
{
    if (texts.size() != kColumnCount)
        return;
    m_headerTexts = texts;
    emit headerDataChanged(Qt::Horizontal, 0, kColumnCount - 1);
}

int CFileListModel::pageCount() const
{
    return std::max(1, static_cast<int>((m_records.size() + kPageSize - 1) / kPageSize));
}

void CFileListModel::setPage(int page)
{
    beginResetModel();
    m_page = std::clamp(page, 1, pageCount());
    endResetModel();
}

int CFileListModel::shownRows() const
{
    // The page is kept within the records, so the subtraction cannot wrap.
    return static_cast<int>(std::min<std::size_t>(m_records.size() - firstShown(), kPageSize));
}

const FoundFileRecord *CFileListModel::record(int row) const
{
    return row >= 0 && row < shownRows() ? m_records[firstShown() + std::size_t(row)] : nullptr;
}

void CFileListModel::countChecked()
{
    m_checkedRecords = 0;
    for (const FoundFileRecord *record : m_records)
        m_checkedRecords += m_checked->Contains(*record) ? 1 : 0;
}

void CFileListModel::refreshChecks()
{
    countChecked();
    if (const int rows = shownRows(); rows > 0)
        emit dataChanged(index(0, kCheckColumn), index(rows - 1, kCheckColumn),
                         {Qt::CheckStateRole});
}

QString CFileListModel::typeText(const FoundFileRecord &record)
{
    if (record.is_folder != 0)
        return QStringLiteral("folder");
    const std::string_view name = record.Name();
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos
            ? QStringLiteral("file")
            : QString::fromStdString(std::string(name.substr(dot + 1)));
}

QString CFileListModel::cellText(const FoundFileRecord &record, int column) const
{
    const bool folder = record.is_folder != 0;
    switch (column) {
    case kNameColumn:
        return QString::fromStdString(std::string(record.Name()));
    case kSizeColumn:
        return folder ? QString() : SizeText(record.size);
    case kModifiedColumn:
        return DateOrDashes(record.modified);
    case kCreatedColumn:
        return DateOrDashes(record.created);
    case kPathColumn: {
        if (record.fs_kind == uint32_t(vexlo::FsKind::kCarving) || m_folderPaths == nullptr)
            return QString();
        return QLatin1Char('/') + m_folderPaths->value(&record);
    }
    case kTypeColumn:
        return typeText(record);
    default:
        return QString();
    }
}

std::optional<int> CFileListModel::headerClick(int column)
{
    if (column <= kCheckColumn || column >= kColumnCount)
        return std::nullopt;
    int &direction = m_directions[column];
    switch (column) {
    case kNameColumn:
    case kTypeColumn:
        direction = direction == 1 ? -1 : 1;
        break;
    case kSizeColumn:
    case kModifiedColumn:
    case kCreatedColumn:
        direction = direction == -1 ? 1 : -1;
        break;
    default: // Path: every cell reads the same, so its order never changes
        break;
    }
    sortRecords(column, direction);
    return direction;
}

void CFileListModel::sortRecords(int column, int direction)
{
    const bool descending = direction != 1;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    const std::vector<const FoundFileRecord *> old = m_records;
    if (column == kSizeColumn) {
        std::stable_sort(m_records.begin(), m_records.end(),
                         [descending](const FoundFileRecord *a, const FoundFileRecord *b) {
                             return descending ? CompareSize(*b, *a) < 0 : CompareSize(*a, *b) < 0;
                         });
    } else if (column == kModifiedColumn || column == kCreatedColumn) {
        std::stable_sort(m_records.begin(), m_records.end(),
                         [descending, column](const FoundFileRecord *a, const FoundFileRecord *b) {
                             return descending ? TimeOf(*b, column) < TimeOf(*a, column)
                                               : TimeOf(*a, column) < TimeOf(*b, column);
                         });
    } else {
        // Keys are built once: formatting a cell per comparison would make a
        // sort of a large node take seconds.
        std::vector<std::pair<QString, const FoundFileRecord *>> keyed;
        keyed.reserve(m_records.size());
        for (const FoundFileRecord *record : m_records)
            keyed.emplace_back(cellText(*record, column).toLower(), record);
        std::stable_sort(keyed.begin(), keyed.end(), [descending](const auto &a, const auto &b) {
            return descending ? b.first < a.first : a.first < b.first;
        });
        for (std::size_t i = 0; i < keyed.size(); ++i)
            m_records[i] = keyed[i].second;
    }
    // Keep the view's selection and current row on the same records while
    // they stay on the shown page; a record sorted onto another page leaves
    // the selection.
    QModelIndexList after;
    if (!before.isEmpty()) {
        const std::size_t first = firstShown();
        const std::size_t end = first + std::size_t(shownRows());
        std::unordered_map<const FoundFileRecord *, std::size_t> newPosition;
        newPosition.reserve(m_records.size());
        for (std::size_t i = 0; i < m_records.size(); ++i)
            newPosition.emplace(m_records[i], i);
        after.reserve(before.size());
        for (const QModelIndex &index : before) {
            const std::size_t moved = newPosition.at(old[first + std::size_t(index.row())]);
            const bool shown = moved >= first && moved < end;
            after.append(shown ? this->index(int(moved - first), index.column()) : QModelIndex());
        }
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int CFileListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : shownRows();
}

int CFileListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CFileListModel::data(const QModelIndex &index, int role) const
{
    const FoundFileRecord *row = record(index.row());
    if (row == nullptr)
        return {};
    const int column = index.column();
    if (column == kCheckColumn)
        return role == Qt::CheckStateRole
                ? QVariant(m_checked->Contains(*row) ? Qt::Checked : Qt::Unchecked)
                : QVariant();
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return cellText(*row, column);
    if (role == Qt::DecorationRole && column == kNameColumn)
        return pageCount() > 1 ? rowIcon(*row) : m_icon;
    return {};
}

const QIcon &CFileListModel::rowIcon(const FoundFileRecord &record) const
{
    const std::string name
            = vexlo::catalogue::IconFor(typeText(record).toStdString(), record.content_check != 0);
    auto found = m_rowIcons.find(name);
    if (found == m_rowIcons.end())
        found = m_rowIcons.emplace(name, FileIcon(QString::fromStdString(name))).first;
    return found->second;
}

QVariant CFileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return m_headerTexts[section];
    return {};
}

Qt::ItemFlags CFileListModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.column() == kCheckColumn)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

bool CFileListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    const FoundFileRecord *row = record(index.row());
    if (row == nullptr || index.column() != kCheckColumn || role != Qt::CheckStateRole)
        return false;
    const bool checked = value.value<Qt::CheckState>() == Qt::Checked;
    const bool changed = checked ? m_checked->Add(*row) : m_checked->Remove(*row);
    if (!changed)
        return false;
    m_checkedRecords = checked ? m_checkedRecords + 1 : m_checkedRecords - 1;
    emit dataChanged(index, index, {Qt::CheckStateRole});
    emit rowCheckToggled(index.row(), checked);
    return true;
}
