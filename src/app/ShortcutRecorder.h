#pragma once

#include "app/KeyboardShortcutSetting.h"

#include <QString>

#include <functional>
#include <optional>

// The capture logic of the control that records one shortcut. The widget feeds it the key-down
// events it sees while capturing; every such event is consumed.
class ShortcutRecorder {
public:
    struct KeyDown {
        uint32_t keyCode = 0;
        QString charactersIgnoringModifiers;
        bool command = false;
        bool option = false;
        bool control = false;
        bool shift = false;
        bool isRepeat = false;
    };

    ShortcutRecorder(std::function<void(const KeyboardShortcutSetting &)> assign, bool requiresModifier,
                     std::function<void(bool)> captureDidChange, std::function<void()> beep);
    ~ShortcutRecorder();

    void startCapturing();
    void stopCapturing();
    bool isCapturing() const { return m_isCapturing; }
    const std::optional<QString> &validationMessage() const { return m_validationMessage; }

    // True when the event was consumed (always, while capturing).
    bool handleKeyDown(const KeyDown &event);

    // A Qt key event in the portable key space; nothing for keys without a portable code.
    static std::optional<KeyDown> fromQtKey(int qtKey, bool command, bool option, bool control, bool shift,
                                            bool isRepeat);

private:
    std::function<void(const KeyboardShortcutSetting &)> m_assign;
    bool m_requiresModifier;
    std::function<void(bool)> m_captureDidChange;
    std::function<void()> m_beep;
    bool m_isCapturing = false;
    std::optional<QString> m_validationMessage;
};
