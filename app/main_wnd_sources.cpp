// The source page: the disk list with its device refresh, image files, and
// the facts about the selected source.
#include <QFileInfo>
#include <QHeaderView>

#include "device_names.h"
#include "device_watch.h"
#include "disk_list_model.h"
#include "main_wnd.h"
#include "size_text.h"
#include "skin_images.h"
#include "source_entry.h"
#include "ui_skin.h"

namespace {

constexpr int kNoCardPictureSide = 96;

void SetFact(QLabel *label, const QString &text)
{
    label->setText(text);
    label->setToolTip(text);
}

} // namespace

void CMainWnd::setUpDiskList()
{
    m_diskModel = new CDiskListModel(this);
    QTreeView *view = m_ui->DiskList;
    view->setModel(m_diskModel);
    view->header()->setStretchLastSection(false);
    view->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    view->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    view->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &current) {
                showSourceFacts(current);
                updateScanButton();
            });
    connect(view, &QTreeView::doubleClicked, this, &CMainWnd::onDiskListDoubleClick);

    // An empty list says why and offers what can be done.
    m_ui->NoCardPicture->setPixmap(SkinPixmap(QStringLiteral("no_card.png"),
                                              QSize(kNoCardPictureSide, kNoCardPictureSide)));
    connect(m_ui->BtnRefreshDisks, &QPushButton::clicked, this, [this] {
        fillDiskList(int(CDiskListModel::FillMode::kAddArrived));
        fillDiskList(int(CDiskListModel::FillMode::kDropDeparted));
    });
    connect(m_ui->BtnPlaceholderLoadImage, &QPushButton::clicked, this, &CMainWnd::loadImage);
    m_ui->BtnLoadImage->setIcon(SkinIcon(QStringLiteral("image_file.png")));
    m_ui->BtnCreateImage->setIcon(SkinIcon(QStringLiteral("btn_create_image.png")));
    m_ui->BtnPlaceholderLoadImage->setIcon(SkinIcon(QStringLiteral("image_file.png")));

    m_deviceWatch = new CDeviceWatch(m_services.watchDevices, this);
    connect(m_deviceWatch, &CDeviceWatch::disksArrived, this, [this] { fillDiskList(1); });
    connect(m_deviceWatch, &CDeviceWatch::disksRemoved, this, [this] { fillDiskList(2); });
    // The button has no action; it would only puzzle.
    m_ui->BtnAdvanceScan->hide();
}

void CMainWnd::fillDiskList(int mode)
{
    if (!m_services.listDisks)
        return;
    const auto fillMode = static_cast<CDiskListModel::FillMode>(mode);
    if (fillMode == CDiskListModel::FillMode::kDropDeparted && m_busy > 0) {
        // A worker may be using a departed source's engine: try again once
        // the operation is over.
        m_deviceWatch->notifyRemoval();
        return;
    }
    // Rebuilding and dropping destroy engines.
    if (fillMode != CDiskListModel::FillMode::kAddArrived)
        releaseEngines();
    const QModelIndex added = m_diskModel->fill(m_services.listDisks(), fillMode);
    QTreeView *view = m_ui->DiskList;
    if (fillMode == CDiskListModel::FillMode::kRebuild)
        view->expandAll();
    else if (added.isValid())
        view->expand(added.parent());
    applyImageGroupVisibility();
    if (fillMode == CDiskListModel::FillMode::kAddArrived && added.isValid() && !m_scanInProgress)
        view->setCurrentIndex(added);
    if (!selectedSource().isValid())
        clearSourceFacts();
    updateScanButton();
    updateDiskListPlaceholder();
}

void CMainWnd::updateDiskListPlaceholder()
{
    bool listed = false;
    for (int row = 0; row < m_diskModel->rowCount() && !listed; ++row)
        listed = !m_ui->DiskList->isRowHidden(row, QModelIndex());
    m_ui->TxtNoCard->setText(message(m_imageMode ? "MSG0507" : "MSG0506"));
    // An image cannot be imaged again.
    m_ui->BtnPlaceholderLoadImage->setVisible(!m_imageMode);
    m_ui->DiskListStack->setCurrentWidget(listed ? static_cast<QWidget *>(m_ui->DiskList)
                                                 : m_ui->DiskListPlaceholder);
}

void CMainWnd::applyImageGroupVisibility()
{
    // An image cannot be imaged again.
    const QModelIndex group = m_diskModel->imageGroup();
    if (!group.isValid())
        return;
    m_ui->DiskList->setRowHidden(group.row(), QModelIndex(), m_imageMode);
    if (m_imageMode && m_diskModel->isInImageGroup(m_ui->DiskList->currentIndex())) {
        m_ui->DiskList->setCurrentIndex(QModelIndex());
        m_sourceSelected = false;
        clearSourceFacts();
    }
    updateDiskListPlaceholder();
}

void CMainWnd::prepareDiskList()
{
    applyImageGroupVisibility();
    const QModelIndex preferred = m_diskModel->preferredSelection();
    const bool hidden = m_imageMode && m_diskModel->isInImageGroup(preferred);
    if (preferred.isValid() && !hidden)
        m_ui->DiskList->setCurrentIndex(preferred);
    updateScanButton();
}

QModelIndex CMainWnd::selectedSource() const
{
    return m_ui->DiskList->selectionModel()->hasSelection() ? m_ui->DiskList->currentIndex()
                                                            : QModelIndex();
}

void CMainWnd::updateScanButton()
{
    // On the source page the button needs a source; on the file-type page it
    // stays active and says what is missing.
    const bool canScan = m_sourceSelected && selectedSource().isValid();
    m_ui->BtnScan->setEnabled(m_ui->TabPage->currentIndex() == kFileTypePage || canScan);
}

void CMainWnd::clearSourceFacts()
{
    for (QLabel *label :
         {m_ui->Label1, m_ui->Label2, m_ui->Label3, m_ui->Label4, m_ui->Label5, m_ui->Label6})
        SetFact(label, QString());
}

void CMainWnd::showSourceFacts(const QModelIndex &index)
{
    auto fact = [this](const char *key, const QString &value) {
        return value.isEmpty() ? message(key) : message(key) + QLatin1Char(' ') + value;
    };
    auto showImage = [&](const QString &path, uint64_t bytes) {
        clearSourceFacts();
        SetFact(m_ui->Label1, fact("MSG0209", path));
        SetFact(m_ui->Label2, fact("MSG0210", SizeText(bytes)));
    };
    // An image with a partition table is scanned whole, as a disk is.
    if (const QString image = m_diskModel->imagePathOf(index); !image.isEmpty()) {
        m_sourceSelected = true;
        showImage(image, uint64_t(QFileInfo(image).size()));
        return;
    }
    const SourceEntry *source = m_diskModel->sourceOf(index);
    if (source == nullptr)
        return; // a disk or the image group changes nothing
    m_sourceSelected = true;
    if (source->isImage) {
        showImage(ImagePartName(source->imagePath, source->partitionNumber),
                  source->partitionNumber == 0 ? uint64_t(QFileInfo(source->imagePath).size())
                                               : source->sectorCount * 512);
        return;
    }
    const vexlo::PartitionRecord *record = m_diskModel->recordOf(index);
    if (record == nullptr)
        return;
    SetFact(m_ui->Label1, fact("MSG0203", MountedDevice(*record)));
    SetFact(m_ui->Label2, fact("MSG0204", QString::fromStdString(record->label)));
    SetFact(m_ui->Label3, fact("MSG0205", QString::fromStdString(record->file_system)));
    SetFact(m_ui->Label4, fact("MSG0206", SizeText(record->total_bytes)));
    SetFact(m_ui->Label5, fact("MSG0207", SizeText(record->used_bytes)));
    SetFact(m_ui->Label6, fact("MSG0208", SizeText(record->free_bytes)));
}

void CMainWnd::onDiskListDoubleClick(const QModelIndex &index)
{
    const QModelIndex node = index.siblingAtColumn(0);
    if (m_diskModel->hasChildren(node)) {
        m_ui->DiskList->setExpanded(node, !m_ui->DiskList->isExpanded(node));
        return;
    }
    if (!m_imageMode && m_diskModel->sourceOf(node) != nullptr)
        startScan();
}

void CMainWnd::loadImage()
{
    if (!m_services.chooseImageFile)
        return;
    const QString path = m_services.chooseImageFile(this);
    if (!path.isEmpty())
        addImage(path);
}

void CMainWnd::addImage(const QString &path)
{
    // An image of a whole card (and what "Create Image File" makes of a
    // whole disk) holds a partition table: its partitions are listed.
    vexlo::MediumLayout layout;
    (void)vexlo::ReadImageLayout(path.toStdString(), &layout);
    const QModelIndex added = m_diskModel->addImage(path, uint64_t(QFileInfo(path).size()), layout);
    m_ui->DiskList->expand(added.parent());
    m_ui->DiskList->expand(added);
    applyImageGroupVisibility();
    // The user added it to scan it.
    m_ui->DiskList->setCurrentIndex(added);
}

void CMainWnd::createImage()
{
    const QModelIndex selected = selectedSource();
    ImageFlowSource source;
    source.partition = m_diskModel->recordOf(selected);
    source.diskNumber = m_diskModel->diskNumberOf(selected);
    // The flow itself says so when nothing is selected.
    QString image;
    {
        BusyScope busy(*this);
        image = RunCreateImageFlow(this, source, m_services.imageFlow);
    }
    if (image.isEmpty())
        return;
    // The user wants the new image scanned deeply.
    m_ui->BtnDeepRecovery->click();
    addImage(image);
}
