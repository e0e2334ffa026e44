#include "app/AppState.h"

#include "app/AgentFlow.h"

#include "app/HotKeyManager.h"
#include "app/Preferences.h"
#include "models/AgentModelStore.h"
#include "platform/Accessibility.h"
#include "platform/Permissions.h"
#include "platform/SoundPlayer.h"
#include "platform/Workspace.h"
#include "speech/AppPaths.h"
#include "speech/ModelStore.h"
#include "speech/WarmRunner.h"
#include "speech/SpeechEngineInstaller.h"

#include <QFileInfo>
#include <QSettings>

QString appSectionTitle(AppSection section)
{
    switch (section) {
    case AppSection::home:
        return QStringLiteral("Home");
    case AppSection::agent:
        return QStringLiteral("Command");
    case AppSection::history:
        return QStringLiteral("History");
    case AppSection::models:
        return QStringLiteral("Models");
    case AppSection::vocabulary:
        return QStringLiteral("Vocabulary");
    case AppSection::settings:
        return QStringLiteral("Settings");
    }
    return {};
}

namespace {
const QString kMicrophoneSettings =
    QStringLiteral("x-apple.systempreferences:com.apple.preference.security?Privacy_Microphone");
const QString kAccessibilitySettings =
    QStringLiteral("x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility");
const QString kScreenCaptureSettings =
    QStringLiteral("x-apple.systempreferences:com.apple.preference.security?Privacy_ScreenCapture");
} // namespace

AppState::AppState(const Services &services, QObject *parent) : QObject(parent), m_s(services)
{
    Q_ASSERT(m_s.scheduler && m_s.pasteboard && m_s.keys && m_s.workspace && m_s.accessibility &&
             m_s.permissions && m_s.sounds && m_s.recorder && m_s.runner && m_s.history && m_s.overlay &&
             m_s.mainWindow);
    m_microphoneGranted = m_s.permissions->microphoneGranted();
    m_accessibilityGranted = m_s.accessibility->isProcessTrusted(false);
    m_screenRecordingGranted = m_s.permissions->screenCaptureGranted();
    if (!m_s.modelStore) {
        m_ownModelStore = std::make_unique<ModelStore>();
        m_s.modelStore = m_ownModelStore.get();
    }
    // Start-up goes on when a folder cannot be made; the stores report their own failures later.
    (void)AppPaths::prepare();
    if (!m_s.defaults) {
        m_ownDefaults = Preferences::openDefaultStore();
        m_s.defaults = m_ownDefaults.get();
    }
    m_defaults = std::make_unique<Preferences>(m_s.defaults);
    m_agentModels = std::make_unique<AgentModelStore>();
    m_speechEngines = std::make_unique<SpeechEngineInstaller>();
    m_hotKey = std::make_unique<HotKeyManager>(m_s.hotKeys);
    // The desktop's answer decides which shortcuts the screens show as working.
    connect(m_hotKey.get(), &HotKeyManager::desktopBindingChanged, this, &AppState::shortcutsChanged);
    if (!m_s.cancelShortcut)
        m_s.cancelShortcut = m_hotKey.get();
    loadPreferences();
    if (m_s.speechHost)
        connect(m_s.speechHost, &WarmRunner::deviceChanged, this, &AppState::speechDeviceChanged);
    m_agentFlow = std::make_unique<AgentFlow>(*this, m_s);
    installHotKeyCallbacks();
    refreshHotKeys();
    (void)AppPaths::prepare();
    m_s.recorder->cleanupTemporaryRecordings();
    m_s.recorder->onFailure = [this](const QString &message) { handleRecorderFailure(message); };
    m_agentFlow->warmUp();
}

AppState::~AppState()
{
    // No shortcut or recorder may call into a state that is going away.
    m_hotKey->unregister();
    m_s.recorder->onFailure = {};
    m_agentFlow.reset();
}

void AppState::setSelectedSection(AppSection section)
{
    if (m_selectedSection == section)
        return;
    m_selectedSection = section;
    emit selectedSectionChanged();
}

std::optional<SpeechModel> AppState::selectedModel() const { return SpeechModel::withID(m_selectedModelID); }

bool AppState::canDictate() const
{
    const auto model = selectedModel();
    return model && ModelStore::isInstalled(*model);
}

bool AppState::overlayShowsAgent() const
{
    return m_agentPhase != AgentPhase::idle && m_status.kind == CaptureStatus::Kind::idle;
}

void AppState::refreshPermissions()
{
    m_microphoneGranted = m_s.permissions->microphoneGranted();
    m_accessibilityGranted = m_s.accessibility->isProcessTrusted(false);
    m_screenRecordingGranted = m_s.permissions->screenCaptureGranted();
    emit permissionsChanged();
}

void AppState::requestMicrophone()
{
    m_microphoneGranted = m_s.permissions->requestMicrophone();
    emit permissionsChanged();
    if (!m_microphoneGranted)
        m_s.permissions->openSettings(kMicrophoneSettings);
}

void AppState::requestAccessibility()
{
    m_accessibilityGranted = m_s.accessibility->isProcessTrusted(true);
    emit permissionsChanged();
    if (!m_accessibilityGranted)
        openSettingsLater(kAccessibilitySettings);
}

void AppState::requestScreenRecording()
{
    m_screenRecordingGranted = m_s.permissions->requestScreenCapture();
    emit permissionsChanged();
    if (!m_screenRecordingGranted)
        openSettingsLater(kScreenCaptureSettings);
}

void AppState::openSettingsLater(const QString &location)
{
    Permissions *permissions = m_s.permissions;
    keep(m_s.scheduler->after(0.4, [permissions, location] { permissions->openSettings(location); }));
}

void AppState::keep(std::unique_ptr<ScheduledTask> task)
{
    std::erase_if(m_pending, [](const auto &t) { return !t->isActive(); });
    m_pending.push_back(std::move(task));
}

void AppState::bringMainWindowForward() { m_s.mainWindow->bringForward(); }

void AppState::handleOverlayTap()
{
    if (!m_permissionAttention)
        return;
    m_overlayHideTask.reset();
    ++m_permissionAttentionRequest;
    emit permissionAttentionRequestChanged();
    setSelectedSection(AppSection::settings);
    bringMainWindowForward();
    m_s.overlay->hide();
    setStatus(CaptureStatus::idle());
    m_permissionAttention.reset();
}

void AppState::playCompletionSound()
{
    const QString name = systemSoundName(m_completionSound);
    m_s.sounds->stop();
    if (!m_s.sounds->play(name, 0.55))
        m_s.sounds->beep();
}

void AppState::setAgentPhase(AgentPhase phase, const QString &detail)
{
    if (m_agentPhase == phase && m_agentPhaseDetail == detail)
        return;
    m_agentPhase = phase;
    m_agentPhaseDetail = detail;
    emit agentPhaseChanged();
}

void AppState::finishAgentProgress(double value)
{
    m_agentProgressTask.reset();
    m_agentProgress = value;
    emit agentProgressChanged();
}

void AppState::scheduleAgentOverlayHide(double seconds)
{
    // Shares the pending-hide slot with Dictation.
    m_overlayHideTask = m_s.scheduler->after(seconds, [this] {
        if (!agentPhaseIsBusy(m_agentPhase))
            m_s.overlay->hide();
    });
}
