#include "thumbnail_loader.h"

#include <QBuffer>
#include <QImageReader>
#include <QMetaObject>

#include "platform/error_code.h"

namespace {

// The engines decide from a record's name whether a preview goes to a file
// or to memory: a type they know no file for comes back in the buffer. The
// worker asks under such a name, so that no picture is written anywhere and
// the preview's own "tmp.jpg" is left alone.
constexpr std::string_view kInMemoryName = "thumbnail.bytes";

QImage Decode(const uint8_t *bytes, uint32_t count)
{
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char *>(bytes), count);
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    // Cameras store portrait photos sideways with a note to turn them.
    reader.setAutoTransform(true);
    const QSize full = reader.size();
    if (full.isValid()) {
        // Readers that can (JPEG) decode at the reduced size directly, which
        // is most of the work saved.
        reader.setScaledSize(
                full.scaled(CThumbnailLoader::kSide, CThumbnailLoader::kSide, Qt::KeepAspectRatio)
                        .expandedTo(QSize(1, 1)));
    }
    QImage image = reader.read();
    if (image.isNull())
        return {};
    if (image.width() > CThumbnailLoader::kSide || image.height() > CThumbnailLoader::kSide)
        image = image.scaled(CThumbnailLoader::kSide, CThumbnailLoader::kSide, Qt::KeepAspectRatio,
                             Qt::SmoothTransformation);
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

CThumbnailLoader::CThumbnailLoader(QObject *parent)
    : QObject(parent)
    , m_worker([this] { run(); })
{
}

CThumbnailLoader::~CThumbnailLoader()
{
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_stopping = true;
        m_cancelRunning = true;
    }
    m_changed.notify_all();
    m_worker.join();
}

void CThumbnailLoader::request(std::vector<ThumbnailJob> jobs)
{
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_jobs.assign(std::make_move_iterator(jobs.begin()), std::make_move_iterator(jobs.end()));
    }
    m_changed.notify_all();
}

void CThumbnailLoader::stopRunningJob(std::unique_lock<std::mutex> &lock)
{
    if (m_running)
        m_cancelRunning = true;
    m_changed.wait(lock, [this] { return !m_running; });
}

void CThumbnailLoader::clear()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    ++m_generation;
    m_jobs.clear();
    stopRunningJob(lock);
}

void CThumbnailLoader::suspend()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    ++m_suspended;
    stopRunningJob(lock);
}

void CThumbnailLoader::resume()
{
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_suspended > 0)
            --m_suspended;
    }
    m_changed.notify_all();
}

std::size_t CThumbnailLoader::waitingCount() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_jobs.size();
}

int32_t CThumbnailLoader::progress(void *user, int32_t, int32_t)
{
    const auto *self = static_cast<const CThumbnailLoader *>(user);
    return self->m_cancelRunning.load() ? vexlo::kCancelCode : 0;
}

QImage CThumbnailLoader::load(const ThumbnailJob &job)
{
    const uint64_t size = job.record.size;
    if (job.engine == nullptr || size == 0 || size > kMaxSourceBytes)
        return {};
    std::vector<uint8_t> bytes(size);
    auto count = static_cast<uint32_t>(size);
    vexlo::FoundFileRecord asked = job.record;
    asked.SetName(kInMemoryName);
    std::string path;
    const vexlo::ErrorCode rc = job.engine->ExtractForPreview(asked, &path, bytes.data(), &count,
                                                              &CThumbnailLoader::progress, this);
    ++m_readCount;
    if (!rc.ok() || !path.empty())
        return {};
    return Decode(bytes.data(), std::min<uint32_t>(count, uint32_t(size)));
}

void CThumbnailLoader::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock,
                       [this] { return m_stopping || (m_suspended == 0 && !m_jobs.empty()); });
        if (m_stopping)
            return;
        ThumbnailJob job = std::move(m_jobs.front());
        m_jobs.pop_front();
        const uint64_t generation = m_generation;
        m_running = true;
        m_cancelRunning = false;
        lock.unlock();

        // Nothing may escape a worker; a picture that fails is shown as such.
        QImage image;
        try {
            image = load(job);
        } catch (...) {
            image = QImage();
        }

        lock.lock();
        m_running = false;
        const bool stopped = m_cancelRunning.load();
        if (stopped && generation == m_generation && !m_stopping)
            m_jobs.push_front(std::move(job)); // suspended: read it again later
        m_changed.notify_all();
        if (stopped)
            continue;
        QMetaObject::invokeMethod(
                this,
                [this, key = job.key, image = std::move(image), generation] {
                    bool current = false;
                    {
                        std::lock_guard<std::mutex> guard(m_mutex);
                        current = generation == m_generation;
                    }
                    if (current)
                        emit loaded(key, image);
                },
                Qt::QueuedConnection);
    }
}
