#pragma once

#include "app/AgentServices.h"

#include <QObject>

#include <functional>
#include <memory>

class AgentConversationPanelView;
class AgentResultToast;
class AppState;
class FloatingPanelHints;
class QWidget;
class Scheduler;
class ScheduledTask;

// The result card and the conversation window of the Command runs.
class AgentResultPanelController final : public QObject, public AgentResultPresenter {
    Q_OBJECT

public:
    static constexpr double resultShownFor = 5.0;
    using Activate = std::function<void(QWidget *)>;

    // hints may be null; activate raises a window the window manager might otherwise keep behind.
    AgentResultPanelController(AppState &state, Scheduler &scheduler, FloatingPanelHints *hints, Activate activate = {},
                               QObject *parent = nullptr);
    ~AgentResultPanelController() override;

    void showResult() override;
    void hideResult() override;
    void showConversationPanel() override;

    AgentResultToast *resultPanel() const { return m_toast.get(); }
    QWidget *conversationPanel() const { return m_window.get(); }
    AgentConversationPanelView *conversationView() const { return m_view; }
    bool hidePending() const { return m_hideTask != nullptr; }

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    AppState &m_state;
    Scheduler &m_scheduler;
    FloatingPanelHints *m_hints;
    Activate m_activate;
    std::unique_ptr<AgentResultToast> m_toast;
    std::unique_ptr<QWidget> m_window;
    AgentConversationPanelView *m_view;
    std::unique_ptr<ScheduledTask> m_hideTask;
};
