#pragma once

#include "Scheduler.h"

#include <QElapsedTimer>

// Scheduler on QTimer and a monotonic clock.
class QtScheduler final : public Scheduler {
public:
    QtScheduler();
    double now() const override;
    std::unique_ptr<ScheduledTask> after(double seconds, std::function<void()> action) override;
    std::unique_ptr<ScheduledTask> every(double seconds, std::function<void()> action) override;

private:
    QElapsedTimer m_clock;
};
