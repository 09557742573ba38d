// The results page: checks across the type tree, the file list (paged when
// a type holds many files) and its header box, the preview of the selected
// file, the selection summary and the recovery of the checked files.
#include <QHeaderView>

#include "disk_list_model.h"
#include "file_list_model.h"
#include "file_tree_model.h"
#include "main_wnd.h"
#include "message_box.h"
#include "message_format.h"
#include "pagination_ui.h"
#include "recover_process_wnd.h"
#include "recovery_destination.h"
#include "result_selection.h"
#include "size_text.h"
#include "source_entry.h"
#include "ui_skin.h"

void CMainWnd::setUpResultViews()
{
    m_treeModel = new CFileTreeModel(&m_checked, this);
    m_listModel = new CFileListModel(&m_checked, this);
    m_resultSelection = new CResultSelection(m_treeModel, m_listModel, this);
    m_ui->TypeTree->setModel(m_treeModel);
    m_ui->FileList->setModel(m_listModel);

    QHeaderView *header = m_ui->FileList->header();
    header->setStretchLastSection(false);
    for (int column = 0; column < CFileListModel::kColumnCount; ++column)
        header->resizeSection(column, CFileListModel::kColumnWidths[column]);
    header->setSectionsClickable(true);
    connect(header, &QHeaderView::sectionClicked, this, &CMainWnd::onFileListHeaderClicked);

    connect(m_ui->TypeTree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &CMainWnd::onTypeNodeSelected);
    connect(m_ui->FileList->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &CMainWnd::onFileSelected);
    connect(m_resultSelection, &CResultSelection::headerStateChanged, this,
            [this](Qt::CheckState state) {
                QSignalBlocker block(m_ui->ChkAllListSel);
                m_ui->ChkAllListSel->setCheckState(state);
            });
    connect(m_ui->ChkAllListSel, &QCheckBox::clicked, this, &CMainWnd::onHeaderCheckClicked);
    connect(m_resultSelection, &CResultSelection::checksChanged, this,
            &CMainWnd::updateSelectionSummary);
    updateSelectionSummary();

    connect(m_listModel, &CFileListModel::pagesChanged, this, &CMainWnd::followListPages);
    connect(m_ui->Pagination, &CPaginationUI::updatePage, this, [this] {
        m_listModel->setPage(m_ui->Pagination->currentPage());
        m_ui->Preview->clear();
    });
}

void CMainWnd::followListPages()
{
    CPaginationUI *pages = m_ui->Pagination;
    pages->SetPageCount(m_listModel->pageCount());
    pages->SetCurrentPage(m_listModel->page());
    pages->Refresh();
    pages->setVisible(m_listModel->pageCount() > 1);
}

void CMainWnd::onTypeNodeSelected(const QModelIndex &node)
{
    if (!m_resultSelection->showNode(node))
        return;
    m_ui->Preview->clear();
    if (m_listModel->rowCount() > 0)
        m_ui->FileList->setCurrentIndex(m_listModel->index(0, CFileListModel::kNameColumn));
}

void CMainWnd::onFileSelected(const QModelIndex &index)
{
    const vexlo::FoundFileRecord *shown = m_listModel->record(index.row());
    if (shown == nullptr)
        return;
    const vexlo::FoundFileRecord record = *shown;
    const SourceEntry *source = sourceWithId(uint16_t{record.source_id});
    if (source == nullptr || !source->engine) {
        // The source was scanned again or has left: nothing to read from.
        m_ui->Preview->clear();
        return;
    }
    BusyScope busy(m_busy);
    m_ui->Preview->showRecord(source->engine.get(), record);
}

SourceEntry *CMainWnd::sourceWithId(uint16_t id) const
{
    for (SourceEntry *source : m_diskModel->sources()) {
        if (source->id == id)
            return source;
    }
    return nullptr;
}

void CMainWnd::onHeaderCheckClicked()
{
    // A half-checked header box checks the whole type.
    m_resultSelection->setHeaderChecked(m_resultSelection->headerState() != Qt::Checked);
    QSignalBlocker block(m_ui->ChkAllListSel);
    m_ui->ChkAllListSel->setCheckState(m_resultSelection->headerState());
}

void CMainWnd::onFileListHeaderClicked(int column)
{
    const std::optional<int> direction = m_listModel->headerClick(column);
    if (!direction)
        return;
    QHeaderView *header = m_ui->FileList->header();
    header->setSortIndicatorShown(true);
    header->setSortIndicator(column, *direction == 1 ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void CMainWnd::updateSelectionSummary()
{
    m_ui->BtnRecover->setEnabled(!m_checked.Empty());
    if (m_checked.Empty()) {
        m_ui->SelectedFileInfo->setText(message("MSG0803"));
        return;
    }
    const QString size = SizeText(m_checked.TotalBytes());
    m_ui->SelectedFileInfo->setText(
            FormatMessage(message("MSG0804"), {size, int(m_checked.Count())}));
}

std::array<QString, vexlo::catalogue::kTypeBoxCount> CMainWnd::categoryTexts() const
{
    return {message("MSG0807"), message("MSG0808"), message("MSG0809"),
            message("MSG0810"), message("MSG0811"), message("MSG0812")};
}

void CMainWnd::startRecovery()
{
    if (m_checked.Empty() || !m_services.chooseRecoveryFolder)
        return;
    QString folder = m_services.chooseRecoveryFolder(this);
    if (folder.isEmpty())
        return;
    if (folder.size() > 1
        && (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\'))))
        folder.chop(1);
    m_destinationPath = folder;

    const std::vector<SourceEntry *> sources = m_diskModel->sources();
    for (const SourceEntry *source : sources) {
        if (!source->engine
            || !DestinationOnSource(folder.toStdString(), *source,
                                    m_diskModel->recordOfSource(source)))
            continue;
        if (CMessageBox::Show(CMessageBox::Confirmation, this, message("MSG0805")) != 1)
            return;
        break; // one confirmation covers every source
    }

    BusyScope busy(m_busy);
    CRecoverProcessWnd window(
            this,
            CRecoverProcessWnd::MakeRecoveryJob(sources, m_destinationPath, m_checked.Records()),
            m_destinationPath, int(m_checked.Count()));
    window.exec();
}
