#pragma once

#include "platform/Scheduler.h"

#include <memory>
#include <vector>

// Virtual time: nothing fires until advance() moves the clock past it.
class FakeScheduler final : public Scheduler {
public:
    double now() const override { return m_now; }
    std::unique_ptr<ScheduledTask> after(double seconds, std::function<void()> action) override;
    std::unique_ptr<ScheduledTask> every(double seconds, std::function<void()> action) override;

    // Fires every timer due within the next `seconds`, in time order, then sets the clock.
    void advance(double seconds);
    int activeCount() const;

    struct Entry {
        double due = 0;
        double interval = 0; // 0: one-shot
        std::function<void()> action;
        bool cancelled = false;
        long order = 0;
    };

private:
    std::unique_ptr<ScheduledTask> add(double seconds, double interval, std::function<void()> action);
    double m_now = 0;
    long m_order = 0;
    std::vector<std::shared_ptr<Entry>> m_entries;
};
