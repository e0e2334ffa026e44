// The Command side of the state: its published values and the entry points, which the Command
// flow carries out.
#include "app/AgentFlow.h"
#include "app/AppState.h"
#include "command/AgentConversationStore.h"
#include "speech/AppPaths.h"

#include <QFile>

void AppState::setAgentProgress(double value)
{
    if (m_agentProgress == value)
        return;
    m_agentProgress = value;
    emit agentProgressChanged();
}

void AppState::setAgentStreamedText(const QString &text)
{
    if (m_agentStreamedText == text)
        return;
    m_agentStreamedText = text;
    emit agentStreamedTextChanged();
}

void AppState::setAgentResultText(const QString &text)
{
    if (m_agentResultText == text)
        return;
    m_agentResultText = text;
    emit agentResultTextChanged();
}

void AppState::setActiveAgentConversationID(std::optional<QUuid> id)
{
    if (m_activeAgentConversationID == id)
        return;
    m_activeAgentConversationID = id;
    emit activeAgentConversationIDChanged();
}

void AppState::setAgentResultNeedsPaste(bool needsPaste)
{
    if (m_agentResultNeedsPaste == needsPaste)
        return;
    m_agentResultNeedsPaste = needsPaste;
    emit agentResultNeedsPasteChanged();
}

void AppState::setAgentPanelVisible(bool visible)
{
    if (m_agentPanelVisible == visible)
        return;
    m_agentPanelVisible = visible;
    emit agentPanelVisibleChanged();
}

void AppState::setTargetApplicationName(const QString &name)
{
    if (m_targetApplicationName == name)
        return;
    m_targetApplicationName = name;
    emit targetApplicationNameChanged();
}

std::optional<AgentModelDescriptor> AppState::selectedAgentModel() const { return m_agentFlow->selectedAgentModel(); }
std::optional<SpeechModel> AppState::selectedAgentSpeechModel() const { return m_agentFlow->selectedAgentSpeechModel(); }
AgentConversationStore &AppState::agentConversationStore() { return m_agentFlow->conversations(); }

void AppState::toggleAgentRecording(bool includeScreenshot) { m_agentFlow->toggleAgentRecording(includeScreenshot); }
void AppState::startAgentRecording(bool includeScreenshot, std::optional<QUuid> conversationID)
{
    m_agentFlow->startAgentRecording(includeScreenshot, conversationID);
}
void AppState::stopAgentAndRun() { m_agentFlow->stopAgentAndRun(); }
void AppState::startAgentFollowUpRecording() { m_agentFlow->startAgentFollowUpRecording(); }
void AppState::submitAgentFollowUp(const QString &text, const QList<AgentContextAttachment> &attachments)
{
    m_agentFlow->submitAgentFollowUp(text, attachments);
}
QCoro::Task<Result<AgentContextAttachment, AgentRuntimeError>> AppState::captureAgentScreenshotAttachment()
{
    return m_agentFlow->captureAgentScreenshotAttachment();
}
void AppState::openAgentConversation(const QUuid &id) { m_agentFlow->openAgentConversation(id); }
void AppState::copyAgentResult() { m_agentFlow->copyAgentResult(); }
void AppState::pasteAgentResult() { m_agentFlow->pasteAgentResult(); }
QCoro::Task<Result<void, OpenAIKeychainError>> AppState::removeOpenAIAPIKey()
{
    return m_agentFlow->removeOpenAIAPIKey();
}

void AppState::clearAgentConversations()
{
    agentConversationStore().clear();
    QFile::remove(AppPaths::agentSessions());
    setActiveAgentConversationID(std::nullopt);
}
