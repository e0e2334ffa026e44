// The ways a run is written: a local GGUF model through llama-server, an OpenAI model, a model of
// the user's own OpenAI-compatible server, and the on-device model through the bridge program.
#include "AgentRuntime.h"

#include "ChildProcess.h"
#include "FailureWording.h"
#include "LlamaServer.h"
#include "speech/ResourceLocator.h"

#include <QFileInfo>
#include <QJsonDocument>

#include <qcoro/qcorosignal.h>

namespace {

QUrl openAIBaseUrl()
{
    QString base = qEnvironmentVariable("ORVEL_OPENAI_BASE_URL");
    if (base.isEmpty())
        base = QStringLiteral("https://api.openai.com/v1");
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return QUrl(base);
}

} // namespace

QCoro::Task<Result<QString, StreamFailure>> AgentRuntime::stream(const QUrl &endpoint, const QJsonObject &body,
                                                               const QString &bearer, std::shared_ptr<RunToken> token)
{
    const QUuid id = token->requestID;
    auto *chat = new ChatCompletionStream(&m_network, this);
    m_stream = chat;
    chat->onStarted = [this, id, token] {
        if (!token->cancelled)
            sendPhase(id, AgentPhase::generating);
    };
    chat->onDelta = [this, id, token](const QString &piece) {
        if (!token->cancelled)
            sendDelta(id, piece);
    };
    chat->start(endpoint, body, bearer);
    co_await qCoro(chat, &ChatCompletionStream::finished);
    chat->deleteLater();
    if (chat->succeeded())
        co_return chat->text();
    co_return chat->failure().value_or(StreamFailure{});
}

QCoro::Task<Result<QString, RunFailure>> AgentRuntime::generateLocal(const AgentRuntimeRequest &request,
                                                                     PromptInput input, std::shared_ptr<RunToken> token)
{
    const AgentModelDescriptor &model = *request.model;
    const QString program = request.llamaServerPath.value_or(QString());
    const QString modelPath = request.modelPath.value_or(QString());
    QString projector = request.projectorPath.value_or(QString());
    if (!ResourceLocator::isExecutableFile(program))
        co_return RunFailure{QStringLiteral("The local model server (llama-server) is missing."),
                             QStringLiteral("serverMissing")};
    if (modelPath.isEmpty() || !QFileInfo(modelPath).isFile())
        co_return RunFailure{QStringLiteral("The model file of %1 is missing. Download it again in Models.").arg(model.name),
                             QStringLiteral("modelMissing")};
    if (!projector.isEmpty() && !QFileInfo(projector).isFile()) {
        sendWarning(token->requestID,
                    QStringLiteral("The vision projector of %1 is missing, so screenshots are left out.").arg(model.name),
                    QStringLiteral("projectorMissing"));
        projector.clear();
    }
    input.allowImages = model.capabilities.images && !projector.isEmpty();
    const ChatPrompt prompt = PromptAssembler::chat(input);
    for (const QString &warning : prompt.warnings)
        sendWarning(token->requestID, warning, QStringLiteral("attachmentOmitted"));

    // Named arguments only: GCC 12 mishandles temporaries inside co_await expressions.
    const QUuid id = token->requestID;
    const LlamaServerFiles files = LlamaServerFiles::describe(program, modelPath, projector);
    const QString modelName = model.name;
    const std::function<void()> onLoading = [this, id, modelName] {
        sendPhase(id, AgentPhase::loadingModel, QStringLiteral("Loading ") + modelName);
    };
    const std::function<bool()> isCancelled = [token] { return token->cancelled; };
    auto ready = co_await m_llama->ensureReady(files, modelName, onLoading, isCancelled);
    if (!ready)
        co_return ready.error();
    if (token->cancelled)
        co_return RunFailure::cancellation();

    const QJsonObject body{{QStringLiteral("model"), model.id},
                           {QStringLiteral("messages"), prompt.messages},
                           {QStringLiteral("stream"), true}};
    const QUrl endpoint = ready.value().resolved(QUrl(QStringLiteral("/v1/chat/completions")));
    const QString noBearer;
    auto streamed = co_await stream(endpoint, body, noBearer, token);
    if (token->cancelled)
        co_return RunFailure::cancellation();
    if (!streamed)
        co_return FailureWording::localServer(streamed.error(), m_llama->isRunning() ? QString() : m_llama->diagnosticTail());
    co_return streamed.value();
}

QCoro::Task<Result<QString, RunFailure>> AgentRuntime::generateOpenAI(const AgentRuntimeRequest &request,
                                                                      PromptInput input, std::shared_ptr<RunToken> token)
{
    const AgentModelDescriptor &model = *request.model;
    const QString key = request.openAIAPIKey.value_or(QString()).trimmed();
    if (key.isEmpty())
        co_return RunFailure{QStringLiteral("Add your OpenAI API key in Settings to use %1.").arg(model.name),
                             QStringLiteral("missingAPIKey")};
    input.allowImages = model.capabilities.images;
    const ChatPrompt prompt = PromptAssembler::chat(input);
    for (const QString &warning : prompt.warnings)
        sendWarning(token->requestID, warning, QStringLiteral("attachmentOmitted"));
    sendPhase(token->requestID, AgentPhase::loadingModel, QStringLiteral("Connecting to OpenAI"));
    const QJsonObject body{{QStringLiteral("model"), model.officialName},
                           {QStringLiteral("messages"), prompt.messages},
                           {QStringLiteral("stream"), true}};
    const QUrl base = openAIBaseUrl();
    QUrl endpoint = base;
    endpoint.setPath(base.path() + QStringLiteral("/chat/completions"));
    auto streamed = co_await stream(endpoint, body, key, token);
    if (token->cancelled)
        co_return RunFailure::cancellation();
    if (!streamed)
        co_return FailureWording::openAI(streamed.error(), model.name, key);
    co_return streamed.value();
}

QCoro::Task<Result<QString, RunFailure>> AgentRuntime::generateOnServer(const AgentRuntimeRequest &request,
                                                                        PromptInput input, std::shared_ptr<RunToken> token)
{
    const AgentModelDescriptor &model = *request.model;
    const QString serverName = model.organization.isEmpty() ? QStringLiteral("The server") : model.organization;
    const QUrl base(model.baseURL.value_or(QString()), QUrl::StrictMode);
    if (!base.isValid() || base.host().isEmpty() ||
        (base.scheme() != QLatin1String("http") && base.scheme() != QLatin1String("https")))
        co_return RunFailure{QStringLiteral("The address of %1 is not valid. Add the server again in Models.").arg(serverName),
                             QStringLiteral("invalidServer")};
    const QString key = request.serverAPIKey.value_or(QString()).trimmed();
    input.allowImages = model.capabilities.images;
    const ChatPrompt prompt = PromptAssembler::chat(input);
    for (const QString &warning : prompt.warnings)
        sendWarning(token->requestID, warning, QStringLiteral("attachmentOmitted"));
    sendPhase(token->requestID, AgentPhase::loadingModel, QStringLiteral("Connecting to ") + serverName);
    const QJsonObject body{{QStringLiteral("model"), model.officialName},
                           {QStringLiteral("messages"), prompt.messages},
                           {QStringLiteral("stream"), true}};
    QUrl endpoint = base;
    QString path = base.path();
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    endpoint.setPath(path + QStringLiteral("/chat/completions"));
    auto streamed = co_await stream(endpoint, body, key, token);
    if (token->cancelled)
        co_return RunFailure::cancellation();
    if (!streamed)
        co_return FailureWording::userServer(streamed.error(), serverName, model.name, key);
    co_return streamed.value();
}

QCoro::Task<Result<QString, RunFailure>> AgentRuntime::generateWithBridge(const AgentRuntimeRequest &request,
                                                                          PromptInput input,
                                                                          std::shared_ptr<RunToken> token)
{
    const AgentModelDescriptor &model = *request.model;
    const QString program = request.appleBridgePath.value_or(QString());
    if (!ResourceLocator::isExecutableFile(program))
        co_return RunFailure{QStringLiteral("The on-device model bridge is missing."), QStringLiteral("bridgeMissing")};
    const BridgePrompt prompt = PromptAssembler::bridge(input);
    for (const QString &warning : prompt.warnings)
        sendWarning(token->requestID, warning, QStringLiteral("attachmentOmitted"));

    auto *process = new QProcess(this);
    m_bridge = process;
    ChildProcess::prepare(*process);
    sendPhase(token->requestID, AgentPhase::loadingModel, QStringLiteral("Asking ") + model.name);
    process->start(program, {});
    if (!process->waitForStarted(5000)) {
        process->deleteLater();
        co_return RunFailure{QStringLiteral("The on-device model bridge could not be started."),
                             QStringLiteral("bridgeMissing")};
    }
    sendPhase(token->requestID, AgentPhase::generating);
    const QJsonObject bridgeRequest{{QStringLiteral("instructions"), prompt.instructions},
                                    {QStringLiteral("prompt"), prompt.prompt}};
    process->write(QJsonDocument(bridgeRequest).toJson(QJsonDocument::Compact));
    process->closeWriteChannel();
    if (process->state() != QProcess::NotRunning)
        co_await qCoro(process, &QProcess::finished);
    process->deleteLater();
    if (token->cancelled)
        co_return RunFailure::cancellation();
    const QJsonObject response = QJsonDocument::fromJson(process->readAllStandardOutput()).object();
    const QJsonValue ok = response.value(QStringLiteral("ok"));
    if (ok == QJsonValue(true) && response.value(QStringLiteral("text")).isString()) {
        const QString text = response.value(QStringLiteral("text")).toString().trimmed();
        if (!text.isEmpty())
            sendDelta(token->requestID, text);
        co_return text;
    }
    if (ok == QJsonValue(false)) {
        const QString message = response.value(QStringLiteral("error")).toString().trimmed();
        co_return RunFailure{message.isEmpty() ? QStringLiteral("The on-device model could not answer.") : message,
                             QStringLiteral("bridgeFailed")};
    }
    co_return RunFailure{QStringLiteral("The on-device model bridge returned an invalid response."),
                         QStringLiteral("bridgeFailed")};
}
