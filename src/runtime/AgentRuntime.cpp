#include "AgentRuntime.h"

#include "LlamaServer.h"
#include "SessionStore.h"

namespace {

const QString kMovedAside = QStringLiteral(
    "The Command session database could not be read. It was moved aside and a new one was started.");

} // namespace

AgentRuntime::AgentRuntime(std::function<void(const QByteArray &)> emitLine, QObject *parent)
    : QObject(parent), m_emitLine(std::move(emitLine)), m_llama(new LlamaServer(&m_network, this))
{
}

AgentRuntime::~AgentRuntime() { stopChildren(); }

void AgentRuntime::stopChildren()
{
    if (m_stream)
        m_stream->abort();
    if (m_bridge && m_bridge->state() != QProcess::NotRunning) {
        m_bridge->kill();
        m_bridge->waitForFinished(2000);
    }
    m_llama->stop();
}

void AgentRuntime::send(const AgentRuntimeEvent &event) { m_emitLine(AgentProtocol::encodedLine(event).chopped(1)); }

void AgentRuntime::sendPhase(const QUuid &id, AgentPhase phase, const QString &text)
{
    AgentRuntimeEvent e;
    e.requestID = id;
    e.kind = AgentProtocolEventKind::phase;
    e.phase = phase;
    if (!text.isEmpty())
        e.text = text;
    send(e);
}

void AgentRuntime::sendDelta(const QUuid &id, const QString &text)
{
    AgentRuntimeEvent e;
    e.requestID = id;
    e.kind = AgentProtocolEventKind::delta;
    e.text = text;
    send(e);
}

void AgentRuntime::sendWarning(const QUuid &id, const QString &text, const QString &code)
{
    AgentRuntimeEvent e;
    e.requestID = id;
    e.kind = AgentProtocolEventKind::warning;
    e.text = text;
    e.code = code;
    send(e);
}

void AgentRuntime::sendError(const std::optional<QUuid> &id, const QString &text, const QString &code)
{
    AgentRuntimeEvent e;
    e.requestID = id;
    e.kind = AgentProtocolEventKind::error;
    e.phase = AgentPhase::error;
    e.text = text;
    e.code = code;
    send(e);
}

void AgentRuntime::handleLine(const QByteArray &line)
{
    auto decoded = decodeRequestLine(line);
    if (auto *rejection = std::get_if<RequestRejection>(&decoded)) {
        sendError(rejection->requestID, rejection->message, rejection->code);
        return;
    }
    AgentRuntimeRequest request = std::get<AgentRuntimeRequest>(std::move(decoded));
    switch (request.command) {
    case AgentProtocolCommand::run:
    case AgentProtocolCommand::continue_: {
        if (m_active) {
            sendError(request.requestID, QStringLiteral("Command is already working."), QStringLiteral("busy"));
            return;
        }
        m_active = std::make_shared<RunToken>(RunToken{request.requestID});
        execute(std::move(request), m_active);
        return;
    }
    case AgentProtocolCommand::cancel:
        cancel(request);
        return;
    case AgentProtocolCommand::list:
    case AgentProtocolCommand::load:
    case AgentProtocolCommand::delete_:
        answerSessions(request);
        return;
    case AgentProtocolCommand::shutdown:
        emit shutdownRequested();
        return;
    }
}

void AgentRuntime::rejectLongLine()
{
    sendError(std::nullopt,
              QStringLiteral("Command received a request longer than %1 MB; it was ignored.")
                  .arg(AgentProtocol::maxLineBytes / (1024 * 1024)),
              QStringLiteral("invalidRequest"));
}

void AgentRuntime::cancel(const AgentRuntimeRequest &request)
{
    if (!m_active || m_active->cancelled) {
        sendWarning(request.requestID, QStringLiteral("Nothing is running."), QStringLiteral("nothingToCancel"));
        return;
    }
    m_active->cancelled = true;
    sendError(m_active->requestID, QStringLiteral("The request was cancelled."), QStringLiteral("cancelled"));
    if (m_stream)
        m_stream->abort();
    if (m_bridge)
        m_bridge->kill();
    sendPhase(request.requestID, AgentPhase::cancelled);
}

void AgentRuntime::answerSessions(const AgentRuntimeRequest &request)
{
    if (!request.sessionPath || request.sessionPath->isEmpty()) {
        sendError(request.requestID, QStringLiteral("The request names no session database."),
                  QStringLiteral("invalidRequest"));
        return;
    }
    if (request.command != AgentProtocolCommand::list && !request.conversationID) {
        sendError(request.requestID, QStringLiteral("The request names no conversation."),
                  QStringLiteral("invalidRequest"));
        return;
    }
    SessionStore store;
    if (auto opened = store.open(*request.sessionPath); !opened) {
        sendError(request.requestID, QStringLiteral("The Command session database could not be opened."),
                  QStringLiteral("sessionUnavailable"));
        return;
    }
    if (!store.movedAsidePath().isEmpty())
        sendWarning(request.requestID, kMovedAside, QStringLiteral("sessionReset"));
    if (request.command == AgentProtocolCommand::delete_) {
        if (auto removed = store.remove(*request.conversationID); !removed) {
            sendError(request.requestID, QStringLiteral("The conversation could not be deleted."),
                      QStringLiteral("sessionUnavailable"));
            return;
        }
    }
    AgentRuntimeEvent e;
    e.requestID = request.requestID;
    e.kind = AgentProtocolEventKind::conversations;
    if (request.command == AgentProtocolCommand::load) {
        auto found = store.conversation(*request.conversationID);
        if (!found || !found.value()) {
            sendError(request.requestID, QStringLiteral("That conversation was not found."), QStringLiteral("notFound"));
            return;
        }
        e.conversations = QList<AgentConversation>{*found.value()};
    } else {
        auto all = store.conversations();
        if (!all) {
            sendError(request.requestID, QStringLiteral("The Command session database could not be read."),
                      QStringLiteral("sessionUnavailable"));
            return;
        }
        e.conversations = all.value();
    }
    send(e);
}

QCoro::Task<> AgentRuntime::execute(AgentRuntimeRequest request, std::shared_ptr<RunToken> token)
{
    const QUuid id = request.requestID;
    const auto finish = [this, token] {
        if (m_active == token)
            m_active.reset();
    };
    const QString instruction = request.instruction.value_or(QString());
    if (instruction.trimmed().isEmpty()) {
        sendError(id, QStringLiteral("No instruction was detected."), QStringLiteral("noInstruction"));
        finish();
        co_return;
    }
    if (!request.model) {
        sendError(id, QStringLiteral("Choose a writing model first."), QStringLiteral("noModel"));
        finish();
        co_return;
    }

    PromptInput input;
    input.trustedInstructions = request.trustedInstructions.value_or(QString());
    input.personalContext = request.personalContext.value_or(QString());
    input.instruction = instruction;
    input.attachments = request.attachments;
    const QString sessionPath = request.sessionPath.value_or(QString());
    if (!sessionPath.isEmpty()) {
        SessionStore store;
        if (auto opened = store.open(sessionPath); !opened) {
            sendWarning(id, QStringLiteral("The Command session database could not be opened, so this turn is not remembered."),
                        QStringLiteral("sessionUnavailable"));
        } else {
            if (!store.movedAsidePath().isEmpty())
                sendWarning(id, kMovedAside, QStringLiteral("sessionReset"));
            if (request.command == AgentProtocolCommand::continue_ && request.conversationID) {
                auto turns = store.turns(*request.conversationID);
                if (turns)
                    input.history = turns.value();
                if (!turns || input.history.isEmpty())
                    sendWarning(id, QStringLiteral("The earlier turns of this conversation are not available, so this "
                                                   "request is answered on its own."),
                                QStringLiteral("historyUnavailable"));
            }
        }
    }

    const QDateTime startedAt = QDateTime::currentDateTimeUtc();
    Result<QString, RunFailure> outcome = RunFailure{};
    switch (request.model->provider) {
    case AgentModelProvider::llamaCPP:
        outcome = co_await generateLocal(request, std::move(input), token);
        break;
    case AgentModelProvider::openAI:
        outcome = co_await generateOpenAI(request, std::move(input), token);
        break;
    case AgentModelProvider::openAICompatible:
        outcome = co_await generateOnServer(request, std::move(input), token);
        break;
    case AgentModelProvider::appleSystem:
        outcome = co_await generateWithBridge(request, std::move(input), token);
        break;
    }
    if (token->cancelled) {
        finish();
        co_return;
    }
    if (!outcome) {
        if (!outcome.error().cancelled)
            sendError(id, outcome.error().message, outcome.error().code);
        finish();
        co_return;
    }
    const QString result = outcome.value();
    if (result.isEmpty()) {
        sendError(id, QStringLiteral("The model returned no text."), QStringLiteral("emptyResult"));
        finish();
        co_return;
    }
    if (!sessionPath.isEmpty() && request.conversationID) {
        SessionStore store;
        SessionTurn turn;
        turn.instruction = instruction;
        turn.attachments = request.attachments;
        turn.result = result;
        turn.createdAt = startedAt;
        turn.completedAt = QDateTime::currentDateTimeUtc();
        auto opened = store.open(sessionPath);
        if (!opened || !store.appendTurn(*request.conversationID, turn))
            sendWarning(id, QStringLiteral("This turn could not be saved, so a follow-up will not know it."),
                        QStringLiteral("sessionWriteFailed"));
    }
    AgentRuntimeEvent completed;
    completed.requestID = id;
    completed.kind = AgentProtocolEventKind::completed;
    completed.phase = AgentPhase::completed;
    completed.text = result;
    send(completed);
    finish();
}
