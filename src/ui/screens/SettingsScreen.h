#pragma once

#include "app/HotKeyManager.h"
#include "ui/components/Components.h"

#include <QFrame>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <optional>

class AppState;
class OverlaySizeChoice;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
class QScrollArea;
class ShortcutRecorderWidget;

// Global shortcuts, automatic paste, completion sound, the floating overlay and the permissions.
// Every control writes straight into the state.
class SettingsScreen final : public QWidget {
    Q_OBJECT

public:
    explicit SettingsScreen(AppState &state, QWidget *parent = nullptr);
    ~SettingsScreen() override;

    static constexpr int permissionHighlightMilliseconds = 1800;
    static inline const QString permissionsAnchor = QStringLiteral("settings-permissions");

    bool highlightedPermissions() const { return m_highlightedPermissions; }
    int handledPermissionAttentionRequest() const { return m_handledPermissionAttentionRequest; }
    QTimer &permissionHighlightTask() { return m_permissionHighlightTask; }
    QWidget *permissionsSection() const { return m_permissionsSection; }

    // Scrolls to the permissions and highlights them once per new request of the state.
    void handlePermissionAttention();

protected:
    void showEvent(QShowEvent *event) override;

private:
    struct Recorder {
        ShortcutRecorderWidget *widget;
        std::function<const KeyboardShortcutSetting &()> read;
        // The registration that shows whether the desktop granted it; none for the cancel key,
        // which is held only while something can be cancelled.
        std::optional<HotKeyManager::Identifier> identifier;
    };
    ShortcutRecorderWidget *addRecorder(bool requiresModifier, std::function<const KeyboardShortcutSetting &()> read,
                                        std::function<void(const KeyboardShortcutSetting &)> write,
                                        std::optional<HotKeyManager::Identifier> identifier);
    QWidget *makeDictationSection();
    QWidget *makeCommandSection();
    QWidget *makeOverlaySection();
    QWidget *makePermissionsSection();
    void refreshShortcuts();
    void refreshTaken();
    void refreshPreferences();
    void refreshPermissions();
    void refreshSpeechDevice();
    void setHighlightedPermissions(bool on);
    void scrollToPermissions();

    AppState &m_state;
    QScrollArea *m_scroll = nullptr;
    QList<Recorder> m_recorders;
    QWidget *m_conflict = nullptr;
    QCheckBox *m_automaticPaste = nullptr;
    QCheckBox *m_startAtLogin = nullptr;
    QComboBox *m_sound = nullptr;
    QComboBox *m_keepLoaded = nullptr;
    QLabel *m_speechDevice = nullptr;
    QComboBox *m_appearance = nullptr;
    QList<OverlaySizeChoice *> m_sizes;
    CardBackground *m_permissionsSection = nullptr;
    struct PermissionRow {
        QLabel *explanation;
        QPushButton *allow;
        QWidget *ready;
        std::function<bool()> granted;
    };
    QList<PermissionRow> m_permissionRows;

    bool m_highlightedPermissions = false;
    int m_handledPermissionAttentionRequest = 0;
    QTimer m_permissionHighlightTask;
};
