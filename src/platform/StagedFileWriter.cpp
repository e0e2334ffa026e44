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

struct StagedFileWriter::State {
    QFile file;
    std::unique_ptr<Sha256> hash;
    std::function<void()> roomAgain;

    mutable std::mutex lock;
    std::condition_variable wake;
    std::deque<std::pair<QByteArray, qsizetype>> queue;
    std::vector<QByteArray> spare;
    bool closing = false;
    bool failed = false;
    qint64 written = 0;
    QString error;
    std::thread thread;

    void run()
    {
        std::unique_lock guard(lock);
        for (;;) {
            wake.wait(guard, [this] { return closing || !queue.empty(); });
            if (queue.empty())
                return;
            auto [chunk, used] = std::move(queue.front());
            queue.pop_front();
            const bool wasFull = queue.size() + 1 >= kDepth;
            const bool skip = failed;
            guard.unlock();
            const bool ok = !skip && file.write(chunk.constData(), used) == used;
            if (ok && hash)
                hash->update(chunk.constData(), used);
            guard.lock();
            if (!ok && !failed) {
                failed = true;
                error = file.errorString();
            }
            written += ok ? used : 0;
            spare.push_back(std::move(chunk));
            wake.notify_all();
            if (wasFull && roomAgain) {
                guard.unlock();
                roomAgain();
                guard.lock();
            }
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
    if (!m_state->thread.joinable())
        return;
    {
        const std::lock_guard guard(m_state->lock);
        m_state->queue.clear();
        m_state->closing = true;
    }
    m_state->wake.notify_all();
    m_state->thread.join();
}

QString StagedFileWriter::open()
{
    if (!m_state->file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return m_state->file.errorString();
    m_state->thread = std::thread([state = m_state.get()] { state->run(); });
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
    if (m_state->thread.joinable()) {
        {
            const std::lock_guard guard(m_state->lock);
            m_state->closing = true;
        }
        m_state->wake.notify_all();
        m_state->thread.join();
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
