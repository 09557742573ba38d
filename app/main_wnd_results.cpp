// The results page: checks across the type tree, the file list (paged when
// a type holds many files) or its thumbnails, and the header box, the
// preview of the selected file, the selection summary and the recovery of
// the checked files; or, when nothing was found, a line that says so.
#include <QAction>
#include <QHeaderView>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QStyleOptionButton>

#include "disk_list_model.h"
#include "file_icons.h"
#include "file_list_model.h"
#include "file_tree_model.h"
#include "main_wnd.h"
#include "message_box.h"
#include "message_format.h"
#include "pagination_ui.h"
#include "recover_process_wnd.h"
#include "recovery_destination.h"
#include "result_filter_bar.h"
#include "result_selection.h"
#include "size_text.h"
#include "skin_images.h"
#include "source_entry.h"
#include "thumbnail_loader.h"
#include "thumbnail_model.h"
#include "ui_skin.h"

namespace {

constexpr int kNothingFoundPictureSide = 96;
// Room around a cell's text, and for the header's sort arrow.
constexpr int kCellPadding = 16;
constexpr int kSortArrowRoom = 18;
// The path column takes at most this share of the list's width; the name
// keeps the rest.
constexpr double kMaxPathShare = 0.3;

} // namespace

void CMainWnd::setUpResultViews()
{
    m_treeModel = new CFileTreeModel(&m_checked, this);
    m_listModel = new CFileListModel(&m_checked, this);
    m_resultSelection = new CResultSelection(m_treeModel, m_listModel, this);
    m_ui->TypeTree->setModel(m_treeModel);
    m_ui->FileList->setModel(m_listModel);
    m_filterBar = new CResultFilterBar(m_ui->ResultPage);
    m_ui->resultRight->insertWidget(0, m_filterBar);
    connect(m_filterBar, &CResultFilterBar::filterChanged, this, &CMainWnd::showFilteredResults);

    QHeaderView *header = m_ui->FileList->header();
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(24);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSectionResizeMode(CFileListModel::kCheckColumn, QHeaderView::Fixed);
    header->setSectionResizeMode(CFileListModel::kNameColumn, QHeaderView::Stretch);
    header->setSectionsClickable(true);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(header, &QHeaderView::sectionClicked, this, &CMainWnd::onFileListHeaderClicked);
    // The header box rides in the header over the rows' boxes.
    connect(header, &QHeaderView::sectionResized, this, &CMainWnd::placeHeaderCheckBox);
    connect(header, &QHeaderView::geometriesChanged, this, &CMainWnd::placeHeaderCheckBox);
    connect(m_ui->FileList->horizontalScrollBar(), &QScrollBar::valueChanged, this,
            &CMainWnd::placeHeaderCheckBox);

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
    connect(m_listModel, &QAbstractItemModel::modelReset, this, &CMainWnd::fitFileListColumns);
    connect(m_ui->Pagination, &CPaginationUI::updatePage, this, [this] {
        m_listModel->setPage(m_ui->Pagination->currentPage());
        m_ui->Preview->clear();
    });
    connect(m_ui->Preview, &PreviewPane::playRequested, this, &CMainWnd::playRecord);
    // The files get most of the height; the user can move the line between.
    m_ui->ResultSplitter->setStretchFactor(0, 5);
    m_ui->ResultSplitter->setStretchFactor(1, 3);

    m_ui->NothingFoundPicture->setPixmap(
            SkinPixmap(QStringLiteral("mode_deep.png"),
                       QSize(kNothingFoundPictureSide, kNothingFoundPictureSide)));
    connect(m_ui->BtnTryDeepRecovery, &QPushButton::clicked, this, [this] {
        // The same source again, searched sector by sector.
        m_professionalScan = true;
        m_imageMode = false;
        startScan();
    });
    setUpThumbnails();
}

void CMainWnd::setUpThumbnails()
{
    m_thumbnailLoader = new CThumbnailLoader(this);
    m_thumbnailModel = new CThumbnailModel(
            m_listModel, m_thumbnailLoader,
            [this](uint16_t id) -> vexlo::IFileRecoveryParse * {
                const SourceEntry *source = sourceWithId(id);
                return source != nullptr ? source->engine.get() : nullptr;
            },
            this);
    m_ui->ThumbnailView->setThumbnailModel(m_thumbnailModel);

    // One current file for both views; the list's drives the preview.
    connect(m_ui->ThumbnailView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) {
                if (current.isValid())
                    m_ui->FileList->setCurrentIndex(
                            m_listModel->index(current.row(), CFileListModel::kNameColumn));
            });
    connect(m_ui->FileList->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                const QModelIndex same
                        = m_thumbnailModel->index(current.row(), CFileListModel::kNameColumn);
                if (current.isValid() && m_ui->ThumbnailView->currentIndex() != same)
                    m_ui->ThumbnailView->setCurrentIndex(same);
            });

    m_ui->BtnListView->setIcon(FileIcon(QStringLiteral("FileIcon/default.png")));
    m_ui->BtnThumbnailView->setIcon(FileIcon(QStringLiteral("FileIcon/image.png")));
    for (QToolButton *button : {m_ui->BtnListView, m_ui->BtnThumbnailView}) {
        connect(button, &QToolButton::clicked, this, [this, button] {
            m_viewChosen = true;
            showThumbnails(button == m_ui->BtnThumbnailView);
        });
    }
    showThumbnails(false);
}

void CMainWnd::showThumbnails(bool thumbnails)
{
    m_ui->BtnThumbnailView->setChecked(thumbnails);
    m_ui->BtnListView->setChecked(!thumbnails);
    if (m_ui->ResultViews->currentWidget() != m_ui->EmptyResult)
        m_ui->ResultViews->setCurrentWidget(thumbnails ? static_cast<QWidget *>(m_ui->ThumbnailView)
                                                       : m_ui->FileList);
    placeHeaderCheckBox();
}

void CMainWnd::placeHeaderCheckBox()
{
    QCheckBox *box = m_ui->ChkAllListSel;
    const bool inHeader = m_ui->ResultViews->currentWidget() == m_ui->FileList;
    QHeaderView *header = m_ui->FileList->header();
    if (!inHeader) {
        // Thumbnails have no header: the box stands above them, in words.
        if (box->parentWidget() == header) {
            box->setParent(nullptr);
            m_ui->resultTools->insertWidget(0, box);
        }
        box->setText(m_selectAllText);
        box->show();
        return;
    }
    if (box->parentWidget() != header) {
        m_ui->resultTools->removeWidget(box);
        box->setParent(header);
    }
    // In the header the box stands over the rows' boxes; the column's
    // name beside it says what it checks, its words are its tooltip.
    box->setText(QString());
    box->setToolTip(m_selectAllText);
    const QSize mark = box->sizeHint();
    const int left = header->sectionViewportPosition(CFileListModel::kCheckColumn)
            + (header->sectionSize(CFileListModel::kCheckColumn) - mark.width()) / 2;
    box->setGeometry(QRect(QPoint(left, (header->height() - mark.height()) / 2), mark));
    box->show();
}

void CMainWnd::fitFileListColumns()
{
    QHeaderView *header = m_ui->FileList->header();
    const QFontMetrics cells(m_ui->FileList->font());
    const QFontMetrics titles(header->font());
    auto fit = [&](int column, int contentWidth) {
        const int title
                = titles.horizontalAdvance(m_listModel->headerText(column)) + kSortArrowRoom;
        header->resizeSection(column, qMax(contentWidth, title) + kCellPadding);
    };
    QStyleOptionButton check;
    check.initFrom(m_ui->FileList);
    const int mark = m_ui->FileList->style()
                             ->subElementRect(QStyle::SE_CheckBoxIndicator, &check, m_ui->FileList)
                             .width();
    header->resizeSection(CFileListModel::kCheckColumn, mark + 2 * 6);
    // The widest texts these columns can show.
    fit(CFileListModel::kSizeColumn, cells.horizontalAdvance(QStringLiteral("1023.99 MB")));
    const int date = cells.horizontalAdvance(QStringLiteral("8888-88-88 88:88"));
    fit(CFileListModel::kModifiedColumn, date);
    fit(CFileListModel::kCreatedColumn, date);
    // Types and folders of the rows shown.
    int type = cells.horizontalAdvance(QStringLiteral("folder"));
    int path = 0;
    for (int row = 0; row < m_listModel->rowCount(); ++row) {
        const vexlo::FoundFileRecord &record = *m_listModel->record(row);
        type = qMax(type, cells.horizontalAdvance(CFileListModel::typeText(record)));
        path = qMax(path,
                    cells.horizontalAdvance(
                            m_listModel->cellText(record, CFileListModel::kPathColumn)));
    }
    fit(CFileListModel::kTypeColumn, type);
    fit(CFileListModel::kPathColumn,
        qMin(path, int(m_ui->FileList->viewport()->width() * kMaxPathShare)));
    placeHeaderCheckBox();
}

void CMainWnd::updateEmptyResult()
{
    const bool empty = m_foundRecords.empty();
    m_ui->TypeTree->setVisible(!empty);
    m_ui->Preview->setVisible(!empty);
    for (QWidget *tool :
         {static_cast<QWidget *>(m_ui->BtnListView), static_cast<QWidget *>(m_ui->BtnThumbnailView),
          static_cast<QWidget *>(m_ui->ChkAllListSel), static_cast<QWidget *>(m_filterBar)})
        tool->setVisible(!empty);
    if (empty) {
        // Nothing to check, nothing to recover.
        m_ui->SelectedFileInfo->hide();
        m_ui->BtnRecover->hide();
        m_ui->Pagination->hide();
        m_ui->ResultViews->setCurrentWidget(m_ui->EmptyResult);
        m_ui->TxtNothingFound->setText(message("MSG0820"));
        // After a quick scan, the sector-by-sector search is the way on.
        m_ui->TxtNothingFoundHint->setText(message(m_lastScanProfessional ? "MSG0822" : "MSG0821"));
        m_ui->BtnTryDeepRecovery->setVisible(!m_lastScanProfessional);
        return;
    }
    if (m_ui->ResultViews->currentWidget() == m_ui->EmptyResult) {
        m_ui->ResultViews->setCurrentWidget(m_ui->FileList);
        showThumbnails(m_ui->BtnThumbnailView->isChecked());
    }
}

void CMainWnd::followListPages()
{
    CPaginationUI *pages = m_ui->Pagination;
    pages->SetPageCount(m_listModel->pageCount());
    pages->SetCurrentPage(m_listModel->page());
    pages->Refresh();
    pages->setVisible(m_listModel->pageCount() > 1);
}

void CMainWnd::showFilteredResults()
{
    using vexlo::catalogue::RecordsByExtension;
    const auto *shown = m_treeModel->recordsOf(m_resultSelection->shownNode());
    std::string shownExtension;
    for (const auto &[extension, records] : m_shownRecordsByExtension) {
        if (&records == shown)
            shownExtension = extension;
    }
    // The views point into the shown records; they let go first.
    m_resultSelection->reset();
    m_treeModel->clear();
    m_ui->Preview->clear();

    const vexlo::RecordFilter &filter = m_filterBar->filter();
    if (filter.Empty()) {
        m_shownRecordsByExtension = m_recordsByExtension;
    } else {
        m_shownRecordsByExtension.clear();
        const bool needsFolder = filter.NeedsFolderPath();
        for (const auto &[extension, records] : m_recordsByExtension) {
            std::vector<const vexlo::FoundFileRecord *> kept;
            for (const vexlo::FoundFileRecord *record : records) {
                const auto at = std::size_t(record - m_foundRecords.data());
                const std::string_view folder = needsFolder && at < m_foundFolders.size()
                        ? std::string_view(m_foundFolders[at])
                        : std::string_view();
                if (filter.Matches(*record, folder))
                    kept.push_back(record);
            }
            if (!kept.empty())
                m_shownRecordsByExtension.emplace(extension, std::move(kept));
        }
    }
    m_treeModel->build(m_shownRecordsByExtension, m_selection, otherTypesSelected(),
                       categoryTexts());
    m_treeModel->refreshChecks();
    m_ui->TypeTree->expandAll();
    // Selecting a type fills the list and previews its first file.
    QModelIndex node;
    if (const auto again = m_shownRecordsByExtension.find(shownExtension);
        again != m_shownRecordsByExtension.end())
        node = m_treeModel->typeNodeOf(&again->second);
    if (!node.isValid())
        node = m_treeModel->firstTypeNode();
    if (node.isValid())
        m_ui->TypeTree->setCurrentIndex(node);
}

void CMainWnd::onTypeNodeSelected(const QModelIndex &node)
{
    if (!m_resultSelection->showNode(node))
        return;
    m_ui->Preview->clear();
    if (m_listModel->rowCount() == 0)
        return;
    // Pictures are looked at, other files read: until the user picks a
    // view, a type of pictures opens as thumbnails.
    const vexlo::FoundFileRecord *first = m_listModel->record(0);
    if (!m_viewChosen)
        showThumbnails(CThumbnailModel::IsDecodablePicture(first->Name()));
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
    BusyScope busy(*this);
    m_ui->Preview->showRecord(source->engine.get(), record);
}

void CMainWnd::playRecord(const vexlo::FoundFileRecord &record)
{
    const SourceEntry *source = sourceWithId(uint16_t{record.source_id});
    if (source == nullptr || !source->engine)
        return;
    BusyScope busy(*this);
    m_ui->Preview->play(source->engine.get(), record);
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

QString CMainWnd::askRecoveryFolder()
{
    for (;;) {
        QString folder = m_services.chooseRecoveryFolder(this);
        if (folder.isEmpty())
            return {};
        if (folder.size() > 1
            && (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\'))))
            folder.chop(1);
        bool onSource = false;
        for (const SourceEntry *source : m_diskModel->sources()) {
            onSource = onSource
                    || (source->engine
                        && DestinationOnSource(folder.toStdString(), *source,
                                               m_diskModel->recordOfSource(source)));
        }
        // One confirmation covers every source.
        if (!onSource
            || CMessageBox::Show(CMessageBox::Confirmation, this, message("MSG0805"),
                                 {message("MSG0806"), message("MSG0813")})
                    == 1)
            return folder;
    }
}

void CMainWnd::startRecovery()
{
    if (m_checked.Empty() || !m_services.chooseRecoveryFolder)
        return;
    const QString folder = askRecoveryFolder();
    if (folder.isEmpty())
        return;
    m_destinationPath = folder;

    BusyScope busy(*this);
    const vexlo::RecoveryOptions options{.keep_folders = m_keepFolders->isChecked(),
                                         .keep_times = m_keepTimes->isChecked()};
    auto report = std::make_shared<std::optional<vexlo::catalogue::RecoveryReport>>();
    CRecoverProcessWnd window(
            this,
            CRecoverProcessWnd::MakeRecoveryJob(m_diskModel->sources(), m_destinationPath,
                                                m_checked.Records(), options, report),
            m_destinationPath, int(m_checked.Count()), report);
    window.exec();
}
