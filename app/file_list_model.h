// The file list of the results page: the records of one type node in seven
// columns (check box, name, size, modified, created, path, type).
//
// The model holds only pointers to the records and formats a cell when the
// view asks for it. Dates read "2026-06-12 10:12" and sort by the time
// itself; the path column shows the folder the search found the record in
// (setFolderPaths), "/" for the root, nothing for a carved file, which has
// no folder. A node of more than kPageSize records is shown a page at
// a time (the page selector under the list picks it), so that a card with
// 100,000 pictures does not give a list nobody can find anything in; sorting
// orders all records of the node, then shows the current page again. The
// check box of a row shows whether its record is in the CheckedRecordSet;
// the model counts the checked records of the whole node, on every page, so
// that the header box and the node's box follow a row check without a walk
// over the records.
#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>
#include <QStringList>

#include <array>
#include <map>
#include <optional>
#include <vector>

#include "engine/found_file_record.h"

class CheckedRecordSet;

class CFileListModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column {
        kCheckColumn = 0,
        kNameColumn,
        kSizeColumn,
        kModifiedColumn,
        kCreatedColumn,
        kPathColumn,
        kTypeColumn,
        kColumnCount
    };
    static const QString kNoDate;
    // The folder of each record ("DCIM/100CANON/"), by record.
    using FolderPaths = QHash<const vexlo::FoundFileRecord *, QString>;
    static constexpr int kPageSize = 5000;

    explicit CFileListModel(CheckedRecordSet *checked, QObject *parent = nullptr);

    // Shows `records` (in this order) from their first page, with `icon` in
    // the name column; null empties the list. A paged list marks each row
    // with the icon of its own type instead, so that damaged files stand out
    // among many.
    void setRecords(const std::vector<const vexlo::FoundFileRecord *> *records, const QIcon &icon);
    void setHeaderTexts(const QStringList &texts);
    QString headerText(int column) const { return m_headerTexts.value(column); }
    // The folders of the records (null: none known); they must outlive
    // the records shown.
    void setFolderPaths(const FolderPaths *paths);

    // Pages count from 1; an empty or small node has one page.
    int pageCount() const;
    int page() const { return m_page; }
    // Shows the rows of `page` (clamped to the pages there are).
    void setPage(int page);

    // The record of a row of the shown page.
    const vexlo::FoundFileRecord *record(int row) const;
    // Records of the node, on every page, and how many of them are checked.
    std::size_t recordCount() const { return m_records.size(); }
    std::size_t checkedRecordCount() const { return m_checkedRecords; }
    // Re-reads every row's check from the set (after a node was checked).
    void refreshChecks();

    // The text of a cell as shown; also the sort key of the text columns.
    QString cellText(const vexlo::FoundFileRecord &record, int column) const;
    // The type column's text: the name's extension as written, "folder" or
    // "file".
    static QString typeText(const vexlo::FoundFileRecord &record);

    // A click on a header item: toggles that column's direction and sorts.
    // Returns the new direction (1 ascending, -1 descending, 0 for Path,
    // which keeps its order), or nothing for the check column.
    std::optional<int> headerClick(int column);
    int direction(int column) const { return m_directions[column]; }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;

signals:
    // The user checked or unchecked one row.
    void rowCheckToggled(int row, bool checked);
    // Other records were set, so the pages are new.
    void pagesChanged();

private:
    void sortRecords(int column, int direction);
    std::size_t firstShown() const { return std::size_t(m_page - 1) * kPageSize; }
    int shownRows() const;
    void countChecked();
    const QIcon &rowIcon(const vexlo::FoundFileRecord &record) const;

    CheckedRecordSet *m_checked;
    // Every record of the node, in the order shown.
    std::vector<const vexlo::FoundFileRecord *> m_records;
    int m_page = 1;
    QIcon m_icon;
    // Icons of paged rows by name; a few dozen names at most.
    mutable std::map<std::string, QIcon> m_rowIcons;
    QStringList m_headerTexts;
    const FolderPaths *m_folderPaths = nullptr;
    std::size_t m_checkedRecords = 0;
    std::array<int, kColumnCount> m_directions{};
};
