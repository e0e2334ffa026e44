#pragma once

#include "app/AppServices.h"
#include "window/WindowContext.h"

#include <QMainWindow>

#include <functional>

class AppState;
class ApplicationMenus;
class RootView;

// The one main window: onboarding until it is complete, then the sections. Closing it only
// hides it; the program keeps running in the tray.
class MainWindow final : public QMainWindow, public MainWindowPresenter {
    Q_OBJECT

public:
    // Raises a window even when another program is in front (the window manager may refuse a
    // plain request); optional.
    using Activate = std::function<void(QWidget *window)>;

    MainWindow(const WindowContext &context, Activate activate = {}, QWidget *parent = nullptr);
    ~MainWindow() override;

    ApplicationMenus *menus() const { return m_menus; }
    RootView *root() const { return m_root; }

    // Shows, raises and activates this window (never a panel).
    void bringForward() override;

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // Light or dark after the desktop's palette, with the sizes of its font.
    void applyAppearance();

    WindowContext m_context;
    Activate m_activate;
    ApplicationMenus *m_menus;
    RootView *m_root;
    bool m_shownOnce = false;
    bool m_applyingAppearance = false;
};
