#pragma once

#include "app/AppServices.h"

#include <QMainWindow>

#include <functional>

class AppState;
class ApplicationMenus;
class QLabel;

// The one main window. Closing it only hides it; the program keeps running in the tray.
class MainWindow final : public QMainWindow, public MainWindowPresenter {
    Q_OBJECT

public:
    // Raises a window even when another program is in front (the window manager may refuse a
    // plain request); optional.
    using Activate = std::function<void(QWidget *window)>;

    MainWindow(AppState &state, Activate activate = {}, QWidget *parent = nullptr);
    ~MainWindow() override;

    ApplicationMenus *menus() const { return m_menus; }

    // Shows, raises and activates this window (never a panel).
    void bringForward() override;

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void updateStatus();

    AppState &m_state;
    Activate m_activate;
    ApplicationMenus *m_menus;
    QLabel *m_status;
    bool m_shownOnce = false;
};
