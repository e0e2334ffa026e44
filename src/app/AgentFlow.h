#pragma once

#include "app/AppState.h"
#include "command/AgentConversation.h"
#include "command/AgentInvocationContext.h"
#include "command/AgentRuntimeProtocol.h"
#include "command/AgentRuntimeError.h"
#include "speech/DictationServices.h"

#include <QObject>
#include <QUuid>

#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>

class AgentContextCaptureService;
class AgentPasteCoordinator;

// The Command run from shortcut to delivered text: checks, context capture, the spoken
// instruction, the conversation turn, the request, its events, delivery and follow-ups.
// The state publishes what this flow changes; everything here runs on the main thread.
class AgentFlow final : public QObject {
    Q_OBJECT

public:
    AgentFlow(AppState &state, const AppState::Services &services);
    ~AgentFlow() override;

    void toggleAgentRecording(bool includeScreenshot);
    void startAgentRecording(bool includeScreenshot, std::optional<QUuid> conversationID);
    void stopAgentAndRun();
    // The microphone failed while the instruction was being spoken: nothing of it is run.
    void recordingFailed(const QString &message);
    void startAgentFollowUpRecording();
    void submitAgentFollowUp(const QString &text, const QList<AgentContextAttachment> &attachments);
    QCoro::Task<Result<AgentContextAttachment, AgentRuntimeError>> captureAgentScreenshotAttachment();
    void openAgentConversation(const QUuid &id);
    void copyAgentResult();
    void pasteAgentResult();
    QCoro::Task<Result<void, OpenAIKeychainError>> removeOpenAIAPIKey();
    // Cancels a running request; false when none is active.
    bool cancelActiveRequest();
    // Starts the runtime ahead of the first Command; a failure is left for the first run to report.
    void warmUp();

    std::optional<AgentModelDescriptor> selectedAgentModel() const;
    std::optional<SpeechModel> selectedAgentSpeechModel() const;
    AgentConversationStore &conversations() { return *m_conversations; }
    AgentContextCaptureService &contextCapture() { return *m_capture; }
    AgentPasteCoordinator &paste() { return *m_paste; }

    // What the run captured at its start; the delivery goes there.
    const std::optional<AgentTargetSnapshot> &agentTarget() const { return m_target; }
    std::optional<QUuid> activeAgentRequestID() const { return m_activeRequestID; }

private:
    QCoro::Task<> captureAndListen(bool includeScreenshot, std::optional<QUuid> conversationID);
    QCoro::Task<> transcribeAndRun(DictationRecorder::Recording recording, SpeechModel model,
                                   std::optional<QUuid> conversationID, QList<AgentContextAttachment> attachments);
    QCoro::Task<> runWritingAgent(QString instruction, QUuid conversationID,
                                  QList<AgentContextAttachment> attachments, bool isContinuation);
    QCoro::Task<> complete(QUuid conversationID, bool isContinuation, QString text);
    AgentRuntimeRequest assembleRequest(const QUuid &requestID, const AgentModelDescriptor &model,
                                        const QString &instruction, const QUuid &conversationID,
                                        const QList<AgentContextAttachment> &attachments, bool isContinuation,
                                        const std::optional<QString> &key) const;
    // Where a finished text goes: a refinement follows the earlier result, a new run its start.
    std::optional<AgentTargetSnapshot> deliveryTarget(bool isContinuation) const;
    void handleEvent(const QUuid &requestID, const AgentRuntimeEvent &event);
    void beginAgentProgress();
    void showAgentError(const QString &message);
    void failWithWindow(const QString &message, AppSection section);
    bool startIsBlocked() const;
    QList<AgentContextAttachment> persist(const QList<AgentContextAttachment> &attachments, const QUuid &conversationID);
    void keep(std::unique_ptr<ScheduledTask> task);

    AppState &m_state;
    AppState::Services m_s;
    std::unique_ptr<AgentConversationStore> m_ownConversations;
    AgentConversationStore *m_conversations = nullptr;
    std::unique_ptr<AgentContextCaptureService> m_capture;
    std::unique_ptr<AgentPasteCoordinator> m_paste;

    std::optional<AgentTargetSnapshot> m_target;
    QList<AgentContextAttachment> m_attachments;
    std::optional<QUuid> m_recordingConversationID;
    std::optional<QUuid> m_activeRequestID;
    // A start in flight (capture, key read): a second press does not start another run.
    bool m_capturing = false;
    std::vector<std::unique_ptr<ScheduledTask>> m_pending;
};
