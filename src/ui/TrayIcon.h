#pragma once

#include <QIcon>
#include <QObject>

#include <functional>
#include <optional>

class AppState;
class QMenu;
class QSystemTrayIcon;

// The icon in the system tray with its small menu.
class TrayIcon final : public QObject {
    Q_OBJECT

public:
    explicit TrayIcon(AppState &state, QObject *parent = nullptr);
    ~TrayIcon() override;

    QMenu *menu() const { return m_menu.get(); }
    QSystemTrayIcon *trayIcon() const { return m_tray; }

    // "OrvelPlusMenuBarTemplate.png" at 18 × 18; else the desktop's microphone symbol; else an
    // empty 18 × 18 image.
    static QIcon makeStatusIcon(const std::optional<QString> &imagePath);

    // What a Dictation or Command run is doing, as the tray shows it.
    enum class Activity { idle, recording, working, error };
    static Activity activity(const AppState &state);
    // The plain icon with the activity's symbol as a badge in its lower right corner.
    static QIcon badgedIcon(const QIcon &plain, Activity activity);
    Activity shownActivity() const { return m_shown; }

private:
    void showActivity();

    AppState &m_state;
    QIcon m_plain;
    Activity m_shown = Activity::idle;
    std::unique_ptr<QMenu> m_menu;
    QSystemTrayIcon *m_tray;
};
