#include "AgentRuntimeProtocol.h"

#include "platform/Json.h"
#include "platform/RawValues.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcessEnvironment>

#include <array>
#include <utility>

namespace {

constexpr RawValueTable<AgentProtocolCommand, 7> kCommands{{
    {AgentProtocolCommand::run, "run"},
    {AgentProtocolCommand::continue_, "continue"},
    {AgentProtocolCommand::cancel, "cancel"},
    {AgentProtocolCommand::list, "list"},
    {AgentProtocolCommand::load, "load"},
    {AgentProtocolCommand::delete_, "delete"},
    {AgentProtocolCommand::shutdown, "shutdown"},
}};

constexpr RawValueTable<AgentProtocolEventKind, 6> kKinds{{
    {AgentProtocolEventKind::phase, "phase"},
    {AgentProtocolEventKind::delta, "delta"},
    {AgentProtocolEventKind::completed, "completed"},
    {AgentProtocolEventKind::warning, "warning"},
    {AgentProtocolEventKind::error, "error"},
    {AgentProtocolEventKind::conversations, "conversations"},
}};

bool optionalUuid(const QJsonObject &o, const char *key, std::optional<QUuid> &out)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (Json::isAbsent(v))
        return true;
    out = Json::parseUuid(v);
    return out.has_value();
}

std::optional<QJsonObject> singleObject(const QByteArray &line)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
}

} // namespace

QString agentProtocolCommandRawValue(AgentProtocolCommand command) { return rawValueIn(kCommands, command); }
std::optional<AgentProtocolCommand> agentProtocolCommandFromRawValue(const QString &raw) { return valueIn(kCommands, raw); }
QString agentProtocolEventKindRawValue(AgentProtocolEventKind kind) { return rawValueIn(kKinds, kind); }
std::optional<AgentProtocolEventKind> agentProtocolEventKindFromRawValue(const QString &raw) { return valueIn(kKinds, raw); }

AgentRuntimeRequest AgentRuntimeRequest::shutdown(const QString &sessionPath)
{
    AgentRuntimeRequest r;
    r.command = AgentProtocolCommand::shutdown;
    r.sessionPath = sessionPath;
    return r;
}

QJsonObject AgentRuntimeRequest::toJson() const
{
    QJsonObject o;
    o.insert(QStringLiteral("version"), version);
    o.insert(QStringLiteral("requestID"), Json::uuidString(requestID));
    o.insert(QStringLiteral("command"), agentProtocolCommandRawValue(command));
    if (conversationID)
        o.insert(QStringLiteral("conversationID"), Json::uuidString(*conversationID));
    if (model)
        o.insert(QStringLiteral("model"), model->toJson());
    Json::insertOptional(o, QStringLiteral("instruction"), instruction);
    Json::insertOptional(o, QStringLiteral("trustedInstructions"), trustedInstructions);
    o.insert(QStringLiteral("attachments"), agentAttachmentsToJson(attachments));
    Json::insertOptional(o, QStringLiteral("modelPath"), modelPath);
    Json::insertOptional(o, QStringLiteral("projectorPath"), projectorPath);
    Json::insertOptional(o, QStringLiteral("llamaServerPath"), llamaServerPath);
    Json::insertOptional(o, QStringLiteral("appleBridgePath"), appleBridgePath);
    Json::insertOptional(o, QStringLiteral("sessionPath"), sessionPath);
    Json::insertOptional(o, QStringLiteral("openAIAPIKey"), openAIAPIKey);
    Json::insertOptional(o, QStringLiteral("serverAPIKey"), serverAPIKey);
    Json::insertOptional(o, QStringLiteral("personalContext"), personalContext);
    return o;
}

std::optional<AgentRuntimeRequest> AgentRuntimeRequest::fromJson(const QJsonObject &o)
{
    AgentRuntimeRequest r;
    const auto version = Json::integer(o, QStringLiteral("version"));
    const auto id = Json::parseUuid(o.value(QStringLiteral("requestID")));
    const auto commandText = Json::string(o, QStringLiteral("command"));
    const auto command = commandText ? agentProtocolCommandFromRawValue(*commandText) : std::nullopt;
    auto attachments = agentAttachmentsFromJson(o.value(QStringLiteral("attachments")));
    if (!version || !id || !command || !attachments || !optionalUuid(o, "conversationID", r.conversationID))
        return std::nullopt;
    const QJsonValue model = o.value(QStringLiteral("model"));
    if (!Json::isAbsent(model)) {
        r.model = AgentModelDescriptor::fromJson(model);
        if (!r.model)
            return std::nullopt;
    }
    const std::pair<const char *, std::optional<QString> *> strings[] = {
        {"instruction", &r.instruction},         {"trustedInstructions", &r.trustedInstructions},
        {"modelPath", &r.modelPath},             {"projectorPath", &r.projectorPath},
        {"llamaServerPath", &r.llamaServerPath}, {"appleBridgePath", &r.appleBridgePath},
        {"sessionPath", &r.sessionPath},         {"openAIAPIKey", &r.openAIAPIKey},
        {"serverAPIKey", &r.serverAPIKey},       {"personalContext", &r.personalContext},
    };
    for (const auto &[key, target] : strings)
        if (!Json::optionalString(o, QLatin1String(key), *target))
            return std::nullopt;
    r.version = int(*version);
    r.requestID = *id;
    r.command = *command;
    r.attachments = std::move(*attachments);
    return r;
}

QJsonObject AgentRuntimeEvent::toJson() const
{
    QJsonObject o;
    o.insert(QStringLiteral("version"), version);
    if (requestID)
        o.insert(QStringLiteral("requestID"), Json::uuidString(*requestID));
    o.insert(QStringLiteral("kind"), agentProtocolEventKindRawValue(kind));
    if (phase)
        o.insert(QStringLiteral("phase"), agentPhaseRawValue(*phase));
    Json::insertOptional(o, QStringLiteral("text"), text);
    Json::insertOptional(o, QStringLiteral("code"), code);
    if (conversations)
        o.insert(QStringLiteral("conversations"), agentConversationsToJson(*conversations));
    return o;
}

std::optional<AgentRuntimeEvent> AgentRuntimeEvent::fromJson(const QJsonObject &o)
{
    AgentRuntimeEvent e;
    const auto version = Json::integer(o, QStringLiteral("version"));
    const auto kindText = Json::string(o, QStringLiteral("kind"));
    const auto kind = kindText ? agentProtocolEventKindFromRawValue(*kindText) : std::nullopt;
    if (!version || !kind || !optionalUuid(o, "requestID", e.requestID) ||
        !Json::optionalString(o, QStringLiteral("text"), e.text) || !Json::optionalString(o, QStringLiteral("code"), e.code))
        return std::nullopt;
    const QJsonValue phase = o.value(QStringLiteral("phase"));
    if (!Json::isAbsent(phase)) {
        e.phase = phase.isString() ? agentPhaseFromRawValue(phase.toString()) : std::nullopt;
        if (!e.phase)
            return std::nullopt;
    }
    const QJsonValue conversations = o.value(QStringLiteral("conversations"));
    if (!Json::isAbsent(conversations)) {
        e.conversations = agentConversationsFromJson(conversations);
        if (!e.conversations)
            return std::nullopt;
    }
    e.version = int(*version);
    e.kind = *kind;
    return e;
}

namespace AgentProtocol {

QByteArray encodedLine(const QJsonObject &object) { return Json::compact(object) + '\n'; }

std::optional<AgentRuntimeEvent> decodeEvent(const QByteArray &line)
{
    const auto object = singleObject(line);
    return object ? AgentRuntimeEvent::fromJson(*object) : std::nullopt;
}

std::optional<AgentRuntimeRequest> decodeRequest(const QByteArray &line)
{
    const auto object = singleObject(line);
    return object ? AgentRuntimeRequest::fromJson(*object) : std::nullopt;
}

} // namespace AgentProtocol

void AgentProtocol::removeCloudCredentials(QProcessEnvironment &environment)
{
    // A request carries its own key; nothing inherited may reach a service behind the user's back.
    for (const char *name : {"OPENAI_API_KEY", "OPENAI_BASE_URL", "OPENAI_ORG_ID", "OPENAI_ORGANIZATION",
                             "OPENAI_PROJECT", "OPENAI_PROJECT_ID"})
        environment.remove(QLatin1String(name));
}
