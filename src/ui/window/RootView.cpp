#include "window/RootView.h"

#include "app/AppState.h"
#include "window/MainShellView.h"
#include "window/OnboardingView.h"

RootView::RootView(const WindowContext &context, QWidget *parent) : QStackedWidget(parent), m_context(context)
{
    setObjectName(QStringLiteral("windowRoot"));
    connect(context.state, &AppState::preferencesChanged, this, &RootView::refresh);
    refresh();
}

void RootView::refresh()
{
    if (m_context.state->onboardingComplete()) {
        if (!m_shell) {
            m_shell = new MainShellView(m_context, this);
            addWidget(m_shell);
        }
        setCurrentWidget(m_shell);
        // The onboarding's state lives only while it is shown.
        if (m_onboarding) {
            removeWidget(m_onboarding);
            m_onboarding->deleteLater();
            m_onboarding = nullptr;
        }
        return;
    }
    if (!m_onboarding) {
        m_onboarding = new OnboardingView(m_context, this);
        addWidget(m_onboarding);
    }
    setCurrentWidget(m_onboarding);
}
