#pragma once

#include "ChatCompletionStream.h"
#include "PromptAssembler.h"
#include "RequestDecoding.h"
#include "RunFailure.h"
#include "platform/Result.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QProcess>

#include <qcoro/qcorotask.h>

#include <functional>
#include <memory>

class ChatCompletionStream;
class LineChannel;
class LlamaServer;

// Serves protocol v1: one run at a time, every event tagged with its request, children ended
// on shutdown or end of input.
class AgentRuntime : public QObject {
    Q_OBJECT
public:
    // `emitLine` receives every event line without its line feed.
    explicit AgentRuntime(std::function<void(const QByteArray &)> emitLine, QObject *parent = nullptr);
    ~AgentRuntime() override;

    void handleLine(const QByteArray &line);
    // A request line over the protocol's limit was dropped unread.
    void rejectLongLine();
    // Ends every child; the caller exits right after.
    void stopChildren();

signals:
    void shutdownRequested();

private:
    struct RunToken {
        QUuid requestID;
        bool cancelled = false;
    };

    QCoro::Task<> execute(AgentRuntimeRequest request, std::shared_ptr<RunToken> token);
    QCoro::Task<Result<QString, RunFailure>> generateLocal(const AgentRuntimeRequest &request, PromptInput input,
                                                           std::shared_ptr<RunToken> token);
    QCoro::Task<Result<QString, RunFailure>> generateOpenAI(const AgentRuntimeRequest &request, PromptInput input,
                                                            std::shared_ptr<RunToken> token);
    QCoro::Task<Result<QString, RunFailure>> generateOnServer(const AgentRuntimeRequest &request, PromptInput input,
                                                              std::shared_ptr<RunToken> token);
    QCoro::Task<Result<QString, RunFailure>> generateWithBridge(const AgentRuntimeRequest &request,
                                                                PromptInput input, std::shared_ptr<RunToken> token);
    // Streams one chat completion into delta events; `generating` goes out once the server accepts.
    QCoro::Task<Result<QString, StreamFailure>> stream(const QUrl &endpoint, const QJsonObject &body,
                                                              const QString &bearer, std::shared_ptr<RunToken> token);

    void cancel(const AgentRuntimeRequest &request);
    void answerSessions(const AgentRuntimeRequest &request);

    void send(const AgentRuntimeEvent &event);
    void sendPhase(const QUuid &id, AgentPhase phase, const QString &text = {});
    void sendDelta(const QUuid &id, const QString &text);
    void sendWarning(const QUuid &id, const QString &text, const QString &code);
    void sendError(const std::optional<QUuid> &id, const QString &text, const QString &code);

    std::function<void(const QByteArray &)> m_emitLine;
    QNetworkAccessManager m_network;
    LlamaServer *m_llama = nullptr;
    std::shared_ptr<RunToken> m_active;
    QPointer<ChatCompletionStream> m_stream;
    QPointer<QProcess> m_bridge;
};
