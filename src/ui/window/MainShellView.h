#pragma once

#include "app/CaptureStatus.h"
#include "window/WindowContext.h"

#include <QMap>
#include <QWidget>

class QLabel;
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
    // What is wrong with the user's files, above the screens until dismissed or mended.
    QWidget *storageBanner() const { return m_banner; }

private:
    void showSelectedSection();
    void showStorageNotices();

    WindowContext m_context;
    Sidebar *m_sidebar;
    QStackedWidget *m_content;
    QWidget *m_banner;
    QLabel *m_bannerText;
    QMap<AppSection, QWidget *> m_screens;
};
