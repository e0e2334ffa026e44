#pragma once

#include <QObject>

#include <functional>

class AppState;
class QAction;
class QMenu;
class QMenuBar;

// The "Dictation" and "Command" menus of the main window, whose titles and enabled states follow
// the application state.
class ApplicationMenus final : public QObject {
    Q_OBJECT

public:
    // Overrides of what the state tells about the Command side (tests, other windows).
    struct CommandHooks {
        std::function<bool()> selectedWritingModelSupportsImages;
        std::function<bool()> hasActiveConversation;
        std::function<void()> openActiveConversation;
    };

    ApplicationMenus(AppState &state, QMenuBar *bar, CommandHooks hooks = {});

    QMenu *dictationMenu() const { return m_dictation; }
    QMenu *commandMenu() const { return m_command; }

public slots:
    void refresh();

private:
    AppState &m_state;
    CommandHooks m_hooks;
    QMenu *m_dictation;
    QMenu *m_command;
    QAction *m_toggle;
    QAction *m_cancelDictation;
    QAction *m_cancelRecording;
    QAction *m_agent;
    QAction *m_agentScreenshot;
    QAction *m_openConversation;
};
