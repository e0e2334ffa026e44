#pragma once

#include <coroutine>
#include <utility>

// An awaitable that a coroutine waits on until open() is called, which resumes it right there.
// Qt's signal awaiting resumes through the event queue, which never runs again for an object
// being destroyed; owners open their gates in their destructors, so nothing is left suspended.
class ResumeGate {
public:
    bool await_ready() const noexcept { return m_open; }
    void await_suspend(std::coroutine_handle<> waiter) noexcept { m_waiter = waiter; }
    void await_resume() const noexcept {}

    void open()
    {
        if (m_open)
            return;
        m_open = true;
        if (auto waiter = std::exchange(m_waiter, {}))
            waiter.resume();
    }
    bool isOpen() const { return m_open; }

private:
    bool m_open = false;
    std::coroutine_handle<> m_waiter;
};
