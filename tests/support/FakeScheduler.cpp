#include "FakeScheduler.h"

#include <algorithm>

namespace {
class Handle final : public ScheduledTask {
public:
    explicit Handle(std::shared_ptr<FakeScheduler::Entry> entry) : m_entry(std::move(entry)) {}
    ~Handle() override { cancel(); }
    void cancel() override { m_entry->cancelled = true; }
    bool isActive() const override { return !m_entry->cancelled; }

private:
    std::shared_ptr<FakeScheduler::Entry> m_entry;
};
} // namespace

std::unique_ptr<ScheduledTask> FakeScheduler::add(double seconds, double interval, std::function<void()> action)
{
    auto entry = std::make_shared<Entry>();
    entry->due = m_now + std::max(0.0, seconds);
    entry->interval = interval;
    entry->action = std::move(action);
    entry->order = m_order++;
    m_entries.push_back(entry);
    return std::make_unique<Handle>(entry);
}

std::unique_ptr<ScheduledTask> FakeScheduler::after(double seconds, std::function<void()> action)
{
    return add(seconds, 0, std::move(action));
}

std::unique_ptr<ScheduledTask> FakeScheduler::every(double seconds, std::function<void()> action)
{
    return add(seconds, seconds, std::move(action));
}

void FakeScheduler::advance(double seconds)
{
    const double end = m_now + seconds + 1e-9;
    for (;;) {
        std::erase_if(m_entries, [](const auto &e) { return e->cancelled; });
        auto next = std::min_element(m_entries.begin(), m_entries.end(), [](const auto &a, const auto &b) {
            return a->due != b->due ? a->due < b->due : a->order < b->order;
        });
        if (next == m_entries.end() || (*next)->due > end)
            break;
        std::shared_ptr<Entry> entry = *next;
        m_now = std::max(m_now, entry->due);
        if (entry->interval > 0)
            entry->due += entry->interval;
        else
            entry->cancelled = true;
        auto action = entry->action;
        action();
    }
    m_now = std::max(m_now, end - 1e-9);
}

int FakeScheduler::activeCount() const
{
    return static_cast<int>(std::count_if(m_entries.begin(), m_entries.end(), [](const auto &e) { return !e->cancelled; }));
}
