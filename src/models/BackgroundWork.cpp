#include "models/BackgroundWork.h"

BackgroundWork::~BackgroundWork()
{
    m_stop->store(true);
    // Each resumed coroutine takes its thread out of the table and deletes it.
    const auto running = m_threads;
    for (auto it = running.begin(); it != running.end(); ++it) {
        it.key()->wait();
        it.value()->open();
    }
}
