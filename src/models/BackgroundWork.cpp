#include "models/BackgroundWork.h"

BackgroundWork::~BackgroundWork()
{
    m_stop->store(true);
    // Each waiting coroutine takes its thread out of the set and deletes it when resumed.
    const QSet<QThread *> running = m_threads;
    for (QThread *thread : running) {
        thread->wait();
        emit finished(thread);
    }
}
