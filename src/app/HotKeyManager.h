#pragma once

#include "app/AppServices.h"
#include "app/KeyboardShortcutSetting.h"
#include "platform/HotKeyBackend.h"

#include <QObject>

#include <functional>
#include <optional>
#include <set>

// The program's global shortcuts on a HotKeyBackend: five identifiers, press and release routed
// to the main thread, and the cancel shortcut registered on demand.
class HotKeyManager final : public QObject, public CancelShortcutControl {
    Q_OBJECT

public:
    enum Identifier : uint32_t { toggle = 1, pushToTalk = 2, cancel = 3, agent = 4, agentScreenshot = 5 };
    // "ORVL", first character in the top byte: tags this program's registrations.
    static constexpr uint32_t signature = (uint32_t('O') << 24) | (uint32_t('R') << 16) | (uint32_t('V') << 8) | 'L';

    // The backend is not owned; without one nothing is ever registered.
    explicit HotKeyManager(HotKeyBackend *backend, QObject *parent = nullptr);
    ~HotKeyManager() override;

    std::function<void()> onToggle;
    std::function<void()> onPushToTalkBegan;
    std::function<void()> onPushToTalkEnded;
    std::function<void()> onAgentToggle;
    std::function<void()> onAgentScreenshotToggle;
    std::function<void()> onCancel;

    // Kept so the cancel key can be registered whenever a recording starts.
    KeyboardShortcutSetting cancelShortcut = KeyboardShortcutSetting::defaultCancel();

    void installHandler();
    // False when the desktop refuses the combination (another program holds it).
    bool registerHotKey(const KeyboardShortcutSetting &shortcut, uint32_t identifier);
    // Every registration and the handler.
    void unregister();
    // Registered and, where the desktop binds the keys itself, given a key by it.
    bool isRegistered(uint32_t identifier) const;
    // What the desktop bound for the shortcut ("Ctrl+Alt+Space", empty for no key); nothing where
    // registering decides, or while the desktop has not answered.
    std::optional<QString> desktopTrigger(uint32_t identifier) const;
    bool handlerInstalled() const { return m_handlerInstalled; }
    // While a shortcut is being recorded nothing may be registered, the cancel key included.
    void setSuspended(bool suspended) { m_suspended = suspended; }

    // An event from the backend; the callback runs later on the main thread.
    void handle(uint32_t identifier, bool pressed);

    void registerCancelHotKey() override;
    void unregisterCancelHotKey() override;

signals:
    void desktopBindingChanged();

private:
    void dispatch(uint32_t identifier, bool pressed);
    void release(uint32_t identifier);

    HotKeyBackend *m_backend;
    std::set<uint32_t> m_registered;
    bool m_handlerInstalled = false;
    bool m_suspended = false;
};
