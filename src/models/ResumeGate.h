#pragma once

// moc cannot parse the standard library's concepts header.
#ifndef Q_MOC_RUN
#include <coroutine>
#endif
#include <utility>

// An awaitable that a coroutine waits on until open() is called, which resumes it right there.
// Qt's signal awaiting resumes through the event queue, which never runs again for an object
// being destroyed; owners open their gates in their destructors, so nothing is left suspended.
class ResumeGate {
public:
    ResumeGate() = default;
    ResumeGate(const ResumeGate &) = delete;
    ResumeGate &operator=(const ResumeGate &) = delete;

    // GCC 12 may copy the awaiter of a co_await expression, so it only points at the gate.
    struct Awaiter {
        ResumeGate *gate;
        bool await_ready() const noexcept { return gate->m_open; }
        void await_suspend(std::coroutine_handle<> waiter) const noexcept { gate->m_waiter = waiter; }
        void await_resume() const noexcept {}
    };
    Awaiter operator co_await() noexcept { return Awaiter{this}; }

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
