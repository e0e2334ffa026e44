#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>

#include <qcoro/qcorotask.h>

#include <optional>
#include <stdexcept>

// Runs the event loop until the task has a result (QCoro::waitFor needs a default-constructible
// result, which Result<T, E> is not). Fails loudly instead of hanging.
template <typename T>
T runTask(QCoro::Task<T> task, int timeoutMilliseconds = 60000)
{
    std::optional<T> out;
    auto wrap = [&out](QCoro::Task<T> inner) -> QCoro::Task<> { out.emplace(co_await std::move(inner)); };
    auto running = wrap(std::move(task));
    QElapsedTimer clock;
    clock.start();
    while (!out) {
        if (clock.elapsed() > timeoutMilliseconds)
            throw std::runtime_error("task did not finish in time");
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
    }
    return std::move(*out);
}
