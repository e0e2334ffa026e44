#include "app/ShortcutRecorder.h"

#include "platform/KeyCodes.h"

ShortcutRecorder::ShortcutRecorder(std::function<void(const KeyboardShortcutSetting &)> assign,
                                   bool requiresModifier, std::function<void(bool)> captureDidChange,
                                   std::function<void()> beep)
    : m_assign(std::move(assign)), m_requiresModifier(requiresModifier),
      m_captureDidChange(std::move(captureDidChange)), m_beep(std::move(beep))
{
}

// A recorder that goes away mid-capture must give the global shortcuts back.
ShortcutRecorder::~ShortcutRecorder() { stopCapturing(); }

void ShortcutRecorder::startCapturing()
{
    stopCapturing();
    m_validationMessage.reset();
    m_isCapturing = true;
    if (m_captureDidChange)
        m_captureDidChange(true);
}

void ShortcutRecorder::stopCapturing()
{
    const bool wasCapturing = m_isCapturing;
    m_isCapturing = false;
    if (wasCapturing && m_captureDidChange)
        m_captureDidChange(false);
}

bool ShortcutRecorder::handleKeyDown(const KeyDown &event)
{
    if (!m_isCapturing)
        return false;
    if (event.isRepeat)
        return true;
    if (m_requiresModifier && !(event.command || event.option || event.control || event.shift)) {
        m_validationMessage = QStringLiteral("Add ⌘, ⌥, ⌃, or ⇧");
        if (m_beep)
            m_beep();
        return true;
    }
    KeyboardShortcutSetting shortcut;
    shortcut.keyCode = event.keyCode;
    shortcut.keyLabel = shortcutKeyLabel(event.keyCode, event.charactersIgnoringModifiers);
    shortcut.command = event.command;
    shortcut.option = event.option;
    shortcut.control = event.control;
    shortcut.shift = event.shift;
    if (m_assign)
        m_assign(shortcut);
    stopCapturing();
    return true;
}

std::optional<ShortcutRecorder::KeyDown> ShortcutRecorder::fromQtKey(int qtKey, bool command, bool option,
                                                                     bool control, bool shift, bool isRepeat)
{
    const auto key = KeyCodes::byQtKey(qtKey);
    if (!key)
        return std::nullopt;
    KeyDown e;
    e.keyCode = key->code;
    e.charactersIgnoringModifiers = QString::fromUtf8(key->text);
    e.command = command;
    e.option = option;
    e.control = control;
    e.shift = shift;
    e.isRepeat = isRepeat;
    return e;
}
