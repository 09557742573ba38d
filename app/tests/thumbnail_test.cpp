// The thumbnails of the results page on a card whose 500 photos were
// deleted: they are read in a worker, a screenful at a time, the first ones
// show while the rest are still being read, the window goes on answering
// while a slow card keeps the worker waiting, and what is kept in memory
// stays within its bound however far the user scrolls. Damaged pictures
// carry the damaged mark.
#include <QAbstractButton>
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QListView>
#include <QPainter>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTreeView>

#include <atomic>
#include <mutex>
#include <set>

#include "file_list_model.h"
#include "main_wnd.h"
#include "message_box.h"
#include "platform/error_code.h"
#include "scan_services.h"
#include "test_support.h"
#include "tests/support/fat_image.h"
#include "tests/support/temp_scan_history.h"
#include "thumbnail_loader.h"
#include "thumbnail_model.h"
#include "thumbnail_view.h"

namespace {

constexpr int kPhotos = 500;

QByteArray Photo(int number)
{
    QImage image(160, 120, QImage::Format_RGB32);
    image.fill(QColor::fromHsv(number * 7 % 360, 160, 220));
    QPainter painter(&image);
    painter.drawText(image.rect(), Qt::AlignCenter, QString::number(number));
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 80);
    return bytes;
}

// The real engine behind a seam that notes which thread reads pictures, and
// that can make the card slow: while `slow` is set, or once more than
// `fastReads` pictures were read, a read waits (asking the reader's
// callback, as an engine does between pieces) until `slow` is cleared.
class WatchedEngine final : public ForwardingEngine
{
public:
    using ForwardingEngine::ForwardingEngine;

    static inline std::atomic<bool> slow{false};
    static inline std::atomic<int> fastReads{-1}; // negative: every read is fast
    static inline std::atomic<int> reads{0};
    static inline std::atomic<int> waiting{0}; // reads held by the slow card
    static inline std::atomic<int> readsOnGuiThread{0};

    vexlo::ErrorCode ExtractForPreview(const vexlo::FoundFileRecord &record, std::string *path,
                                       uint8_t *buffer, uint32_t *byte_count,
                                       vexlo::PreviewProgressCallback callback, void *user) override
    {
        if (QThread::currentThread() == qApp->thread())
            ++readsOnGuiThread;
        if (fastReads >= 0 && ++reads > fastReads)
            slow = true;
        if (slow) {
            ++waiting;
            while (slow) {
                if (callback != nullptr && callback(user, 0, 0) == vexlo::kCancelCode) {
                    --waiting;
                    return vexlo::kCancelCode;
                }
                QThread::msleep(2);
            }
            --waiting;
        }
        return ForwardingEngine::ExtractForPreview(record, path, buffer, byte_count, callback,
                                                   user);
    }
};

// An engine that found the given pictures and hands out their bytes.
class PictureEngine final : public FakeEngine
{
public:
    std::map<uint32_t, QByteArray> bytes; // by record number

    vexlo::ErrorCode ExtractForPreview(const vexlo::FoundFileRecord &record, std::string *path,
                                       uint8_t *buffer, uint32_t *byte_count,
                                       vexlo::PreviewProgressCallback, void *) override
    {
        path->clear();
        // By value: the record is packed, its fields cannot be referred to.
        const uint32_t number = record.record_number;
        const QByteArray &data = bytes[number];
        *byte_count = std::min<uint32_t>(*byte_count, uint32_t(data.size()));
        std::copy_n(data.constData(), *byte_count, buffer);
        return 0;
    }
};

bool IsDamageRed(QRgb pixel)
{
    return qRed(pixel) > 180 && qGreen(pixel) < 90 && qBlue(pixel) < 90;
}

// Whether the red mark sits in the lower right quarter of a thumbnail.
bool CarriesDamageMark(const QPixmap &thumbnail)
{
    const QImage image = thumbnail.toImage();
    int red = 0;
    for (int y = image.height() / 2; y < image.height(); ++y)
        for (int x = image.width() / 2; x < image.width(); ++x)
            red += IsDamageRed(image.pixel(x, y)) ? 1 : 0;
    return red > 30;
}

} // namespace

class ThumbnailTest : public QObject, private CardImageFixture
{
    Q_OBJECT

private:
    MainWndServices services()
    {
        MainWndServices services = QuietServices(
                m_history.history, [this] { return m_card; }, [] { return QString(); },
                [] { return std::vector<vexlo::PartitionRecord>(); });
        services.scan.createEngine
                = [real = services.scan.createEngine](const SourceEntry &source, int mode) {
                      std::unique_ptr<vexlo::IFileRecoveryParse> inner = real(source, mode);
                      return inner ? std::make_unique<WatchedEngine>(std::move(inner)) : nullptr;
                  };
        return services;
    }

    // The results of the card, shown as thumbnails.
    void openResults(CMainWnd &window)
    {
        window.resize(1000, 650);
        window.show();
        Child<QAbstractButton>(window, "BtnDeletedRecovery")->click();
        Child<QAbstractButton>(window, "BtnLoadImage")->click();
        Child<QAbstractButton>(window, "BtnScan")->click();
        QCOMPARE(Child<QStackedWidget>(window, "TabPage")->currentIndex(), CMainWnd::kResultPage);
        QCOMPARE(window.foundRecords().size(), std::size_t(kPhotos));
        QVERIFY(Child<QListView>(window, "ThumbnailView")->isVisible());
    }

    // Rows in sight whose thumbnail is not there yet.
    static int missingInSight(CMainWnd &window)
    {
        auto *view = window.findChild<CThumbnailView *>(QStringLiteral("ThumbnailView"));
        const auto [first, last] = view->rowsInSight();
        int missing = 0;
        for (int row = first; row >= 0 && row <= last; ++row)
            missing += window.thumbnailModel()->hasThumbnail(row) ? 0 : 1;
        return first < 0 ? -1 : missing;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("data")).toUtf8());
        m_catalogue = ShippedCatalogue();
        CMessageBox::SetAnswererForTesting([](int, const QString &) { return 2; });

        // One copy of all 500 photos onto the card, then one delete of them
        // all. (In the root: a deleted folder of FAT keeps only its first
        // cluster of entries findable.)
        m_card = m_dir.filePath(QStringLiteral("card.img"));
        const std::filesystem::path card = m_card.toStdString();
        QCOMPARE(vexlo::testing::MakeFatImage(
                         card, {.fat_bits = 16, .size_kib = 32768, .sectors_per_cluster = 4}),
                 "");
        const QDir photos(m_dir.filePath(QStringLiteral("photos")));
        QVERIFY(QDir().mkpath(photos.path()));
        std::vector<std::string> copy;
        for (int number = 1; number <= kPhotos; ++number) {
            const QString path = photos.filePath(
                    QStringLiteral("IMG_%1.JPG").arg(number, 4, 10, QLatin1Char('0')));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(Photo(number));
            copy.push_back(path.toStdString());
        }
        copy.push_back("::/");
        QCOMPARE(vexlo::testing::Mtools(card, "mcopy", copy), "");
        QCOMPARE(vexlo::testing::Mtools(card, "mdel", {"::/*.JPG"}), "");
    }

    void cleanupTestCase() { CMessageBox::SetAnswererForTesting(nullptr); }

    void init()
    {
        WatchedEngine::slow = false;
        WatchedEngine::fastReads = -1;
        WatchedEngine::reads = 0;
        WatchedEngine::readsOnGuiThread = 0;
    }

    // A card that turns slow after a dozen pictures: the first thumbnails
    // are on show while the worker is still held reading the next ones.
    void firstThumbnailsAppearWhileTheRestLoad()
    {
        WatchedEngine::fastReads = 12;
        CMainWnd window(services());
        openResults(window);
        CThumbnailModel *thumbnails = window.thumbnailModel();
        QTRY_VERIFY(thumbnails->hasThumbnail(0) && thumbnails->hasThumbnail(1));
        QTRY_VERIFY(WatchedEngine::waiting > 0);
        QVERIFY(thumbnails->hasThumbnail(0));
        // What has been read so far is a screenful or two, not the card.
        CThumbnailLoader *loader = window.thumbnailLoader();
        QVERIFY(loader->readCount() < uint64_t(kPhotos));
        QVERIFY(loader->waitingCount() > 0);
        QVERIFY(loader->waitingCount() <= std::size_t(CThumbnailModel::kMaxBatch));
        WatchedEngine::fastReads = -1;
        WatchedEngine::slow = false;
        QTRY_COMPARE(missingInSight(window), 0);
        QCOMPARE(WatchedEngine::readsOnGuiThread.load(), 0);
        SaveScreenshot(&window, QStringLiteral("thumbnails-500"));
    }

    // While the worker waits for a slow card, the user scrolls to the end:
    // the window follows at once, and the worker turns to the new rows.
    void scrollingDoesNotWaitForTheWorker()
    {
        CMainWnd window(services());
        openResults(window);
        QTRY_COMPARE(missingInSight(window), 0);
        WatchedEngine::slow = true;
        auto *view = window.findChild<CThumbnailView *>(QStringLiteral("ThumbnailView"));
        QScrollBar *bar = view->verticalScrollBar();
        bar->setValue(bar->value() + view->viewport()->height());
        QTRY_VERIFY(WatchedEngine::waiting > 0);

        // Held on the card, still the window scrolls and repaints.
        for (int step = 0; step < 8; ++step) {
            bar->setValue(bar->value() + bar->maximum() / 8);
            QTest::qWait(40);
            view->viewport()->repaint();
        }
        bar->setValue(bar->maximum());
        QTRY_COMPARE(view->rowsInSight().second, kPhotos - 1);
        QVERIFY(WatchedEngine::waiting > 0);
        QVERIFY(window.thumbnailLoader()->waitingCount()
                <= std::size_t(CThumbnailModel::kMaxBatch));

        WatchedEngine::slow = false;
        QTRY_COMPARE(missingInSight(window), 0);
        QCOMPARE(WatchedEngine::readsOnGuiThread.load(), 0);
    }

    // Scrolling through every photo keeps only a bounded number of
    // thumbnails and never queues more than a batch.
    void memoryStaysBounded()
    {
        CMainWnd window(services());
        openResults(window);
        CThumbnailModel *thumbnails = window.thumbnailModel();
        auto *view = window.findChild<CThumbnailView *>(QStringLiteral("ThumbnailView"));
        QScrollBar *bar = view->verticalScrollBar();
        std::size_t mostWaiting = 0;
        qsizetype mostCached = 0;
        for (;;) {
            QTRY_COMPARE(missingInSight(window), 0);
            mostWaiting = std::max(mostWaiting, window.thumbnailLoader()->waitingCount());
            mostCached = std::max(mostCached, thumbnails->cachedCount());
            QVERIFY(thumbnails->cachedCost() <= CThumbnailModel::kCacheCost);
            if (bar->value() == bar->maximum())
                break;
            bar->setValue(bar->value() + view->viewport()->height());
        }
        QVERIFY(mostWaiting <= std::size_t(CThumbnailModel::kMaxBatch));
        // Every photo was looked at, but not every thumbnail is still kept.
        QVERIFY2(mostCached < kPhotos, qPrintable(QString::number(mostCached)));
        QVERIFY(thumbnails->hasThumbnail(kPhotos - 1));
        QVERIFY(!thumbnails->hasThumbnail(0));
    }

    // A damaged picture carries the red mark; a picture that does not decode
    // shows the damaged picture of its type; a sound file its type's picture.
    void damagedPicturesAreMarked()
    {
        CheckedRecordSet checked;
        CFileListModel files(&checked);
        CThumbnailLoader loader;
        PictureEngine engine;
        const struct
        {
            const char *name;
            QByteArray bytes;
            bool intact;
        } cases[] = {
                {"intact.jpg", Photo(1), true},
                {"damaged.jpg", Photo(2), false},
                {"undecodable.jpg", QByteArray(4000, 'x'), true},
        };
        std::vector<vexlo::FoundFileRecord> records;
        for (const auto &c : cases) {
            vexlo::FoundFileRecord record = vexlo::EmptyRecord();
            record.SetName(c.name);
            record.record_number = uint32_t(records.size() + 1);
            record.size = uint64_t(c.bytes.size());
            record.content_check = c.intact ? 1 : 0;
            engine.bytes[uint32_t(records.size() + 1)] = c.bytes;
            records.push_back(record);
        }
        std::vector<const vexlo::FoundFileRecord *> shown;
        for (const vexlo::FoundFileRecord &record : records)
            shown.push_back(&record);
        files.setRecords(&shown, {});
        CThumbnailModel thumbnails(&files, &loader, [&engine](uint16_t) { return &engine; });
        thumbnails.requestRows(0, 2);
        QTRY_VERIFY(thumbnails.hasThumbnail(0) && thumbnails.hasThumbnail(1));
        auto picture = [&](int row) {
            return thumbnails.index(row, CFileListModel::kNameColumn)
                    .data(Qt::DecorationRole)
                    .value<QIcon>()
                    .pixmap(CThumbnailLoader::kSide);
        };
        QVERIFY(!CarriesDamageMark(picture(0)));
        QVERIFY(CarriesDamageMark(picture(1)));
        QTRY_VERIFY(CarriesDamageMark(picture(2)));
        QVERIFY(!thumbnails.hasThumbnail(2));
    }
};

QTEST_MAIN(ThumbnailTest)
#include "thumbnail_test.moc"
