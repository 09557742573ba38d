// How a check moves between the type tree, the file list and the header
// check box of the results page.
//
// - A node's box checks or unchecks all records of the node (or of every
//   type under a category); the list's rows then show the set's state and
//   the header box takes the state of the shown node's records.
// - A row's box changes one record; the header box and the shown node's box
//   become checked (all records of the node), half-checked (some) or
//   unchecked (none), whichever page of the list shows the row, and the
//   node's ancestors follow.
// - The header box checks or unchecks the whole shown node, as its box does.
#pragma once

#include <QModelIndex>
#include <QObject>
#include <QPersistentModelIndex>

class CFileListModel;
class CFileTreeModel;

class CResultSelection : public QObject
{
    Q_OBJECT

public:
    CResultSelection(CFileTreeModel *tree, CFileListModel *list, QObject *parent = nullptr);

    // Fills the list with the records of a type node; a category node or an
    // invalid index leaves the list as it is and returns false.
    bool showNode(const QModelIndex &typeNode);
    QModelIndex shownNode() const { return m_node; }
    // Forgets the shown node (the tree was rebuilt) and empties the list.
    void reset();

    // The header box changed by the user.
    void setHeaderChecked(bool checked);
    Qt::CheckState headerState() const { return m_headerState; }

signals:
    void headerStateChanged(Qt::CheckState state);
    // The checked set changed; the selection summary is due.
    void checksChanged();

private:
    void onNodeChecked(const QModelIndex &node, bool checked);
    void onRowToggled();
    void setHeaderState(Qt::CheckState state);
    // Checked (all records of the shown node), half-checked or unchecked.
    Qt::CheckState countedState() const;

    CFileTreeModel *m_tree;
    CFileListModel *m_list;
    QPersistentModelIndex m_node;
    Qt::CheckState m_headerState = Qt::Unchecked;
};
