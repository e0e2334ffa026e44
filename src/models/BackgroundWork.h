#pragma once

#include <QObject>
#include <QSet>
#include <QThread>

#include <qcoro/qcorosignal.h>
#include <qcoro/qcorotask.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

// Runs work that would block the main thread (copying and hashing multi-gigabyte files) on a
// thread of its own; the awaiting coroutine resumes on the main thread. Destroying it raises the
// stop flag, waits for the work and resumes the awaiting coroutines before it returns, so the
// owner destroys it while its own members still exist.
class BackgroundWork final : public QObject {
    Q_OBJECT

public:
    using StopFlag = std::atomic<bool>;

    explicit BackgroundWork(QObject *parent = nullptr) : QObject(parent) {}
    ~BackgroundWork() override;

    template <typename T>
    QCoro::Task<T> run(std::function<T(const StopFlag &stop)> work);

signals:
    void finished(QThread *thread);

private:
    std::shared_ptr<StopFlag> m_stop = std::make_shared<StopFlag>(false);
    QSet<QThread *> m_threads;
};

template <typename T>
QCoro::Task<T> BackgroundWork::run(std::function<T(const StopFlag &stop)> work)
{
    auto result = std::make_shared<std::optional<T>>();
    // The end is announced through this object's event queue, so it cannot arrive before the
    // coroutine below is waiting for it.
    QThread *thread = QThread::create([work = std::move(work), result, stop = m_stop, self = this] {
        result->emplace(work(*stop));
        QThread *me = QThread::currentThread();
        QMetaObject::invokeMethod(self, [self, me] { emit self->finished(me); }, Qt::QueuedConnection);
    });
    m_threads.insert(thread);
    thread->start();
    QThread *mine = thread;
    for (;;) {
        QThread *done = co_await qCoro(this, &BackgroundWork::finished);
        if (done == mine)
            break;
    }
    m_threads.remove(mine);
    mine->wait();
    delete mine;
    co_return std::move(**result);
}
