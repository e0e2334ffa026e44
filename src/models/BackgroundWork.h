#pragma once

#include "models/ResumeGate.h"

#include <QHash>
#include <QObject>
#include <QThread>

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

private:
    std::shared_ptr<StopFlag> m_stop = std::make_shared<StopFlag>(false);
    QHash<QThread *, std::shared_ptr<ResumeGate>> m_threads;
};

template <typename T>
QCoro::Task<T> BackgroundWork::run(std::function<T(const StopFlag &stop)> work)
{
    auto result = std::make_shared<std::optional<T>>();
    auto done = std::make_shared<ResumeGate>();
    // The end is announced through this object's event queue, so the coroutine resumes on the
    // main thread; the destructor opens the gate itself once the thread has ended.
    QThread *thread = QThread::create([work = std::move(work), result, done, stop = m_stop, self = this] {
        result->emplace(work(*stop));
        QMetaObject::invokeMethod(self, [done] { done->open(); }, Qt::QueuedConnection);
    });
    m_threads.insert(thread, done);
    thread->start();
    co_await *done;
    m_threads.remove(thread);
    thread->wait();
    delete thread;
    co_return std::move(**result);
}
