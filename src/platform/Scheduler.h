#pragma once

#include <functional>
#include <memory>

// A pending "after N seconds" or repeating timer. Destroying the handle cancels it.
class ScheduledTask {
public:
    virtual ~ScheduledTask() = default;
    virtual void cancel() = 0;
    virtual bool isActive() const = 0;
};

// All waiting goes through this port, so tests can advance time by hand.
// Callbacks run on the main thread.
class Scheduler {
public:
    virtual ~Scheduler() = default;
    // Monotonic seconds since an arbitrary origin.
    virtual double now() const = 0;
    virtual std::unique_ptr<ScheduledTask> after(double seconds, std::function<void()> action) = 0;
    virtual std::unique_ptr<ScheduledTask> every(double seconds, std::function<void()> action) = 0;
};
