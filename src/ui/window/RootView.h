#pragma once

#include "window/WindowContext.h"

#include <QStackedWidget>

class MainShellView;
class OnboardingView;

// Onboarding until it has been completed, then the section shell, in the same window.
class RootView final : public QStackedWidget {
    Q_OBJECT
public:
    RootView(const WindowContext &context, QWidget *parent = nullptr);

    OnboardingView *onboarding() const { return m_onboarding; }
    MainShellView *shell() const { return m_shell; }

private:
    void refresh();

    WindowContext m_context;
    OnboardingView *m_onboarding = nullptr;
    MainShellView *m_shell = nullptr;
};
