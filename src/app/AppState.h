#pragma once

#include "app/AppServices.h"
#include "app/CaptureStatus.h"
#include "app/KeyboardShortcutSetting.h"
#include "app/PreferenceTypes.h"
#include "command/AgentConversation.h"
#include "command/AgentPhase.h"
#include "command/AgentRuntimeError.h"
#include "command/AgentSettings.h"
#include "command/ModelServerKeyStore.h"
#include "command/OpenAIKeychainStore.h"
#include "models/AgentModelDescriptor.h"
#include "platform/Scheduler.h"
#include "speech/DictationServices.h"
#include "speech/SpeechModel.h"

#include <QObject>
#include <QStringList>
#include <QUuid>

#include <memory>
#include <optional>
#include <vector>

class AccessibleElement;
class Accessibility;
class AgentConversationStore;
class AgentFlow;
class AgentModelStore;
class AgentResultPresenter;
class AgentRuntimeClient;
class ScreenCapture;
class HotKeyBackend;
class HotKeyManager;
class Preferences;
class QSettings;
class KeySynthesizer;
class ModelStore;
class Pasteboard;
class Permissions;
class SoundPlayer;
class SpeechEngineInstaller;
class Workspace;
class WarmRunner;
struct RunningApplication;

// The one application state. Every published value changes on the main thread only and
// announces itself with a signal.
class AppState : public QObject {
    Q_OBJECT

public:
    // Everything the state talks to. The pointers are not owned and must outlive the state.
    struct Services {
        Scheduler *scheduler = nullptr;
        Pasteboard *pasteboard = nullptr;
        KeySynthesizer *keys = nullptr;
        Workspace *workspace = nullptr;
        Accessibility *accessibility = nullptr;
        // Wayland: text goes into the focused element over accessibility first, and synthetic
        // keys reach native applications only through the desktop portal.
        bool insertTextDirectly = false;
        bool keysReachApplications = true;
        Permissions *permissions = nullptr;
        SoundPlayer *sounds = nullptr;
        DictationRecorder *recorder = nullptr;
        TranscriptionRunner *runner = nullptr;
        TranscriptHistory *history = nullptr;
        OverlayPresenter *overlay = nullptr;
        MainWindowPresenter *mainWindow = nullptr;
        // Optional: without it the state's own hot key manager registers the cancel key.
        CancelShortcutControl *cancelShortcut = nullptr;
        // Optional: without it no global shortcut is registered.
        HotKeyBackend *hotKeys = nullptr;
        // Optional: without it the program's own preferences file is opened.
        QSettings *defaults = nullptr;
        // Optional: without it the state makes its own speech-model store.
        ModelStore *modelStore = nullptr;

        // Command. Optional: without a runtime a run fails as "runtime missing", without a
        // window capture the screenshot shortcut fails, without a key store no cloud key is read.
        AgentRuntimeClient *agentRuntime = nullptr;
        ScreenCapture *screenCapture = nullptr;
        // False on Wayland: the capture sees XWayland's windows only.
        bool screenCaptureSeesEveryWindow = true;
        OpenAIKeychainStore *openAIKeychain = nullptr;
        // Optional: without it a server that has an API key cannot be used or added with one.
        ModelServerKeyStore *serverKeys = nullptr;
        // Optional: without it the state keeps its own store in the program's data folder.
        AgentConversationStore *agentConversations = nullptr;
        // Optional: the result card and conversation window.
        AgentResultPresenter *agentResults = nullptr;
        // Optional: the warm speech engine behind `runner`, for its settings and device.
        WarmRunner *speechHost = nullptr;
    };

    explicit AppState(const Services &services, QObject *parent = nullptr);
    ~AppState() override;

    // Published values.
    const CaptureStatus &status() const { return m_status; }
    const QString &lastTranscript() const { return m_lastTranscript; }
    const QString &targetApplicationName() const { return m_targetApplicationName; }
    double transcriptionProgress() const { return m_transcriptionProgress; }
    bool microphoneGranted() const { return m_microphoneGranted; }
    bool accessibilityGranted() const { return m_accessibilityGranted; }
    bool screenRecordingGranted() const { return m_screenRecordingGranted; }
    std::optional<PermissionAttention> permissionAttention() const { return m_permissionAttention; }
    int permissionAttentionRequest() const { return m_permissionAttentionRequest; }
    AppSection selectedSection() const { return m_selectedSection; }
    void setSelectedSection(AppSection section);
    double recordingDuration() const { return m_recordingDuration; }
    bool pushToTalkActive() const { return m_pushToTalkActive; }
    AgentPhase agentPhase() const { return m_agentPhase; }
    const QString &agentPhaseDetail() const { return m_agentPhaseDetail; }
    double agentProgress() const { return m_agentProgress; }
    // The text streamed so far by the run, and the final text of the last finished run.
    const QString &agentStreamedText() const { return m_agentStreamedText; }
    const QString &agentResultText() const { return m_agentResultText; }
    // The conversation shown in the conversation window and continued by follow-ups.
    std::optional<QUuid> activeAgentConversationID() const { return m_activeAgentConversationID; }
    // The result was not inserted automatically and waits for the user's Paste.
    bool agentResultNeedsPaste() const { return m_agentResultNeedsPaste; }
    // Whether the conversation window is open; the window clears it when it closes.
    bool agentPanelVisible() const { return m_agentPanelVisible; }
    void setAgentPanelVisible(bool visible);
    // Whether the key store holds a cloud API key (only that fact, never the key).
    bool openAIAPIKeyConfigured() const { return m_openAIAPIKeyConfigured; }
    void setOpenAIAPIKeyConfigured(bool configured)
    {
        if (m_openAIAPIKeyConfigured == configured)
            return;
        m_openAIAPIKeyConfigured = configured;
        emit openAIAPIKeyConfiguredChanged();
    }

    // Preferences: loaded at construction, written on every change.
    bool onboardingComplete() const { return m_onboardingComplete; }
    void setOnboardingComplete(bool complete);
    QString selectedModelID() const { return m_selectedModelID; }
    void setSelectedModelID(const QString &id);
    bool automaticPaste() const { return m_automaticPaste; }
    void setAutomaticPaste(bool on);
    OverlayAppearance overlayAppearance() const { return m_overlayAppearance; }
    void setOverlayAppearance(OverlayAppearance appearance);
    OverlaySize overlaySize() const { return m_overlaySize; }
    void setOverlaySize(OverlaySize size);
    CompletionSound completionSound() const { return m_completionSound; }
    void setCompletionSound(CompletionSound sound);
    // Seconds the speech model stays loaded after use; 0 never keeps it, a negative value always.
    double speechKeepSeconds() const { return m_speechKeepSeconds; }
    void setSpeechKeepSeconds(double seconds);
    // Where the loaded speech model runs, or empty when none is loaded or no warm engine exists.
    QString speechDevice() const;
    bool hasWarmSpeechEngine() const;
    const AgentSettings &agentSettings() const { return m_agentSettings; }
    void setAgentSettings(const AgentSettings &settings);
    QStringList vocabulary() const { return m_vocabulary; }
    void setVocabulary(const QStringList &terms);
    // Trimmed; ignored when empty or already present in any letter case; the list stays sorted.
    void addVocabulary(const QString &term);
    // Removes every exact match.
    void removeVocabulary(const QString &term);
    // "pocket" is never removed; removing the selected model selects "pocket" first. The file
    // goes through the model store, so its observers learn of it.
    Result<void, QString> removeModel(const SpeechModel &model);

    // Global shortcuts: setting one stores it and re-registers them all.
    const KeyboardShortcutSetting &toggleShortcut() const { return m_toggleShortcut; }
    void setToggleShortcut(const KeyboardShortcutSetting &shortcut);
    const KeyboardShortcutSetting &pushToTalkShortcut() const { return m_pushToTalkShortcut; }
    void setPushToTalkShortcut(const KeyboardShortcutSetting &shortcut);
    const KeyboardShortcutSetting &cancelShortcut() const { return m_cancelShortcut; }
    void setCancelShortcut(const KeyboardShortcutSetting &shortcut);
    const KeyboardShortcutSetting &agentShortcut() const { return m_agentShortcut; }
    void setAgentShortcut(const KeyboardShortcutSetting &shortcut);
    const KeyboardShortcutSetting &agentScreenshotShortcut() const { return m_agentScreenshotShortcut; }
    void setAgentScreenshotShortcut(const KeyboardShortcutSetting &shortcut);
    // Shortcut values used more than once among the four feature shortcuts.
    QList<KeyboardShortcutSetting> agentShortcutConflicts() const;
    void refreshHotKeys();
    bool hotKeysSuspended() const { return m_hotKeysSuspended; }
    // Something could be cancelled but the desktop did not take the cancel key (a portal is never
    // given a bare Esc, another program may hold it).
    bool cancelKeyRefused() const;
    // A shortcut recorder began or ended capturing: no global shortcut may fire meanwhile.
    void shortcutCaptureDidChange(bool capturing);
    HotKeyManager &hotKey() { return *m_hotKey; }
    ModelStore &modelStore() { return *m_s.modelStore; }
    // "Get the speech engines", shared by onboarding and the Models screen.
    SpeechEngineInstaller &speechEngines() { return *m_speechEngines; }

    // The writing-model store: catalog lookup, installed state, downloads, imports, removal.
    AgentModelStore &agentModels() { return *m_agentModels; }
    const AgentModelStore &agentModels() const { return *m_agentModels; }

    // Derived.
    std::optional<SpeechModel> selectedModel() const;
    bool canDictate() const;
    bool overlayShowsAgent() const;
    // The writing model of the chosen provider, when the id is known.
    std::optional<AgentModelDescriptor> selectedAgentModel() const;
    // Command transcribes with its own speech model, whatever Dictation uses.
    std::optional<SpeechModel> selectedAgentSpeechModel() const;
    // The Command conversations, newest first; the store announces its own changes.
    AgentConversationStore &agentConversationStore();
    // The key store of the cloud API key; none when the state was built without one.
    OpenAIKeychainStore *openAIKeychain() const { return m_s.openAIKeychain; }
    ModelServerKeyStore *serverKeys() const { return m_s.serverKeys; }

    // Entry points.
    void toggleRecording();
    void startRecording();
    void stopAndTranscribe();
    void cancelRecording();
    void handleOverlayTap();
    void refreshPermissions();
    void requestMicrophone();
    void requestAccessibility();
    void requestScreenRecording();
    void bringMainWindowForward();
    // Forgets the dragged overlay position and puts the overlay back at its default place.
    void resetOverlayPosition();

    // Shortcut callbacks.
    void handlePushToTalkBegan();
    void handlePushToTalkEnded();

    // Command entry points (the work is done by the Command flow).
    // Shortcuts, tray and menus: listening → run; busy → nothing; otherwise start listening.
    void toggleAgentRecording(bool includeScreenshot);
    void startAgentRecording(bool includeScreenshot, std::optional<QUuid> conversationID = std::nullopt);
    void stopAgentAndRun();
    // "Speak a follow-up": continues the active conversation by voice.
    void startAgentFollowUpRecording();
    // A typed refinement of the active conversation; ignored while a run is listening or busy.
    void submitAgentFollowUp(const QString &text, const QList<AgentContextAttachment> &attachments = {});
    // One screenshot of the target application's window for the next refinement.
    QCoro::Task<Result<AgentContextAttachment, AgentRuntimeError>> captureAgentScreenshotAttachment();
    void openAgentConversation(const QUuid &id);
    // "Delete Command history": every conversation and attachment, then the runtime's session
    // file (a failure there is ignored), and the active conversation is forgotten.
    void clearAgentConversations();
    void copyAgentResult();
    void pasteAgentResult();
    // Deleting a key that is not stored succeeds.
    QCoro::Task<Result<void, OpenAIKeychainError>> removeOpenAIAPIKey();

    // Command side hooks used by the Command flow.
    void setAgentPhase(AgentPhase phase, const QString &detail = {});
    void finishAgentProgress(double value);
    void scheduleAgentOverlayHide(double seconds);
    void playCompletionSound();
    AgentFlow &agentFlow() { return *m_agentFlow; }

signals:
    void statusChanged();
    void lastTranscriptChanged();
    void targetApplicationNameChanged();
    void transcriptionProgressChanged();
    void permissionsChanged();
    void permissionAttentionRequestChanged();
    void selectedSectionChanged();
    void agentPhaseChanged();
    void agentProgressChanged();
    void agentStreamedTextChanged();
    void agentResultTextChanged();
    void activeAgentConversationIDChanged();
    void agentResultNeedsPasteChanged();
    void agentPanelVisibleChanged();
    void selectedModelIDChanged();
    void preferencesChanged();
    void speechDeviceChanged();
    // A shortcut or what the desktop granted of it changed.
    void shortcutsChanged();
    void agentSettingsChanged();
    void openAIAPIKeyConfiguredChanged();

private:
    friend class AgentFlow;
    void setStatus(const CaptureStatus &status);
    // Published Command values, changed by the Command flow.
    void setAgentProgress(double value);
    void setAgentStreamedText(const QString &text);
    void setAgentResultText(const QString &text);
    void setActiveAgentConversationID(std::optional<QUuid> id);
    void setAgentResultNeedsPaste(bool needsPaste);
    void setTargetApplicationName(const QString &name);
    void setTranscriptionProgress(double value);
    void failStart(const QString &message, std::optional<PermissionAttention> attention, double hideAfter);
    void handleRecorderFailure(const QString &message);
    QCoro::Task<> transcribe(DictationRecorder::Recording recording, SpeechModel model);
    void applyRunnerProgress(double fraction);
    void finishTranscription(const QString &text, const SpeechModel &model, const QString &audioPath);
    void beginTranscriptionProgress(const SpeechModel &model);
    void scheduleOverlayHide(double seconds);
    // False when the text could only be left on the clipboard.
    bool pasteIntoTargetApplication(const QString &text);
    void openSettingsLater(const QString &location);
    void keep(std::unique_ptr<ScheduledTask> task);
    void loadPreferences();
    void loadAgentSettings();
    void installHotKeyCallbacks();
    void storeShortcut(const QString &key, KeyboardShortcutSetting &field, const KeyboardShortcutSetting &value);
    void storeVocabulary();

    Services m_s;
    std::unique_ptr<QSettings> m_ownDefaults;
    std::unique_ptr<ModelStore> m_ownModelStore;
    std::unique_ptr<Preferences> m_defaults;
    std::unique_ptr<HotKeyManager> m_hotKey;
    std::unique_ptr<AgentModelStore> m_agentModels;
    std::unique_ptr<SpeechEngineInstaller> m_speechEngines;
    bool m_hotKeysSuspended = false;

    CaptureStatus m_status;
    QString m_lastTranscript;
    QString m_targetApplicationName;
    std::unique_ptr<RunningApplication> m_targetApplication;
    // The focused field when the run started, where the text goes on Wayland.
    std::shared_ptr<AccessibleElement> m_targetElement;
    double m_transcriptionProgress = 0;
    bool m_microphoneGranted = false;
    bool m_accessibilityGranted = false;
    bool m_screenRecordingGranted = false;
    std::optional<PermissionAttention> m_permissionAttention;
    int m_permissionAttentionRequest = 0;
    AppSection m_selectedSection = AppSection::home;
    double m_recordingDuration = 0;
    bool m_pushToTalkActive = false;
    AgentPhase m_agentPhase = AgentPhase::idle;
    QString m_agentPhaseDetail;
    double m_agentProgress = 0;
    QString m_agentStreamedText;
    QString m_agentResultText;
    std::optional<QUuid> m_activeAgentConversationID;
    bool m_agentResultNeedsPaste = false;
    bool m_agentPanelVisible = false;
    bool m_openAIAPIKeyConfigured = false;

    bool m_onboardingComplete = false;
    QString m_selectedModelID = QStringLiteral("pocket");
    bool m_automaticPaste = true;
    OverlayAppearance m_overlayAppearance = OverlayAppearance::automatic;
    OverlaySize m_overlaySize = OverlaySize::classic;
    CompletionSound m_completionSound = CompletionSound::softPop;
    double m_speechKeepSeconds = 300;
    KeyboardShortcutSetting m_toggleShortcut = KeyboardShortcutSetting::defaultToggle();
    KeyboardShortcutSetting m_pushToTalkShortcut = KeyboardShortcutSetting::defaultPushToTalk();
    KeyboardShortcutSetting m_cancelShortcut = KeyboardShortcutSetting::defaultCancel();
    KeyboardShortcutSetting m_agentShortcut = KeyboardShortcutSetting::defaultAgent();
    KeyboardShortcutSetting m_agentScreenshotShortcut = KeyboardShortcutSetting::defaultAgentScreenshot();
    AgentSettings m_agentSettings;
    QStringList m_vocabulary;

    std::unique_ptr<ScheduledTask> m_progressTask;
    std::unique_ptr<ScheduledTask> m_overlayHideTask;
    std::unique_ptr<ScheduledTask> m_agentProgressTask;
    // One-shot follow-ups (the delayed paste, settings pages); cancelled with the state.
    std::vector<std::unique_ptr<ScheduledTask>> m_pending;
    // Last: it drives the values above and goes first at destruction.
    std::unique_ptr<AgentFlow> m_agentFlow;
};
