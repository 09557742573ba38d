#include "thumbnail_model.h"

#include <QIcon>
#include <QImageReader>
#include <QPainter>
#include <QSet>

#include "catalogue/file_icon.h"
#include "file_icons.h"
#include "file_list_model.h"

namespace {

constexpr int kSide = CThumbnailLoader::kSide;
// Type pictures stand in the middle of the thumbnail's square, smaller.
constexpr int kTypePictureSide = 80;

// Every thumbnail is drawn on a square of the same size, so that the names
// under them line up whatever the pictures' shapes.
QPixmap OnSquare(const QImage &picture, bool damaged)
{
    QPixmap square(kSide, kSide);
    square.fill(Qt::transparent);
    QPainter painter(&square);
    const QRect area((kSide - picture.width()) / 2, (kSide - picture.height()) / 2, picture.width(),
                     picture.height());
    painter.drawImage(area, picture);
    if (damaged) {
        const qreal badge = kSide * 0.26;
        DrawDamageBadge(
                painter,
                QRectF(area.right() - badge * 0.85, area.bottom() - badge * 0.85, badge, badge));
    }
    return square;
}

int CostInKiB(const QPixmap &pixmap)
{
    return qMax(1, int(qint64(pixmap.width()) * pixmap.height() * pixmap.depth() / 8 / 1024));
}

} // namespace

CThumbnailModel::CThumbnailModel(CFileListModel *files, CThumbnailLoader *loader, EngineOf engineOf,
                                 QObject *parent)
    : QIdentityProxyModel(parent)
    , m_files(files)
    , m_loader(loader)
    , m_engineOf(std::move(engineOf))
    , m_cache(kCacheCost)
{
    setSourceModel(files);
    connect(loader, &CThumbnailLoader::loaded, this, &CThumbnailModel::onLoaded);
    connect(files, &QAbstractItemModel::modelReset, this, [this] { m_requestedRows.clear(); });
    connect(files, &QAbstractItemModel::layoutChanged, this, [this] { m_requestedRows.clear(); });
    // A row's check shows on its name here: the check column's changes
    // (a row, a whole node, the header box) are the name column's too.
    connect(files, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight,
                   const QList<int> &roles) {
                if (topLeft.column() != CFileListModel::kCheckColumn
                    || (!roles.isEmpty() && !roles.contains(Qt::CheckStateRole)))
                    return;
                emit dataChanged(index(topLeft.row(), CFileListModel::kNameColumn),
                                 index(bottomRight.row(), CFileListModel::kNameColumn),
                                 {Qt::CheckStateRole});
            });
}

bool CThumbnailModel::IsDecodablePicture(std::string_view name)
{
    static const QSet<QByteArray> formats = [] {
        const QList<QByteArray> supported = QImageReader::supportedImageFormats();
        return QSet<QByteArray>(supported.begin(), supported.end());
    }();
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return false;
    return formats.contains(
            QByteArray(name.data() + dot + 1, qsizetype(name.size() - dot - 1)).toLower());
}

const vexlo::FoundFileRecord *CThumbnailModel::recordAt(const QModelIndex &index) const
{
    return index.isValid() ? m_files->record(index.row()) : nullptr;
}

bool CThumbnailModel::hasThumbnail(int row) const
{
    const vexlo::FoundFileRecord *record = m_files->record(row);
    return record != nullptr && m_cache.contains(CheckedRecordSet::KeyOf(*record));
}

void CThumbnailModel::requestRows(int first, int last)
{
    m_requestedRows.clear();
    std::vector<ThumbnailJob> jobs;
    for (int row = qMax(0, first); row <= last && int(jobs.size()) < kMaxBatch; ++row) {
        const vexlo::FoundFileRecord *record = m_files->record(row);
        if (record == nullptr)
            break;
        if (record->is_folder != 0 || !IsDecodablePicture(record->Name()))
            continue;
        const ThumbnailKey key = CheckedRecordSet::KeyOf(*record);
        m_requestedRows.insert(key, row);
        if (m_cache.contains(key) || m_failed.contains(key))
            continue;
        if (vexlo::IFileRecoveryParse *engine
            = m_engineOf ? m_engineOf(record->source_id) : nullptr)
            jobs.push_back({key, *record, engine});
    }
    m_loader->request(std::move(jobs));
}

void CThumbnailModel::clearThumbnails()
{
    m_loader->clear();
    m_cache.clear();
    m_failed.clear();
    m_requestedRows.clear();
}

void CThumbnailModel::onLoaded(ThumbnailKey key, const QImage &thumbnail)
{
    const int row = m_requestedRows.value(key, -1);
    const vexlo::FoundFileRecord *record = m_files->record(row);
    if (record == nullptr || CheckedRecordSet::KeyOf(*record) != key)
        return; // the list moved on; the row asks again when it is shown
    if (thumbnail.isNull()) {
        m_failed.insert(key);
    } else {
        auto *pixmap = new QPixmap(OnSquare(thumbnail, record->content_check == 0));
        m_cache.insert(key, pixmap, CostInKiB(*pixmap));
    }
    const QModelIndex cell = index(row, CFileListModel::kNameColumn);
    emit dataChanged(cell, cell, {Qt::DecorationRole});
}

QPixmap CThumbnailModel::typePicture(const vexlo::FoundFileRecord &record, bool decodeFailed) const
{
    const QString type = CFileListModel::typeText(record);
    const bool intact = record.content_check != 0 && !decodeFailed;
    const QString name
            = QString::fromStdString(vexlo::catalogue::IconFor(type.toStdString(), intact));
    auto found = m_typePictures.find(name);
    if (found == m_typePictures.end()) {
        // Drawn at this size: the icon files beside the program are small.
        found = m_typePictures.insert(name,
                                      OnSquare(RenderFileIcon(name, kTypePictureSide), false));
    }
    return found.value();
}

QVariant CThumbnailModel::data(const QModelIndex &index, int role) const
{
    if (index.column() != CFileListModel::kNameColumn)
        return QIdentityProxyModel::data(index, role);
    const vexlo::FoundFileRecord *record = recordAt(index);
    if (record == nullptr)
        return {};
    switch (role) {
    case Qt::DecorationRole: {
        const ThumbnailKey key = CheckedRecordSet::KeyOf(*record);
        if (const QPixmap *thumbnail = m_cache.object(key))
            return QIcon(*thumbnail);
        return QIcon(typePicture(*record, m_failed.contains(key)));
    }
    case Qt::CheckStateRole:
        return m_files->data(m_files->index(index.row(), CFileListModel::kCheckColumn), role);
    default:
        return QIdentityProxyModel::data(index, role);
    }
}

bool CThumbnailModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (index.column() == CFileListModel::kNameColumn && role == Qt::CheckStateRole) {
        return m_files->setData(m_files->index(index.row(), CFileListModel::kCheckColumn), value,
                                role);
    }
    return QIdentityProxyModel::setData(index, value, role);
}

Qt::ItemFlags CThumbnailModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags flags = QIdentityProxyModel::flags(index);
    if (index.column() == CFileListModel::kNameColumn)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}
