#include "platform/StagedFileWriter.h"

#include "platform/Sha256.h"

#include <QFile>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {
// Enough to keep the writer busy while the receiver fills the next chunk, little enough that the
// final wait is short.
constexpr size_t kDepth = 3;
} // namespace

// Writing and hashing run on a thread each, over the same chunks, so a chunk costs the slower of
// the two rather than both; a chunk is reused once both have passed it.
struct StagedFileWriter::State {
    QFile file;
    std::unique_ptr<Sha256> hash;
    std::function<void()> roomAgain;

    mutable std::mutex lock;
    std::condition_variable wake;
    // Chunks not yet passed by both threads; `first` is the number of the front one.
    std::deque<std::pair<QByteArray, qsizetype>> queue;
    quint64 first = 0;
    quint64 next[2] = {0, 0}; // the chunk each thread takes next: [0] writes, [1] hashes
    std::vector<QByteArray> spare;
    bool closing = false;
    bool failed = false;
    qint64 written = 0;
    QString error;
    std::thread threads[2];

    quint64 end() const { return first + queue.size(); }

    void run(int which)
    {
        std::unique_lock guard(lock);
        for (;;) {
            wake.wait(guard, [&] { return closing || next[which] < end(); });
            if (next[which] >= end())
                return;
            const auto &[chunk, used] = queue[next[which] - first];
            // The chunk stays in place until both threads are past it, so it is read unlocked.
            const char *data = chunk.constData();
            const qsizetype size = used;
            const bool skip = failed;
            guard.unlock();
            bool ok = true;
            if (which == 0 && !skip)
                ok = file.write(data, size) == size;
            else if (which == 1 && !skip)
                hash->update(data, size);
            guard.lock();
            if (!ok && !failed) {
                failed = true;
                error = file.errorString();
            }
            if (which == 0)
                written += ok && !skip ? size : 0;
            ++next[which];
            release(guard);
        }
    }

    // Hands back the chunks both threads have passed, and says so when that made room.
    void release(std::unique_lock<std::mutex> &guard)
    {
        const quint64 passed = hash ? std::min(next[0], next[1]) : next[0];
        const bool wasFull = queue.size() >= kDepth;
        bool freed = false;
        while (first < passed) {
            spare.push_back(std::move(queue.front().first));
            queue.pop_front();
            ++first;
            freed = true;
        }
        wake.notify_all();
        if (freed && wasFull && roomAgain) {
            // A copy: the destructor may drop the original meanwhile.
            const std::function<void()> notify = roomAgain;
            guard.unlock();
            notify();
            guard.lock();
        }
    }
};

StagedFileWriter::StagedFileWriter(const QString &path, bool computeSha256, std::function<void()> roomAgain)
    : m_state(std::make_unique<State>())
{
    m_state->file.setFileName(path);
    if (computeSha256)
        m_state->hash = std::make_unique<Sha256>();
    m_state->roomAgain = std::move(roomAgain);
}

StagedFileWriter::~StagedFileWriter()
{
    {
        const std::lock_guard guard(m_state->lock);
        // Whatever is still queued is dropped, and the receiver, which may be gone, hears nothing.
        m_state->failed = true;
        m_state->closing = true;
        m_state->roomAgain = nullptr;
    }
    m_state->wake.notify_all();
    for (std::thread &thread : m_state->threads) {
        if (thread.joinable())
            thread.join();
    }
}

QString StagedFileWriter::open()
{
    if (!m_state->file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return m_state->file.errorString();
    m_state->threads[0] = std::thread([state = m_state.get()] { state->run(0); });
    if (m_state->hash)
        m_state->threads[1] = std::thread([state = m_state.get()] { state->run(1); });
    return {};
}

QByteArray StagedFileWriter::takeBuffer(qsizetype size)
{
    {
        const std::lock_guard guard(m_state->lock);
        while (!m_state->spare.empty()) {
            QByteArray buffer = std::move(m_state->spare.back());
            m_state->spare.pop_back();
            if (buffer.size() >= size)
                return buffer;
        }
    }
    return QByteArray(size, Qt::Uninitialized);
}

void StagedFileWriter::push(QByteArray chunk, qsizetype used)
{
    if (used <= 0)
        return;
    {
        const std::lock_guard guard(m_state->lock);
        m_state->queue.emplace_back(std::move(chunk), used);
    }
    m_state->wake.notify_all();
}

bool StagedFileWriter::full() const
{
    const std::lock_guard guard(m_state->lock);
    return m_state->queue.size() >= kDepth;
}

bool StagedFileWriter::failed() const
{
    const std::lock_guard guard(m_state->lock);
    return m_state->failed;
}

StagedFileWriter::Written StagedFileWriter::finish()
{
    Written out;
    {
        const std::lock_guard guard(m_state->lock);
        m_state->closing = true;
    }
    m_state->wake.notify_all();
    for (std::thread &thread : m_state->threads) {
        if (thread.joinable())
            thread.join();
    }
    out.error = m_state->error;
    out.size = m_state->written;
    if (out.error.isEmpty() && !m_state->file.flush())
        out.error = m_state->file.errorString();
    m_state->file.close();
    if (out.error.isEmpty() && m_state->hash)
        out.sha256 = m_state->hash->finalHex();
    return out;
}
