// The type tree of the results page: category nodes (photo, audio, video,
// office, zip, other) over one node per file type, each with a tri-state
// check box.
//
// Checking a node checks everything below it and every record of those type
// nodes in the CheckedRecordSet, seen in the file list or not; the ancestors
// then show checked (all children checked), half-checked (some) or
// unchecked. The model does not own the records: every type node points at
// the record vector of its extension, which the main window keeps until the
// next search.
#pragma once

#include <QStandardItemModel>

#include <array>
#include <vector>

#include "catalogue/extension_grouping.h"
#include "catalogue/extension_selection.h"
#include "catalogue/type_options.h"

class CheckedRecordSet;

class CFileTreeModel : public QStandardItemModel
{
    Q_OBJECT

public:
    using RecordList = std::vector<const vexlo::FoundFileRecord *>;
    using CategoryTexts = std::array<QString, vexlo::catalogue::kTypeBoxCount>;

    CFileTreeModel(CheckedRecordSet *checked, QObject *parent = nullptr);

    // Rebuilds the tree: one node per extension with records, under the
    // category of its option; an extension without option goes to "other"
    // only while `otherSelected`, else it is left out. Empty categories are
    // not shown; the "unknow" node comes last.
    void build(const vexlo::catalogue::RecordsByExtension &groups,
               const vexlo::catalogue::ExtensionSelection &selection, bool otherSelected,
               const CategoryTexts &categoryTexts);

    // Renames the category nodes (after a change of language); their counts
    // stay.
    void setCategoryTexts(const CategoryTexts &categoryTexts);

    // The first type node of the first non-empty category, or invalid.
    QModelIndex firstTypeNode() const;
    // The type node that shows `records`, or invalid.
    QModelIndex typeNodeOf(const RecordList *records) const;
    // The records of a type node; null for a category node.
    const RecordList *recordsOf(const QModelIndex &node) const;
    bool isTypeNode(const QModelIndex &node) const { return recordsOf(node) != nullptr; }

    // The user's check of a node, with the downward and upward rules and the
    // records added to or removed from the checked set.
    void applyCheck(const QModelIndex &node, bool checked);
    // A type node whose rows were checked one by one: `checkedCount` of
    // `total` records decide its look, then its ancestors follow.
    void setTypeNodeCount(const QModelIndex &node, std::size_t checkedCount, std::size_t total);
    // Every node's box from the checked set, for a tree built over records
    // some of which were checked before (the results were filtered anew).
    void refreshChecks();

    bool setData(const QModelIndex &index, const QVariant &value, int role) override;

signals:
    // A node's box was changed by the user (or by the header check box).
    void nodeChecked(const QModelIndex &node, bool checked);

private:
    void markRecords(QStandardItem *item, bool checked);
    void setSubtree(QStandardItem *item, Qt::CheckState state);
    void updateAncestors(QStandardItem *item);

    CheckedRecordSet *m_checked;
};
