// The file list of the results page: the records of one type node in seven
// columns (check box, name, size, modified, created, path, type).
//
// The model holds only pointers to the records and formats a cell when the
// view asks for it, so a node with 100,000 files shows at once and scrolls
// smoothly. The check box of a row shows whether its record is in the
// CheckedRecordSet; the model counts the checked rows so that the header box
// and the node's box can follow a row check without a walk over the rows.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <QStringList>

#include <array>
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
    // Header widths in pixels, in column order.
    static constexpr std::array<int, kColumnCount> kColumnWidths
            = {21, 180, 80, 120, 120, 190, 100};
    static const QString kNoDate;

    explicit CFileListModel(CheckedRecordSet *checked, QObject *parent = nullptr);

    // Shows `records` (in this order) with `icon` in the name column; null
    // empties the list.
    void setRecords(const std::vector<const vexlo::FoundFileRecord *> *records, const QIcon &icon);
    void setHeaderTexts(const QStringList &texts);

    const vexlo::FoundFileRecord *record(int row) const;
    std::size_t checkedRowCount() const { return m_checkedRows; }
    // Re-reads every row's check from the set (after a node was checked).
    void refreshChecks();

    // The text of a cell as shown; also the sort key of the text columns.
    static QString cellText(const vexlo::FoundFileRecord &record, int column);

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

private:
    void sortRows(int column, int direction);

    CheckedRecordSet *m_checked;
    std::vector<const vexlo::FoundFileRecord *> m_rows;
    QIcon m_icon;
    QStringList m_headerTexts;
    std::size_t m_checkedRows = 0;
    std::array<int, kColumnCount> m_directions{};
};
