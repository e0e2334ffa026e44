#include "FailureWording.h"

#include "command/AgentRuntimeError.h"

namespace FailureWording {

namespace {

QString withServiceMessage(const QString &text, const StreamFailure &failure, const QString &apiKey,
                           const QString &speaker = QStringLiteral("OpenAI"))
{
    QString message = failure.serviceMessage.trimmed();
    if (message.isEmpty())
        return text;
    if (!apiKey.isEmpty())
        message.replace(apiKey, QStringLiteral("[key]"));
    return text + QLatin1Char(' ') + speaker + QStringLiteral(" said: \"") + message + QLatin1Char('"');
}

bool isNetworkUnreachable(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyTimeoutError:
        return true;
    default:
        return false;
    }
}

RunFailure invalidResponse()
{
    return {AgentRuntimeError(AgentRuntimeError::Kind::invalidRuntimeResponse).description(),
            QStringLiteral("invalidRuntimeResponse")};
}

} // namespace

bool isContextOverflow(const StreamFailure &failure)
{
    if (failure.serviceType == QStringLiteral("exceed_context_size_error") ||
        failure.serviceCode == QStringLiteral("context_length_exceeded"))
        return true;
    const QString m = failure.serviceMessage.toLower();
    return m.contains(QStringLiteral("context size")) || m.contains(QStringLiteral("context length")) ||
           m.contains(QStringLiteral("context window")) || m.contains(QStringLiteral("exceeds the available context"));
}

RunFailure openAI(const StreamFailure &failure, const QString &modelName, const QString &apiKey)
{
    const auto make = [&](const QString &text, const char *code) {
        return RunFailure{withServiceMessage(text, failure, apiKey), QLatin1String(code)};
    };
    switch (failure.kind) {
    case StreamFailure::Kind::network:
        if (isNetworkUnreachable(failure.networkError))
            return make(QStringLiteral("Could not reach OpenAI. Check your internet connection."), "offline");
        if (failure.networkError == QNetworkReply::SslHandshakeFailedError)
            return make(QStringLiteral("Could not establish a secure connection to OpenAI."), "offline");
        return make(QStringLiteral("The connection to OpenAI failed."), "offline");
    case StreamFailure::Kind::interrupted:
        return make(QStringLiteral("The connection to OpenAI was interrupted before the answer was complete."),
                    "connectionLost");
    case StreamFailure::Kind::invalidResponse:
        return invalidResponse();
    case StreamFailure::Kind::serviceError:
    case StreamFailure::Kind::http:
        break;
    }
    if (isContextOverflow(failure))
        return make(QStringLiteral("The selected context is too large for this OpenAI model."), "contextTooLarge");
    const int status = failure.status;
    if (status == 401)
        return make(QStringLiteral("OpenAI rejected the API key. Check the key in Settings."), "invalidAPIKey");
    if (status == 403)
        return make(QStringLiteral("OpenAI refused access to %1 for this account.").arg(modelName), "forbidden");
    if (status == 404)
        return make(QStringLiteral("OpenAI does not offer %1 to this account.").arg(modelName), "modelNotFound");
    if (status == 429) {
        if (failure.serviceCode == QStringLiteral("insufficient_quota") ||
            failure.serviceType == QStringLiteral("insufficient_quota"))
            return make(QStringLiteral("Your OpenAI account has no credit left. Check your plan and billing."),
                        "insufficientQuota");
        return make(QStringLiteral("OpenAI's rate limit was reached. Try again in a moment."), "rateLimited");
    }
    if (status >= 500 || status == 0)
        return make(QStringLiteral("OpenAI is unavailable right now. Try again later."), "serviceUnavailable");
    return make(QStringLiteral("OpenAI could not process the request (HTTP %1).").arg(status), "requestFailed");
}

RunFailure userServer(const StreamFailure &failure, const QString &serverName, const QString &modelName,
                      const QString &apiKey)
{
    const auto make = [&](const QString &text, const char *code) {
        return RunFailure{withServiceMessage(text, failure, apiKey, serverName), QLatin1String(code)};
    };
    switch (failure.kind) {
    case StreamFailure::Kind::network:
        if (failure.networkError == QNetworkReply::ConnectionRefusedError)
            return make(QStringLiteral("Nothing answers at %1. Check that the server is running.").arg(serverName),
                        "offline");
        if (isNetworkUnreachable(failure.networkError))
            return make(QStringLiteral("Could not reach %1. Check the network and the server's address.").arg(serverName),
                        "offline");
        if (failure.networkError == QNetworkReply::SslHandshakeFailedError)
            return make(QStringLiteral("Could not establish a secure connection to %1.").arg(serverName), "offline");
        return make(QStringLiteral("The connection to %1 failed.").arg(serverName), "offline");
    case StreamFailure::Kind::interrupted:
        return make(QStringLiteral("The connection to %1 was interrupted before the answer was complete.").arg(serverName),
                    "connectionLost");
    case StreamFailure::Kind::invalidResponse:
        return invalidResponse();
    case StreamFailure::Kind::serviceError:
    case StreamFailure::Kind::http:
        break;
    }
    if (isContextOverflow(failure))
        return make(QStringLiteral("The selected context is too large for %1.").arg(modelName), "contextTooLarge");
    const int status = failure.status;
    if (status == 401 || status == 403)
        return make(apiKey.isEmpty() ? QStringLiteral("%1 asks for an API key. Add the server again with its key in Models.")
                                           .arg(serverName)
                                     : QStringLiteral("%1 refused the API key. Check the key in Models.").arg(serverName),
                    "invalidAPIKey");
    if (status == 404)
        return make(QStringLiteral("%1 does not offer %2 any more.").arg(serverName, modelName), "modelNotFound");
    if (status == 429)
        return make(QStringLiteral("%1 is busy. Try again in a moment.").arg(serverName), "rateLimited");
    if (status >= 500 || status == 0)
        return make(QStringLiteral("%1 could not answer right now. Try again later.").arg(serverName), "serviceUnavailable");
    return make(QStringLiteral("%1 could not process the request (HTTP %2).").arg(serverName).arg(status), "requestFailed");
}

RunFailure localServer(const StreamFailure &failure, const QString &diagnostic)
{
    if (isContextOverflow(failure))
        return {AgentRuntimeError(AgentRuntimeError::Kind::contextTooLarge).description(),
                QStringLiteral("contextTooLarge")};
    const QString suffix = diagnostic.isEmpty() ? QString() : QLatin1Char(' ') + diagnostic;
    switch (failure.kind) {
    case StreamFailure::Kind::network:
    case StreamFailure::Kind::interrupted:
        return {QStringLiteral("The local model stopped unexpectedly.") + suffix, QStringLiteral("generationFailed")};
    case StreamFailure::Kind::invalidResponse:
        return invalidResponse();
    case StreamFailure::Kind::serviceError:
    case StreamFailure::Kind::http:
        break;
    }
    const QString detail = failure.serviceMessage.trimmed();
    return {QStringLiteral("The local model could not answer") +
                (detail.isEmpty() ? QStringLiteral(" (HTTP %1).").arg(failure.status) : QStringLiteral(": ") + detail +
                                                                                            (detail.endsWith(QLatin1Char('.')) ? QString() : QStringLiteral("."))),
            QStringLiteral("generationFailed")};
}

} // namespace FailureWording
