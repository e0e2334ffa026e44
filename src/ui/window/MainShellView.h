#pragma once

#include "app/CaptureStatus.h"
#include "window/WindowContext.h"

#include <QMap>
#include <QWidget>

class QStackedWidget;
class Sidebar;

// The sidebar and the selected section's screen. Screens are made the first time their
// section is shown and kept afterwards.
class MainShellView final : public QWidget {
    Q_OBJECT
public:
    MainShellView(const WindowContext &context, QWidget *parent = nullptr);

    Sidebar *sidebar() const { return m_sidebar; }
    // The screen of a section, or nullptr when it has not been shown yet.
    QWidget *screen(AppSection section) const { return m_screens.value(section); }
    QWidget *currentScreen() const;

private:
    void showSelectedSection();

    WindowContext m_context;
    Sidebar *m_sidebar;
    QStackedWidget *m_content;
    QMap<AppSection, QWidget *> m_screens;
};
