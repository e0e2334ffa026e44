// The request to the writing model, its events and progress, the finished text's delivery, and
// what the result card and conversation window call.
#include "app/AgentFlow.h"

#include "app/AgentServices.h"
#include "command/AgentContextCaptureService.h"
#include "command/AgentConversationStore.h"
#include "command/AgentPasteCoordinator.h"
#include "command/AgentProgressEstimator.h"
#include "command/AgentRuntimeProtocol.h"
#include "models/AgentModelStore.h"
#include "models/ModelServer.h"
#include "platform/KeySynthesizer.h"
#include "platform/Pasteboard.h"
#include "platform/Workspace.h"
#include "speech/AppPaths.h"

#include <QPointer>

#include <algorithm>

namespace {
constexpr double kProgressInterval = 0.18;
constexpr double kCompletedHide = 1.2;
constexpr double kCancelledHide = 0.5;
constexpr double kPasteDelay = 0.09;

// A model can emit control characters (NUL among them); pasted, they cut the text short in
// many applications, and the later exact-text check of a refinement would never match.
QString withoutControlCharacters(QString text)
{
    text.removeIf([](QChar c) {
        return (c.unicode() < 0x20 && c != u'\n' && c != u'\t' && c != u'\r') || c.unicode() == 0x7f;
    });
    return text;
}

QString detailFor(const AgentModelDescriptor &model)
{
    switch (model.provider) {
    case AgentModelProvider::appleSystem:
        return QStringLiteral("Checking Apple Intelligence");
    case AgentModelProvider::llamaCPP:
        return QStringLiteral("Loading ") + model.name;
    case AgentModelProvider::openAI:
        return QStringLiteral("Connecting to OpenAI · ") + model.name;
    case AgentModelProvider::openAICompatible:
        // Says where the text goes: this computer, or the server's host.
        return QStringLiteral("Connecting to ") + model.organization + QStringLiteral(" · ") +
               ModelServer::destinationOf(model);
    }
    return {};
}
} // namespace

AgentRuntimeRequest AgentFlow::assembleRequest(const QUuid &requestID, const AgentModelDescriptor &model,
                                               const QString &instruction, const QUuid &conversationID,
                                               const QList<AgentContextAttachment> &attachments, bool isContinuation,
                                               const std::optional<QString> &key) const
{
    const AgentSettings &settings = m_state.agentSettings();
    AgentRuntimeRequest request;
    request.requestID = requestID;
    request.command = isContinuation ? AgentProtocolCommand::continue_ : AgentProtocolCommand::run;
    request.conversationID = conversationID;
    request.model = model;
    request.instruction = instruction;
    request.trustedInstructions = settings.trustedInstructions;
    request.attachments = attachments;
    request.modelPath = AgentModelStore::modelPath(model);
    request.projectorPath = AgentModelStore::projectorPath(model);
    request.llamaServerPath = m_s.agentRuntime->bundledExecutable(QStringLiteral("llama-server"));
    request.appleBridgePath = m_s.agentRuntime->bundledExecutable(QStringLiteral("OrvelAppleBridge"));
    request.sessionPath = AppPaths::agentSessions();
    if (model.provider == AgentModelProvider::openAI)
        request.openAIAPIKey = key;
    else if (model.provider == AgentModelProvider::openAICompatible)
        request.serverAPIKey = key;
    request.personalContext = settings.personalContext;
    return request;
}

QCoro::Task<> AgentFlow::runWritingAgent(QString instruction, QUuid conversationID,
                                         QList<AgentContextAttachment> attachments, bool isContinuation)
{
    QPointer<AgentFlow> self(this);
    const auto model = selectedAgentModel();
    if (!model)
        co_return showAgentError(QStringLiteral("Choose a writing model."));
    std::optional<QString> key;
    if (model->provider == AgentModelProvider::openAI) {
        if (m_s.openAIKeychain) {
            m_capturing = true;
            auto loading = m_s.openAIKeychain->load();
            const auto loaded = co_await loading;
            if (!self)
                co_return;
            m_capturing = false;
            if (!loaded.ok())
                co_return showAgentError(loaded.error().description());
            key = loaded.value();
        }
        if (!key)
            co_return showAgentError(
                AgentRuntimeError::writingModelUnavailable(
                    QStringLiteral("Add your OpenAI API key in Models → Command before using an OpenAI model."))
                    .description());
    }
    if (model->provider == AgentModelProvider::openAICompatible) {
        const auto server = m_state.agentModels().serverForModel(model->id);
        if (server && server->hasKey) {
            if (!m_s.serverKeys)
                co_return showAgentError(QStringLiteral("The system keyring is not available, so the API key of %1 "
                                                        "cannot be read.")
                                             .arg(server->name));
            m_capturing = true;
            auto loading = m_s.serverKeys->load(server->id);
            const auto loaded = co_await loading;
            if (!self)
                co_return;
            m_capturing = false;
            if (!loaded.ok())
                co_return showAgentError(loaded.error());
            if (!loaded.value())
                co_return showAgentError(QStringLiteral("The API key of %1 is no longer in the system keyring. "
                                                        "Remove the server in Models → Command and add it again.")
                                             .arg(server->name));
            key = loaded.value();
        }
    }
    if (!m_s.agentRuntime)
        co_return showAgentError(AgentRuntimeError(AgentRuntimeError::Kind::runtimeMissing).description());

    const QUuid requestID = QUuid::createUuid();
    m_activeRequestID = requestID;
    m_state.setAgentPhase(AgentPhase::loadingModel, detailFor(*model));
    beginAgentProgress();
    m_state.setAgentStreamedText({});
    m_s.cancelShortcut->unregisterCancelHotKey();
    m_s.cancelShortcut->registerCancelHotKey();
    m_s.overlay->show();

    AgentRuntimeRequest request =
        assembleRequest(requestID, *model, instruction, conversationID, attachments, isContinuation, key);
    auto onEvent = [self, requestID](const AgentRuntimeEvent &event) {
        if (self)
            self->handleEvent(requestID, event);
    };
    auto running = m_s.agentRuntime->run(std::move(request), onEvent);
    const AgentRunResult result = co_await running;
    // A cancelled or superseded request changes nothing, whatever it returns.
    if (!self || m_activeRequestID != requestID)
        co_return;
    if (!result.ok())
        co_return showAgentError(result.error().description());
    auto completing = complete(conversationID, isContinuation, withoutControlCharacters(result.value()));
    co_await completing;
}

void AgentFlow::handleEvent(const QUuid &requestID, const AgentRuntimeEvent &event)
{
    if (m_activeRequestID != requestID)
        return;
    if (event.phase) {
        m_state.setAgentPhase(*event.phase, m_state.agentPhaseDetail());
        const double p = m_state.agentProgress();
        if (*event.phase == AgentPhase::loadingModel)
            m_state.setAgentProgress(std::max(p, 0.08));
        else if (*event.phase == AgentPhase::generating)
            m_state.setAgentProgress(std::max(p, 0.38));
        else if (*event.phase == AgentPhase::completed)
            m_state.setAgentProgress(1.0);
    }
    if (!event.text)
        return;
    if (event.kind == AgentProtocolEventKind::phase) {
        m_state.setAgentPhase(m_state.agentPhase(), *event.text);
    } else if (event.kind == AgentProtocolEventKind::delta) {
        m_state.setAgentStreamedText(m_state.agentStreamedText() + withoutControlCharacters(*event.text));
        m_state.setAgentProgress(AgentProgressEstimator::receivedDelta(m_state.agentProgress(), int(event.text->size())));
    }
}

void AgentFlow::beginAgentProgress()
{
    m_state.m_agentProgressTask.reset();
    m_state.setAgentProgress(0.04);
    m_state.m_agentProgressTask = m_s.scheduler->every(kProgressInterval, [this] {
        const AgentPhase phase = m_state.agentPhase();
        if (!m_activeRequestID || (phase != AgentPhase::loadingModel && phase != AgentPhase::generating)) {
            m_state.m_agentProgressTask.reset();
            return;
        }
        const double p = m_state.agentProgress();
        if (phase == AgentPhase::loadingModel)
            m_state.setAgentProgress(std::min(p + std::max(std::max(0.32 - p, 0.0) * 0.05, 0.004), 0.32));
        else
            m_state.setAgentProgress(std::min(p + std::max(std::max(0.94 - p, 0.0) * 0.018, 0.002), 0.94));
    });
}

std::optional<AgentTargetSnapshot> AgentFlow::deliveryTarget(bool isContinuation) const
{
    // A refinement goes where the earlier result went; a new run goes where it was started,
    // not into the program of some earlier conversation.
    const auto &remembered = m_paste->lastTarget();
    if (isContinuation)
        return remembered ? remembered : m_target;
    return m_target ? m_target : remembered;
}

QCoro::Task<> AgentFlow::complete(QUuid conversationID, bool isContinuation, QString text)
{
    QPointer<AgentFlow> self(this);
    const AgentSettings settings = m_state.agentSettings();
    m_activeRequestID.reset();
    m_state.setAgentResultText(text);
    m_state.setAgentStreamedText(text);
    m_conversations->addAssistantMessage(text, conversationID);

    std::optional<QString> replacing;
    if (isContinuation)
        if (const auto conversation = m_conversations->conversation(conversationID))
            replacing = conversation->lastPastedText;

    const auto target = deliveryTarget(isContinuation);
    if (!target) {
        if (settings.copyResult) {
            m_s.pasteboard->clear();
            m_s.pasteboard->setString(text);
        }
        m_state.setAgentResultNeedsPaste(settings.automaticPaste);
    } else {
        auto delivering = m_paste->deliver(text, settings, *target, replacing);
        const AgentDeliveryResult delivered = co_await delivering;
        if (!self)
            co_return;
        m_state.setAgentResultNeedsPaste(delivered.needsManualPaste);
        m_conversations->setLastPastedText(delivered.pasted ? std::optional<QString>(text) : std::nullopt,
                                           conversationID);
    }

    m_s.cancelShortcut->unregisterCancelHotKey();
    m_state.setAgentPhase(AgentPhase::completed, QStringLiteral("Ready"));
    m_state.finishAgentProgress(1.0);
    if (settings.playCompletionSound)
        m_state.playCompletionSound();
    if (settings.showCompletionNotification && m_s.agentResults)
        m_s.agentResults->showResult();
    m_state.scheduleAgentOverlayHide(kCompletedHide);
}

bool AgentFlow::cancelActiveRequest()
{
    const AgentPhase phase = m_state.agentPhase();
    if (!m_activeRequestID || !agentPhaseIsBusy(phase) || phase == AgentPhase::listening)
        return false;
    const QUuid id = *std::exchange(m_activeRequestID, std::nullopt);
    if (m_s.agentRuntime)
        m_s.agentRuntime->cancel(id);
    m_state.finishAgentProgress(0);
    m_state.setAgentPhase(AgentPhase::cancelled, QStringLiteral("Cancelled"));
    m_s.cancelShortcut->unregisterCancelHotKey();
    m_state.scheduleAgentOverlayHide(kCancelledHide);
    return true;
}

QCoro::Task<Result<AgentContextAttachment, AgentRuntimeError>> AgentFlow::captureAgentScreenshotAttachment()
{
    const AgentRuntimeError unsupported(AgentRuntimeError::Kind::screenshotsUnsupported);
    const auto model = selectedAgentModel();
    if (!model || !model->capabilities.images)
        co_return unsupported;
    // The camera button sits in our own window; the window wanted is the conversation's target.
    const auto target = deliveryTarget(true);
    if (target && target->application && !m_s.workspace->isCurrentApplication(*target->application))
        co_return m_capture->captureWindowScreenshot(target->application, target->applicationName);
    auto capturing = m_capture->capture(false, true);
    const auto context = co_await capturing;
    if (!context.ok())
        co_return context.error();
    for (const auto &attachment : context.value().attachments)
        if (attachment.kind == AgentAttachmentKind::screenshot)
            co_return attachment;
    co_return AgentRuntimeError(AgentRuntimeError::Kind::screenRecordingDenied);
}

void AgentFlow::openAgentConversation(const QUuid &id)
{
    m_state.setActiveAgentConversationID(id);
    m_state.setAgentPanelVisible(true);
    if (m_s.agentResults) {
        m_s.agentResults->hideResult();
        m_s.agentResults->showConversationPanel();
    }
}

void AgentFlow::copyAgentResult()
{
    const QString &text = m_state.agentResultText();
    if (text.isEmpty())
        return;
    m_s.pasteboard->clear();
    m_s.pasteboard->setString(text);
    m_state.setAgentResultNeedsPaste(false);
}

void AgentFlow::pasteAgentResult()
{
    const QString text = m_state.agentResultText();
    if (text.isEmpty() || !m_s.accessibility->isProcessTrusted(false))
        return;
    m_s.pasteboard->clear();
    m_s.pasteboard->setString(text);
    const auto target = deliveryTarget(true);
    if (target && target->application && !m_s.workspace->isCurrentApplication(*target->application))
        m_s.workspace->activate(*target->application);
    const uint64_t flags = target ? m_paste->pasteFlags(*target) : KeySynthesizer::commandFlag;
    KeySynthesizer *keys = m_s.keys;
    keep(m_s.scheduler->after(kPasteDelay, [keys, flags] { keys->postKey(KeySynthesizer::keyV, flags); }));
    m_state.setAgentResultNeedsPaste(false);
}

QCoro::Task<Result<void, OpenAIKeychainError>> AgentFlow::removeOpenAIAPIKey()
{
    QPointer<AgentFlow> self(this);
    if (m_s.openAIKeychain) {
        auto removing = m_s.openAIKeychain->remove();
        const auto removed = co_await removing;
        if (!removed.ok())
            co_return removed.error();
    }
    if (self)
        m_state.setOpenAIAPIKeyConfigured(false);
    co_return Result<void, OpenAIKeychainError>::success();
}
