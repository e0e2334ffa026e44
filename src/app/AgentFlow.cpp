// The Command run: start checks, capture before recording, transcription of the instruction,
// the conversation turn and the request. Events, completion and follow-ups: AgentFlowRun.cpp.
#include "app/AgentFlow.h"

#include "app/AgentServices.h"
#include "app/HotKeyManager.h"
#include "app/PlatformWording.h"
#include "command/AgentContextCaptureService.h"
#include "command/AgentConversationStore.h"
#include "command/AgentPasteCoordinator.h"
#include "models/AgentModelStore.h"
#include "platform/KeySynthesizer.h"
#include "platform/Pasteboard.h"
#include "platform/Workspace.h"
#include "speech/ModelStore.h"

#include <QCoreApplication>
#include <QFile>
#include <QPointer>

#include <algorithm>

namespace {

const QString kNoWritingModel = QStringLiteral("Choose a writing model.");
const QString kNoOpenAIKey =
    QStringLiteral("Add your OpenAI API key in Models → Command before using an OpenAI model.");

} // namespace

AgentFlow::AgentFlow(AppState &state, const AppState::Services &services)
    : m_state(state), m_s(services), m_conversations(services.agentConversations)
{
    if (!m_conversations) {
        m_ownConversations = std::make_unique<AgentConversationStore>();
        m_conversations = m_ownConversations.get();
    }
    m_capture = std::make_unique<AgentContextCaptureService>(AgentContextCaptureService::Ports{
        m_s.workspace, m_s.accessibility, m_s.pasteboard, m_s.keys, m_s.permissions, m_s.scheduler, m_s.screenCapture,
        m_s.screenCaptureSeesEveryWindow});
    m_paste = std::make_unique<AgentPasteCoordinator>(
        AgentPasteCoordinator::Ports{m_capture.get(), m_s.pasteboard, m_s.accessibility, m_s.workspace, m_s.scheduler,
                                     m_s.insertTextDirectly, m_s.keysReachApplications});
}

AgentFlow::~AgentFlow() = default;

std::optional<AgentModelDescriptor> AgentFlow::selectedAgentModel() const
{
    const AgentSettings &settings = m_state.agentSettings();
    switch (settings.writingProvider) {
    case AgentWritingProvider::openAI:
        return m_state.agentModels().descriptor(settings.selectedOpenAIModelID);
    case AgentWritingProvider::openAICompatible:
        // Only a server's model: a stale id must not fall through to a local or cloud model.
        if (const auto server = m_state.agentModels().serverForModel(settings.selectedServerModelID))
            return server->descriptor();
        return std::nullopt;
    case AgentWritingProvider::local:
        break;
    }
    return m_state.agentModels().descriptor(settings.selectedModelID);
}

std::optional<SpeechModel> AgentFlow::selectedAgentSpeechModel() const
{
    return SpeechModel::withID(m_state.agentSettings().speechModelID);
}

void AgentFlow::warmUp()
{
    // A runtime that cannot start now is reported by the first run that needs it.
    if (m_s.agentRuntime)
        (void)m_s.agentRuntime->ensureProcess();
}

void AgentFlow::keep(std::unique_ptr<ScheduledTask> task)
{
    std::erase_if(m_pending, [](const auto &t) { return !t->isActive(); });
    m_pending.push_back(std::move(task));
}

bool AgentFlow::startIsBlocked() const
{
    return m_state.status().isBusy() || agentPhaseIsBusy(m_state.agentPhase()) || m_capturing;
}

void AgentFlow::toggleAgentRecording(bool includeScreenshot)
{
    const AgentPhase phase = m_state.agentPhase();
    if (phase == AgentPhase::listening)
        return stopAgentAndRun();
    if (agentPhaseIsBusy(phase))
        return;
    startAgentRecording(includeScreenshot, std::nullopt);
}

void AgentFlow::startAgentFollowUpRecording()
{
    if (!m_state.activeAgentConversationID())
        return;
    if (m_state.agentPhase() == AgentPhase::listening)
        return stopAgentAndRun();
    startAgentRecording(false, m_state.activeAgentConversationID());
}

void AgentFlow::showAgentError(const QString &message)
{
    m_activeRequestID.reset();
    m_state.finishAgentProgress(0);
    m_state.setAgentPhase(AgentPhase::error, message);
    m_s.cancelShortcut->unregisterCancelHotKey();
    m_s.overlay->show();
    m_state.scheduleAgentOverlayHide(3.0);
}

void AgentFlow::failWithWindow(const QString &message, AppSection section)
{
    showAgentError(message);
    m_state.setSelectedSection(section);
    m_state.bringMainWindowForward();
}

void AgentFlow::startAgentRecording(bool includeScreenshot, std::optional<QUuid> conversationID)
{
    if (startIsBlocked())
        return;
    m_state.m_overlayHideTask.reset();
    m_state.refreshPermissions();
    const AgentSettings &settings = m_state.agentSettings();

    if (!m_state.microphoneGranted())
        return showAgentError(QStringLiteral("Microphone access is required."));
    if ((settings.includeSelectedText || settings.automaticPaste) && !m_state.accessibilityGranted())
        return failWithWindow(QStringLiteral("Accessibility access is required for context and automatic paste."),
                              AppSection::agent);
    const auto model = selectedAgentModel();
    if (!model)
        return failWithWindow(kNoWritingModel, AppSection::agent);
    if (includeScreenshot && !model->capabilities.images)
        return showAgentError(AgentRuntimeError(AgentRuntimeError::Kind::screenshotsUnsupported).description());
    if (model->provider == AgentModelProvider::openAI && !m_state.openAIAPIKeyConfigured())
        return failWithWindow(kNoOpenAIKey, AppSection::models);
    if (!AgentModelStore::isAvailable(*model))
        return failWithWindow(QStringLiteral("Download ") + model->name + QStringLiteral(" before using it."),
                              AppSection::agent);
    const auto speech = selectedAgentSpeechModel();
    if (!speech || !ModelStore::isInstalled(*speech))
        return failWithWindow(AgentRuntimeError(AgentRuntimeError::Kind::speechModelUnavailable).description(),
                              AppSection::agent);

    captureAndListen(includeScreenshot, conversationID);
}

QCoro::Task<> AgentFlow::captureAndListen(bool includeScreenshot, std::optional<QUuid> conversationID)
{
    QPointer<AgentFlow> self(this);
    m_capturing = true;
    // Before anything of ours is shown, so the focus is still where the user left it.
    auto capturing = m_capture->capture(m_state.agentSettings().includeSelectedText, includeScreenshot);
    const auto context = co_await capturing;
    if (!self)
        co_return;
    m_capturing = false;
    if (!context.ok())
        co_return showAgentError(context.error().description());
    if (m_state.status().kind == CaptureStatus::Kind::recording || agentPhaseIsBusy(m_state.agentPhase()))
        co_return;

    m_target = context.value().target;
    m_attachments = context.value().attachments;
    m_recordingConversationID = conversationID;
    m_state.setTargetApplicationName(m_target->applicationName);

    const auto started = m_s.recorder->start();
    if (!started.ok())
        co_return showAgentError(started.error());
    if (const auto speech = selectedAgentSpeechModel())
        m_s.runner->prepare(*speech, ModelStore::installedPath(*speech));

    const bool attached = std::any_of(m_attachments.begin(), m_attachments.end(), [](const auto &attachment) {
        return attachment.kind == AgentAttachmentKind::screenshot;
    });
    m_state.setAgentPhase(AgentPhase::listening, !includeScreenshot ? QStringLiteral("Speak your writing instruction")
                                                 : attached         ? QStringLiteral("Window attached")
                                                                    : QStringLiteral("No screenshot attached (Wayland)"));
    m_state.setAgentStreamedText({});
    m_state.setAgentResultNeedsPaste(false);
    m_s.cancelShortcut->unregisterCancelHotKey();
    m_s.cancelShortcut->registerCancelHotKey();
    m_s.overlay->show();
}

void AgentFlow::recordingFailed(const QString &message)
{
    if (m_state.agentPhase() != AgentPhase::listening)
        return;
    m_s.recorder->cancel();
    showAgentError(message);
}

void AgentFlow::stopAgentAndRun()
{
    if (m_state.agentPhase() != AgentPhase::listening)
        return;
    const auto recording = m_s.recorder->stop();
    const auto speech = selectedAgentSpeechModel();
    // Neither case may leave the run stuck listening.
    if (!recording) {
        m_s.cancelShortcut->unregisterCancelHotKey();
        m_state.setAgentPhase(AgentPhase::idle);
        m_s.overlay->hide();
        return;
    }
    if (!speech) {
        QFile::remove(recording->filePath);
        return showAgentError(AgentRuntimeError(AgentRuntimeError::Kind::speechModelUnavailable).description());
    }
    if (recording->isSilent()) {
        // An engine hearing silence makes words up, and they would be taken as the instruction.
        QFile::remove(recording->filePath);
        return showAgentError(AgentRuntimeError(AgentRuntimeError::Kind::noInstruction).description());
    }

    // The cancel key stays registered until the run ends, so a long generation can be stopped.
    m_state.setAgentPhase(AgentPhase::transcribing, speech->name);
    m_state.setTranscriptionProgress(0.04);
    m_s.overlay->show();

    const auto conversationID = std::exchange(m_recordingConversationID, std::nullopt);
    const auto attachments = std::exchange(m_attachments, {});
    transcribeAndRun(*recording, *speech, conversationID, attachments);
}

QCoro::Task<> AgentFlow::transcribeAndRun(DictationRecorder::Recording recording, SpeechModel model,
                                          std::optional<QUuid> conversationID,
                                          QList<AgentContextAttachment> attachments)
{
    QPointer<AgentFlow> self(this);
    auto progress = [self](double fraction) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, fraction] {
                if (self && self->m_state.agentPhase() == AgentPhase::transcribing)
                    self->m_state.setTranscriptionProgress(std::min(fraction, 0.98));
            },
            Qt::QueuedConnection);
    };
    const QString modelPath = ModelStore::installedPath(model);
    auto transcribing = m_s.runner->transcribe(recording.filePath, model, modelPath, m_state.vocabulary(), progress);
    const auto transcript = co_await transcribing;
    if (!self)
        co_return;
    QFile::remove(recording.filePath);
    if (m_state.agentPhase() != AgentPhase::transcribing)
        co_return;
    if (!transcript.ok())
        co_return showAgentError(PlatformWording::describe(transcript.error()));
    const QString instruction = transcript.value().trimmed();
    if (instruction.isEmpty())
        co_return showAgentError(AgentRuntimeError(AgentRuntimeError::Kind::noInstruction).description());

    const QUuid id = conversationID.value_or(QUuid::createUuid());
    const auto stored = persist(attachments, id);
    if (m_conversations->conversation(id))
        m_conversations->addUserMessage(instruction, stored, id);
    else
        m_conversations->createConversation(id, instruction, m_state.targetApplicationName(), stored);
    m_state.setActiveAgentConversationID(id);

    auto running = runWritingAgent(instruction, id, stored, conversationID.has_value());
    co_await running;
}

QList<AgentContextAttachment> AgentFlow::persist(const QList<AgentContextAttachment> &attachments,
                                                 const QUuid &conversationID)
{
    return m_conversations->moveAttachments(attachments, conversationID);
}

void AgentFlow::submitAgentFollowUp(const QString &text, const QList<AgentContextAttachment> &attachments)
{
    const QString trimmed = text.trimmed();
    const auto id = m_state.activeAgentConversationID();
    if (trimmed.isEmpty() || !id || agentPhaseIsBusy(m_state.agentPhase()) || m_capturing)
        return;
    const auto stored = persist(attachments, *id);
    m_conversations->addUserMessage(trimmed, stored, *id);
    runWritingAgent(trimmed, *id, stored, true);
}
