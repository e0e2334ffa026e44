#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <optional>

// A global shortcut: a key in the portable key space, its label and four modifiers.
struct KeyboardShortcutSetting {
    uint32_t keyCode = 0;
    QString keyLabel;
    bool command = false;
    bool option = false;
    bool control = false;
    bool shift = false;

    static constexpr uint32_t spaceKeyCode = 49;
    static constexpr uint32_t escapeKeyCode = 53;

    static KeyboardShortcutSetting defaultToggle();
    static KeyboardShortcutSetting defaultPushToTalk();
    static KeyboardShortcutSetting defaultCancel();
    static KeyboardShortcutSetting defaultAgent();
    static KeyboardShortcutSetting defaultAgentScreenshot();

    // The name every screen, menu and the tray show: "Ctrl+Alt+Shift+Super+" and the key, the
    // modifiers in that order (Control, Option as Alt, Shift, Command as Super).
    QString displayName() const;
    bool hasModifier() const { return command || option || control || shift; }

    QByteArray toJson() const;
    // Nothing when the data is not a complete shortcut object.
    static std::optional<KeyboardShortcutSetting> fromJson(const QByteArray &data);

    // Every value that occurs more than once in the list, each once, in first-seen order.
    static QList<KeyboardShortcutSetting> conflicts(const QList<KeyboardShortcutSetting> &shortcuts);

    bool operator==(const KeyboardShortcutSetting &) const = default;
};

size_t qHash(const KeyboardShortcutSetting &shortcut, size_t seed = 0);

// The label of a key: the fixed names of the special keys, else the key's characters without
// modifiers, trimmed and upper-cased, else "Key " and the code.
QString shortcutKeyLabel(uint32_t keyCode, const QString &charactersIgnoringModifiers);

// A key as Linux desktops name it: "Backspace", "Delete", "Left" … where the stored label is a
// Mac name or an arrow glyph; otherwise the label itself.
QString linuxKeyName(uint32_t keyCode, const QString &keyLabel);
