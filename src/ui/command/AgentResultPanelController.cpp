#include "AgentResultPanelController.h"

#include "AgentConversationPanelView.h"
#include "AgentResultToast.h"

#include "app/AppState.h"
#include "platform/FloatingPanelHints.h"
#include "platform/Scheduler.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

AgentResultPanelController::AgentResultPanelController(AppState &state, Scheduler &scheduler,
                                                       FloatingPanelHints *hints, Activate activate, QObject *parent)
    : QObject(parent), m_state(state), m_scheduler(scheduler), m_hints(hints), m_activate(std::move(activate)),
      m_toast(std::make_unique<AgentResultToast>(state)), m_window(std::make_unique<QWidget>())
{
    connect(m_toast.get(), &AgentResultToast::dismissRequested, this, &AgentResultPanelController::hideResult);

    m_window->setWindowTitle(QStringLiteral("Orvel Raza — Command"));
    m_window->resize(560, 680);
    m_window->setMinimumSize(440, 520);
    m_view = new AgentConversationPanelView(state, m_window.get());
    auto *layout = new QVBoxLayout(m_window.get());
    layout->addWidget(m_view);
    // Closing only hides the window; the state hears that it is gone.
    m_window->installEventFilter(this);
}

AgentResultPanelController::~AgentResultPanelController() = default;

bool AgentResultPanelController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window.get() && event->type() == QEvent::Close)
        m_state.setAgentPanelVisible(false);
    return QObject::eventFilter(watched, event);
}

void AgentResultPanelController::showResult()
{
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen && !QGuiApplication::screens().isEmpty())
        screen = QGuiApplication::screens().first();
    if (!screen)
        return;
    const QRect visible = screen->availableGeometry();
    m_toast->move(visible.left() + visible.width() - AgentResultToast::panelWidth - 18, visible.top() + 18);
    if (!m_toast->isVisible()) {
        m_toast->setCutToCard(m_hints && !m_hints->translucencyWorks());
        if (m_hints)
            m_hints->show(*m_toast);
        else
            m_toast->show();
    }
    m_toast->raise();
    m_hideTask = m_scheduler.after(resultShownFor, [this] { hideResult(); });
}

void AgentResultPanelController::hideResult()
{
    m_hideTask.reset();
    m_toast->hide();
}

void AgentResultPanelController::showConversationPanel()
{
    hideResult();
    if (!m_window->isVisible()) {
        if (QScreen *screen = QGuiApplication::primaryScreen()) {
            QRect frame = m_window->frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            m_window->move(frame.topLeft());
        }
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    m_view->focusComposer();
    if (m_activate)
        m_activate(m_window.get());
}
