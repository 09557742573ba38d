#include "result_selection.h"

#include "file_list_model.h"
#include "file_tree_model.h"

CResultSelection::CResultSelection(CFileTreeModel *tree, CFileListModel *list, QObject *parent)
    : QObject(parent)
    , m_tree(tree)
    , m_list(list)
{
    connect(tree, &CFileTreeModel::nodeChecked, this, &CResultSelection::onNodeChecked);
    connect(list, &CFileListModel::rowCheckToggled, this, &CResultSelection::onRowToggled);
}

bool CResultSelection::showNode(const QModelIndex &typeNode)
{
    const CFileTreeModel::RecordList *records = m_tree->recordsOf(typeNode);
    if (records == nullptr)
        return false;
    m_node = typeNode;
    m_list->setRecords(records, m_tree->itemFromIndex(typeNode)->icon());
    // Some of a node's records may be checked when the node is shown again
    // over other records (the results were filtered).
    setHeaderState(countedState());
    return true;
}

void CResultSelection::reset()
{
    m_node = QPersistentModelIndex();
    m_list->setRecords(nullptr, {});
    setHeaderState(Qt::Unchecked);
}

void CResultSelection::setHeaderChecked(bool checked)
{
    if (m_node.isValid())
        m_tree->applyCheck(m_node, checked);
}

void CResultSelection::onNodeChecked(const QModelIndex &, bool checked)
{
    m_list->refreshChecks();
    if (m_list->recordCount() > 0)
        setHeaderState(countedState());
    else if (m_node.isValid())
        setHeaderState(checked ? Qt::Checked : Qt::Unchecked);
    emit checksChanged();
}

void CResultSelection::onRowToggled()
{
    emit checksChanged();
    if (!m_node.isValid())
        return;
    setHeaderState(countedState());
    m_tree->setTypeNodeCount(m_node, m_list->checkedRecordCount(), m_list->recordCount());
}

Qt::CheckState CResultSelection::countedState() const
{
    const std::size_t count = m_list->checkedRecordCount();
    return count == 0                        ? Qt::Unchecked
            : count >= m_list->recordCount() ? Qt::Checked
                                             : Qt::PartiallyChecked;
}

void CResultSelection::setHeaderState(Qt::CheckState state)
{
    if (state == m_headerState)
        return;
    m_headerState = state;
    emit headerStateChanged(state);
}
