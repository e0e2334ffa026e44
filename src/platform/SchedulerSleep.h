#pragma once

#include "platform/Scheduler.h"

#include <coroutine>
#include <memory>

// co_await SchedulerSleep{scheduler, seconds}: suspends without blocking the main thread.
// Destroying the suspended coroutine cancels the timer.
struct SchedulerSleep {
    Scheduler &scheduler;
    double seconds;
    std::shared_ptr<ScheduledTask> task{}; // shared: the awaiter may be copied

    bool await_ready() const noexcept { return seconds <= 0; }
    void await_suspend(std::coroutine_handle<> handle) { task = scheduler.after(seconds, [handle] { handle.resume(); }); }
    void await_resume() noexcept {}
};
