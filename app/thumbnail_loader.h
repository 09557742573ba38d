// Decodes thumbnails of found pictures in a worker thread of its own.
//
// The user-interface thread hands over the jobs of the pictures in sight,
// nearest first; a new request replaces the jobs still waiting, so scrolling
// through thousands of pictures only ever queues what is about to be seen.
// The worker reads one picture at a time from its engine, in memory, and
// decodes it scaled down to the thumbnail's size; the result reaches the
// user-interface thread through loaded(). A picture larger than
// kMaxSourceBytes is not read (a null thumbnail is reported).
//
// Engines serve one thread at a time. The worker uses an engine only while
// the loader is not suspended: every operation of the main window that uses
// the engines itself, or destroys them, first calls suspend() (or clear()),
// which stops the picture being read at the engine's next callback and
// returns once the worker has let go of the engine. The stopped job is read
// again on resume(); clear() forgets every job, and results of jobs handed
// over before it are never delivered.
#pragma once

#include <QImage>
#include <QObject>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "checked_record_set.h"
#include "engine/file_recovery_parse.h"
#include "engine/found_file_record.h"

using ThumbnailKey = CheckedRecordSet::Key;

struct ThumbnailJob
{
    ThumbnailKey key;
    vexlo::FoundFileRecord record;
    vexlo::IFileRecoveryParse *engine = nullptr; // must stay alive until clear()
};

class CThumbnailLoader : public QObject
{
    Q_OBJECT

public:
    // Thumbnails fit a square of this many pixels.
    static constexpr int kSide = 128;
    static constexpr uint64_t kMaxSourceBytes = uint64_t{64} << 20;

    explicit CThumbnailLoader(QObject *parent = nullptr);
    ~CThumbnailLoader() override; // stops the worker

    // Replaces the waiting jobs; the first is read first.
    void request(std::vector<ThumbnailJob> jobs);
    // Forgets every job and waits until no engine is in use.
    void clear();
    // Keeps the worker away from the engines until the matching resume();
    // returns once the worker has let go of its engine. Calls nest.
    void suspend();
    void resume();

    // Jobs waiting (not the one being read).
    std::size_t waitingCount() const;
    // Pictures read since the loader was made (for tests and the curious).
    uint64_t readCount() const { return m_readCount.load(); }

signals:
    // A thumbnail is ready; a null image when the picture could not be read
    // or decoded.
    void loaded(ThumbnailKey key, const QImage &thumbnail);

private:
    void run();
    QImage load(const ThumbnailJob &job);
    static int32_t progress(void *user, int32_t percent, int32_t status);
    // Under m_mutex: waits until the job being read has let go of its engine.
    void stopRunningJob(std::unique_lock<std::mutex> &lock);

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<ThumbnailJob> m_jobs; // guarded by m_mutex
    int m_suspended = 0; // guarded by m_mutex
    bool m_running = false; // guarded by m_mutex: a job is being read
    bool m_stopping = false; // guarded by m_mutex
    // Jobs handed over before the last clear() belong to an older generation.
    uint64_t m_generation = 0; // guarded by m_mutex
    std::atomic<bool> m_cancelRunning{false};
    std::atomic<uint64_t> m_readCount{0};
    std::thread m_worker;
};
