#include "app/HotKeyManager.h"

#include <QMetaObject>
#include <QPointer>

HotKeyManager::HotKeyManager(HotKeyBackend *backend, QObject *parent) : QObject(parent), m_backend(backend)
{
    if (m_backend)
        m_backend->onDesktopBindingChanged = [this] { emit desktopBindingChanged(); };
}

HotKeyManager::~HotKeyManager()
{
    unregister();
    if (m_backend)
        m_backend->onDesktopBindingChanged = nullptr;
}

bool HotKeyManager::isRegistered(uint32_t identifier) const
{
    if (!m_registered.contains(identifier))
        return false;
    const auto trigger = desktopTrigger(identifier);
    return !trigger || !trigger->isEmpty();
}

std::optional<QString> HotKeyManager::desktopTrigger(uint32_t identifier) const
{
    return m_backend && m_registered.contains(identifier) ? m_backend->desktopTrigger(identifier) : std::nullopt;
}

void HotKeyManager::installHandler()
{
    if (!m_backend)
        return;
    m_backend->setHandler([this](uint32_t identifier, bool pressed) { handle(identifier, pressed); });
    m_handlerInstalled = true;
}

bool HotKeyManager::registerHotKey(const KeyboardShortcutSetting &shortcut, uint32_t identifier)
{
    if (!m_backend || m_suspended)
        return false;
    release(identifier);
    HotKeyBackend::Modifiers modifiers;
    modifiers.command = shortcut.command;
    modifiers.option = shortcut.option;
    modifiers.control = shortcut.control;
    modifiers.shift = shortcut.shift;
    if (shortcut.keyCode > 0xFFFF || !m_backend->registerHotKey(identifier, uint16_t(shortcut.keyCode), modifiers))
        return false;
    m_registered.insert(identifier);
    return true;
}

void HotKeyManager::release(uint32_t identifier)
{
    if (m_registered.erase(identifier) && m_backend)
        m_backend->unregisterHotKey(identifier);
}

void HotKeyManager::unregister()
{
    for (uint32_t id : {toggle, pushToTalk, agent, agentScreenshot, cancel})
        release(id);
    if (m_handlerInstalled && m_backend)
        m_backend->setHandler(nullptr);
    m_handlerInstalled = false;
}

void HotKeyManager::handle(uint32_t identifier, bool pressed)
{
    // Queued on the manager, so an event outliving it is dropped.
    QPointer<HotKeyManager> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, identifier, pressed] {
            if (self)
                self->dispatch(identifier, pressed);
        },
        Qt::QueuedConnection);
}

void HotKeyManager::dispatch(uint32_t identifier, bool pressed)
{
    const std::function<void()> *callback = nullptr;
    switch (identifier) {
    case toggle:
        callback = pressed ? &onToggle : nullptr;
        break;
    case pushToTalk:
        callback = pressed ? &onPushToTalkBegan : &onPushToTalkEnded;
        break;
    case cancel:
        callback = pressed ? &onCancel : nullptr;
        break;
    case agent:
        callback = pressed ? &onAgentToggle : nullptr;
        break;
    case agentScreenshot:
        callback = pressed ? &onAgentScreenshotToggle : nullptr;
        break;
    default:
        break;
    }
    if (callback && *callback)
        (*callback)();
}

void HotKeyManager::registerCancelHotKey() { registerHotKey(cancelShortcut, cancel); }

void HotKeyManager::unregisterCancelHotKey() { release(cancel); }
