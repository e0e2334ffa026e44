#include "RequestDecoding.h"

#include "platform/Json.h"

#include <QJsonDocument>
#include <QJsonObject>

std::variant<AgentRuntimeRequest, RequestRejection> decodeRequestLine(const QByteArray &line)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(line, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject())
        return RequestRejection{std::nullopt, QStringLiteral("Command received a request it could not read."),
                                QStringLiteral("invalidRequest")};
    const QJsonObject object = doc.object();
    const auto id = Json::parseUuid(object.value(QStringLiteral("requestID")));
    if (!id)
        return RequestRejection{std::nullopt, QStringLiteral("Command received a request without an identifier."),
                                QStringLiteral("invalidRequest")};
    if (Json::integer(object, QStringLiteral("version")) != AgentRuntimeRequest::protocolVersion)
        return RequestRejection{id, QStringLiteral("This Command runtime speaks protocol version 1 only."),
                                QStringLiteral("unsupportedVersion")};
    const auto command = Json::string(object, QStringLiteral("command"));
    if (!command || !agentProtocolCommandFromRawValue(*command))
        return RequestRejection{id, QStringLiteral("Command does not know this request."),
                                QStringLiteral("unknownCommand")};
    auto request = AgentRuntimeRequest::fromJson(object);
    if (!request)
        return RequestRejection{id, QStringLiteral("Command received a request it could not read."),
                                QStringLiteral("invalidRequest")};
    return std::move(*request);
}
