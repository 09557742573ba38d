// The file list seen as thumbnails: the same rows as CFileListModel, with
// each picture's thumbnail as the name column's image and the row's check
// box on the name column, for the thumbnail view of the results page.
//
// Thumbnails are decoded by CThumbnailLoader only for the rows the view asks
// for (requestRows(): the rows in sight and a few screens ahead), and kept in
// a cache of at most kCacheCost kilobytes; a row whose thumbnail is not (or
// no longer) cached shows its type's picture until it is read again. A
// damaged file (its content did not pass the check of its type) carries the
// damaged mark on its thumbnail; a picture that cannot be decoded shows the
// damaged picture of its type. Files of other types show their type's
// picture, large.
#pragma once

#include <QCache>
#include <QHash>
#include <QIdentityProxyModel>
#include <QImage>
#include <QPixmap>

#include <functional>

#include "engine/file_recovery_parse.h"
#include "thumbnail_loader.h"

class CFileListModel;

class CThumbnailModel : public QIdentityProxyModel
{
    Q_OBJECT

public:
    // The engine that found the records of a source, or null.
    using EngineOf = std::function<vexlo::IFileRecoveryParse *(uint16_t sourceId)>;

    // About 380 thumbnails (each on a square of 128 pixels).
    static constexpr int kCacheCost = 24 * 1024;
    // Rows asked for at one time.
    static constexpr int kMaxBatch = 300;

    CThumbnailModel(CFileListModel *files, CThumbnailLoader *loader, EngineOf engineOf,
                    QObject *parent = nullptr);

    // Reads the thumbnails of rows `first` to `last` that are not cached,
    // in that order, at most kMaxBatch of them; jobs for other rows that
    // still wait are dropped.
    void requestRows(int first, int last);
    // Forgets every thumbnail (the records they belong to are gone).
    void clearThumbnails();
    // What is cached now (for tests).
    qsizetype cachedCount() const { return m_cache.count(); }
    qsizetype cachedCost() const { return m_cache.totalCost(); }
    bool hasThumbnail(int row) const;

    // Whether a file name is of a picture type this program can decode.
    static bool IsDecodablePicture(std::string_view name);

    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    void onLoaded(ThumbnailKey key, const QImage &thumbnail);
    const vexlo::FoundFileRecord *recordAt(const QModelIndex &index) const;
    // A type picture at thumbnail size (damaged or not), made once per name.
    QPixmap typePicture(const vexlo::FoundFileRecord &record, bool decodeFailed) const;

    CFileListModel *m_files;
    CThumbnailLoader *m_loader;
    EngineOf m_engineOf;
    // Decoded thumbnails (with the damaged mark where due); cost in KiB.
    QCache<ThumbnailKey, QPixmap> m_cache;
    // Pictures that could not be decoded; a few bytes each.
    QSet<ThumbnailKey> m_failed;
    // The rows last asked for, to find a loaded thumbnail's row.
    QHash<ThumbnailKey, int> m_requestedRows;
    mutable QHash<QString, QPixmap> m_typePictures;
};
