#include "ApplicationMenus.h"

#include "UiTasks.h"
#include "app/AppState.h"

#include <QMenu>
#include <QMenuBar>

ApplicationMenus::ApplicationMenus(AppState &state, QMenuBar *bar, CommandHooks hooks)
    : QObject(bar), m_state(state), m_hooks(std::move(hooks))
{
    m_dictation = bar->addMenu(QStringLiteral("Dictation"));
    m_toggle = m_dictation->addAction(QString());
    m_cancelDictation = m_dictation->addAction(QString());
    m_cancelRecording = m_dictation->addAction(QStringLiteral("Cancel Recording"));

    m_command = bar->addMenu(QStringLiteral("Command"));
    m_agent = m_command->addAction(QString());
    m_agentScreenshot = m_command->addAction(QString());
    m_openConversation = m_command->addAction(QStringLiteral("Open Current Conversation"));

    AppState *s = &m_state;
    connect(m_toggle, &QAction::triggered, this, [s] { onMainThread(s, [](AppState &a) { a.toggleRecording(); }); });
    for (QAction *cancel : {m_cancelDictation, m_cancelRecording})
        connect(cancel, &QAction::triggered, this,
                [s] { onMainThread(s, [](AppState &a) { a.cancelRecording(); }); });
    connect(m_agent, &QAction::triggered, this,
            [s] { onMainThread(s, [](AppState &a) { a.toggleAgentRecording(false); }); });
    connect(m_agentScreenshot, &QAction::triggered, this,
            [s] { onMainThread(s, [](AppState &a) { a.toggleAgentRecording(true); }); });
    connect(m_openConversation, &QAction::triggered, this, [this, s] {
        if (m_hooks.openActiveConversation)
            return m_hooks.openActiveConversation();
        onMainThread(s, [](AppState &a) {
            if (const auto id = a.activeAgentConversationID())
                a.openAgentConversation(*id);
        });
    });

    for (auto signal : {&AppState::statusChanged, &AppState::shortcutsChanged, &AppState::agentPhaseChanged,
                        &AppState::agentSettingsChanged, &AppState::activeAgentConversationIDChanged})
        connect(&m_state, signal, this, &ApplicationMenus::refresh);
    // Hooks may depend on anything; they are asked again whenever a menu opens.
    connect(m_command, &QMenu::aboutToShow, this, &ApplicationMenus::refresh);
    connect(m_dictation, &QMenu::aboutToShow, this, &ApplicationMenus::refresh);
    refresh();
}

void ApplicationMenus::refresh()
{
    const bool recording = m_state.status().kind == CaptureStatus::Kind::recording;
    const QString toggleName = m_state.toggleShortcut().displayName();
    m_toggle->setText((recording ? QStringLiteral("Finish Dictation (") : QStringLiteral("Start Dictation (")) +
                      toggleName + QLatin1Char(')'));
    m_cancelDictation->setText(QStringLiteral("Cancel Dictation (") + m_state.cancelShortcut().displayName() +
                               QLatin1Char(')'));
    m_cancelDictation->setEnabled(recording);
    m_cancelRecording->setEnabled(recording);

    m_agent->setText(m_state.agentPhase() == AgentPhase::listening
                         ? QStringLiteral("Finish Command Recording")
                         : QStringLiteral("Start Command (") + m_state.agentShortcut().displayName() + QLatin1Char(')'));
    m_agentScreenshot->setText(QStringLiteral("Start Command with Screenshot (") +
                               m_state.agentScreenshotShortcut().displayName() + QLatin1Char(')'));
    const auto model = m_state.selectedAgentModel();
    m_agentScreenshot->setEnabled(m_hooks.selectedWritingModelSupportsImages
                                      ? m_hooks.selectedWritingModelSupportsImages()
                                      : model && model->capabilities.images);
    m_openConversation->setEnabled(m_hooks.hasActiveConversation ? m_hooks.hasActiveConversation()
                                                                 : m_state.activeAgentConversationID().has_value());
}
