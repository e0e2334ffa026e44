#include "app/AgentFlow.h"

#include "app/AgentServices.h"
#include "command/AgentContextCaptureService.h"
#include "command/AgentPasteCoordinator.h"

AgentFlow::AgentFlow(AppState &state, const AppState::Services &services)
    : m_state(state), m_s(services), m_conversations(services.agentConversations)
{
    m_capture = std::make_unique<AgentContextCaptureService>(AgentContextCaptureService::Ports{
        m_s.workspace, m_s.accessibility, m_s.pasteboard, m_s.keys, m_s.permissions, m_s.scheduler, m_s.screenCapture});
    m_paste = std::make_unique<AgentPasteCoordinator>(
        AgentPasteCoordinator::Ports{m_capture.get(), m_s.pasteboard, m_s.accessibility, m_s.workspace, m_s.scheduler});
}

AgentFlow::~AgentFlow() = default;

void AgentFlow::toggleAgentRecording(bool) {}
void AgentFlow::startAgentRecording(bool, std::optional<QUuid>) {}
void AgentFlow::stopAgentAndRun() {}
void AgentFlow::startAgentFollowUpRecording() {}
void AgentFlow::submitAgentFollowUp(const QString &, const QList<AgentContextAttachment> &) {}
QCoro::Task<Result<AgentContextAttachment, AgentRuntimeError>> AgentFlow::captureAgentScreenshotAttachment()
{
    co_return AgentRuntimeError(AgentRuntimeError::Kind::screenRecordingDenied);
}
void AgentFlow::openAgentConversation(const QUuid &) {}
void AgentFlow::copyAgentResult() {}
void AgentFlow::pasteAgentResult() {}
QCoro::Task<Result<void, OpenAIKeychainError>> AgentFlow::removeOpenAIAPIKey() { co_return {}; }
bool AgentFlow::cancelActiveRequest() { return false; }
void AgentFlow::warmUp() {}
std::optional<AgentModelDescriptor> AgentFlow::selectedAgentModel() const { return std::nullopt; }
std::optional<SpeechModel> AgentFlow::selectedAgentSpeechModel() const { return std::nullopt; }
