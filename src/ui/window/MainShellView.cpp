#include "window/MainShellView.h"

#include "app/AppState.h"
#include "window/ScreenFactory.h"
#include "window/Sidebar.h"

#include <QHBoxLayout>
#include <QStackedWidget>

MainShellView::MainShellView(const WindowContext &context, QWidget *parent) : QWidget(parent), m_context(context)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_sidebar = new Sidebar(context, this);
    m_content = new QStackedWidget(this);
    m_content->setObjectName(QStringLiteral("content"));
    layout->addWidget(m_sidebar);
    layout->addWidget(m_content, 1);
    connect(context.state, &AppState::selectedSectionChanged, this, &MainShellView::showSelectedSection);
    showSelectedSection();
}

QWidget *MainShellView::currentScreen() const { return m_content->currentWidget(); }

void MainShellView::showSelectedSection()
{
    const AppSection section = m_context.state->selectedSection();
    QWidget *screen = m_screens.value(section);
    if (!screen) {
        screen = makeSectionScreen(section, m_context, m_content);
        m_screens.insert(section, screen);
        m_content->addWidget(screen);
    }
    m_content->setCurrentWidget(screen);
}
