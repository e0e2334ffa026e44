// Global shortcuts: the callbacks, registration in step with preferences and capture state,
// and suspension while a shortcut is being recorded.
#include "app/AppState.h"
#include "app/HotKeyManager.h"
#include "app/Preferences.h"

#include <QMetaObject>
#include <QPointer>

void AppState::installHotKeyCallbacks()
{
    // Each callback becomes a main-thread task that is dropped if the state is gone.
    auto later = [this](void (AppState::*work)()) {
        QPointer<AppState> self(this);
        return [self, work] {
            QMetaObject::invokeMethod(
                self.data(),
                [self, work] {
                    if (self)
                        (self.data()->*work)();
                },
                Qt::QueuedConnection);
        };
    };
    m_hotKey->onToggle = later(&AppState::toggleRecording);
    m_hotKey->onPushToTalkBegan = later(&AppState::handlePushToTalkBegan);
    m_hotKey->onPushToTalkEnded = later(&AppState::handlePushToTalkEnded);
    m_hotKey->onCancel = later(&AppState::cancelRecording);
    QPointer<AppState> self(this);
    m_hotKey->onAgentToggle = [self] {
        QMetaObject::invokeMethod(
            self.data(), [self] { if (self) self->toggleAgentRecording(false); }, Qt::QueuedConnection);
    };
    m_hotKey->onAgentScreenshotToggle = [self] {
        QMetaObject::invokeMethod(
            self.data(), [self] { if (self) self->toggleAgentRecording(true); }, Qt::QueuedConnection);
    };
}

void AppState::refreshHotKeys()
{
    if (m_hotKeysSuspended)
        return;
    m_hotKey->unregister();
    m_hotKey->cancelShortcut = m_cancelShortcut;
    m_hotKey->installHandler();
    // A refused combination stays inactive; the others are unaffected.
    m_hotKey->registerHotKey(m_toggleShortcut, HotKeyManager::toggle);
    m_hotKey->registerHotKey(m_pushToTalkShortcut, HotKeyManager::pushToTalk);
    m_hotKey->registerHotKey(m_agentShortcut, HotKeyManager::agent);
    m_hotKey->registerHotKey(m_agentScreenshotShortcut, HotKeyManager::agentScreenshot);
    // Esc belongs to the other programs unless something can be cancelled.
    if (m_status.kind == CaptureStatus::Kind::recording || agentPhaseIsBusy(m_agentPhase)) {
        m_s.cancelShortcut->unregisterCancelHotKey();
        m_s.cancelShortcut->registerCancelHotKey();
    }
}

bool AppState::cancelKeyRefused() const
{
    const bool cancellable = m_status.kind == CaptureStatus::Kind::recording || agentPhaseIsBusy(m_agentPhase);
    return cancellable && !m_hotKeysSuspended && m_hotKey->handlerInstalled() &&
           !m_hotKey->isRegistered(HotKeyManager::cancel);
}

void AppState::shortcutCaptureDidChange(bool capturing)
{
    if (capturing) {
        m_hotKeysSuspended = true;
        m_hotKey->unregister();
        m_hotKey->setSuspended(true);
    } else {
        m_hotKeysSuspended = false;
        m_hotKey->setSuspended(false);
        refreshHotKeys();
        // A shortcut set during the capture was registered only now.
        emit shortcutsChanged();
    }
}

void AppState::storeShortcut(const QString &key, KeyboardShortcutSetting &field, const KeyboardShortcutSetting &value)
{
    const bool changed = field != value;
    field = value;
    m_defaults->setData(key, value.toJson());
    // Registered first: whoever hears of the change asks what the desktop granted.
    refreshHotKeys();
    if (changed)
        emit shortcutsChanged();
}

void AppState::setToggleShortcut(const KeyboardShortcutSetting &s)
{
    storeShortcut(PreferenceKeys::toggleShortcut, m_toggleShortcut, s);
}

void AppState::setPushToTalkShortcut(const KeyboardShortcutSetting &s)
{
    storeShortcut(PreferenceKeys::pushToTalkShortcut, m_pushToTalkShortcut, s);
}

void AppState::setCancelShortcut(const KeyboardShortcutSetting &s)
{
    storeShortcut(PreferenceKeys::cancelShortcut, m_cancelShortcut, s);
}

void AppState::setAgentShortcut(const KeyboardShortcutSetting &s)
{
    storeShortcut(PreferenceKeys::agentShortcut, m_agentShortcut, s);
}

void AppState::setAgentScreenshotShortcut(const KeyboardShortcutSetting &s)
{
    storeShortcut(PreferenceKeys::agentScreenshotShortcut, m_agentScreenshotShortcut, s);
}

QList<KeyboardShortcutSetting> AppState::agentShortcutConflicts() const
{
    return KeyboardShortcutSetting::conflicts(
        {m_toggleShortcut, m_pushToTalkShortcut, m_agentShortcut, m_agentScreenshotShortcut});
}
