#include "QtScheduler.h"

#include <QTimer>

#include <cmath>

namespace {

class TimerTask final : public ScheduledTask {
public:
    TimerTask(double seconds, bool repeating, std::function<void()> action)
    {
        m_timer.setSingleShot(!repeating);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this, action = std::move(action)] {
            // The action may destroy this handle; keep a copy to call.
            auto run = action;
            run();
        });
        m_timer.start(static_cast<int>(std::lround(std::max(0.0, seconds) * 1000.0)));
    }
    void cancel() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
};

} // namespace

QtScheduler::QtScheduler() { m_clock.start(); }

double QtScheduler::now() const { return static_cast<double>(m_clock.nsecsElapsed()) / 1e9; }

std::unique_ptr<ScheduledTask> QtScheduler::after(double seconds, std::function<void()> action)
{
    return std::make_unique<TimerTask>(seconds, false, std::move(action));
}

std::unique_ptr<ScheduledTask> QtScheduler::every(double seconds, std::function<void()> action)
{
    return std::make_unique<TimerTask>(seconds, true, std::move(action));
}
