#include "AgentConversation.h"

#include "platform/Json.h"
#include "platform/RawValues.h"

#include <QTextBoundaryFinder>

constexpr RawValueTable<AgentMessageRole, 2> kMessageRoles{{
    {AgentMessageRole::user, "user"},
    {AgentMessageRole::assistant, "assistant"},
}};

QString agentMessageRoleRawValue(AgentMessageRole role) { return rawValueIn(kMessageRoles, role); }

std::optional<AgentMessageRole> agentMessageRoleFromRawValue(const QString &raw) { return valueIn(kMessageRoles, raw); }

constexpr RawValueTable<AgentAttachmentKind, 2> kAttachmentKinds{{
    {AgentAttachmentKind::selectedText, "selectedText"},
    {AgentAttachmentKind::screenshot, "screenshot"},
}};

QString agentAttachmentKindRawValue(AgentAttachmentKind kind) { return rawValueIn(kAttachmentKinds, kind); }

std::optional<AgentAttachmentKind> agentAttachmentKindFromRawValue(const QString &raw) { return valueIn(kAttachmentKinds, raw); }

namespace {

template <typename T, typename F>
std::optional<QList<T>> listFromJson(const QJsonValue &value, F decode)
{
    if (!value.isArray())
        return std::nullopt;
    QList<T> out;
    for (const QJsonValue &element : value.toArray()) {
        auto item = decode(element);
        if (!item)
            return std::nullopt;
        out.append(std::move(*item));
    }
    return out;
}

} // namespace

QJsonObject AgentContextAttachment::toJson() const
{
    QJsonObject o;
    o.insert(QStringLiteral("id"), Json::uuidString(id));
    o.insert(QStringLiteral("kind"), agentAttachmentKindRawValue(kind));
    o.insert(QStringLiteral("displayName"), displayName);
    Json::insertOptional(o, QStringLiteral("text"), text);
    Json::insertOptional(o, QStringLiteral("filePath"), filePath);
    o.insert(QStringLiteral("createdAt"), Json::dateString(createdAt));
    return o;
}

std::optional<AgentContextAttachment> AgentContextAttachment::fromJson(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    AgentContextAttachment a;
    const auto id = Json::parseUuid(o.value(QStringLiteral("id")));
    const auto kindText = Json::string(o, QStringLiteral("kind"));
    const auto kind = kindText ? agentAttachmentKindFromRawValue(*kindText) : std::nullopt;
    const auto name = Json::string(o, QStringLiteral("displayName"));
    const auto created = Json::parseDate(o.value(QStringLiteral("createdAt")));
    if (!id || !kind || !name || !created || !Json::optionalString(o, QStringLiteral("text"), a.text) ||
        !Json::optionalString(o, QStringLiteral("filePath"), a.filePath))
        return std::nullopt;
    a.id = *id;
    a.kind = *kind;
    a.displayName = *name;
    a.createdAt = *created;
    return a;
}

AgentMessage AgentMessage::user(const QString &text, const QList<AgentContextAttachment> &attachments,
                                const QDateTime &now)
{
    return {QUuid::createUuid(), AgentMessageRole::user, text, now, attachments};
}

AgentMessage AgentMessage::assistant(const QString &text, const QDateTime &now)
{
    return {QUuid::createUuid(), AgentMessageRole::assistant, text, now, {}};
}

QJsonObject AgentMessage::toJson() const
{
    QJsonObject o;
    o.insert(QStringLiteral("id"), Json::uuidString(id));
    o.insert(QStringLiteral("role"), agentMessageRoleRawValue(role));
    o.insert(QStringLiteral("text"), text);
    o.insert(QStringLiteral("createdAt"), Json::dateString(createdAt));
    o.insert(QStringLiteral("attachments"), agentAttachmentsToJson(attachments));
    return o;
}

std::optional<AgentMessage> AgentMessage::fromJson(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    const auto id = Json::parseUuid(o.value(QStringLiteral("id")));
    const auto roleText = Json::string(o, QStringLiteral("role"));
    const auto role = roleText ? agentMessageRoleFromRawValue(*roleText) : std::nullopt;
    const auto text = Json::string(o, QStringLiteral("text"));
    const auto created = Json::parseDate(o.value(QStringLiteral("createdAt")));
    auto attachments = agentAttachmentsFromJson(o.value(QStringLiteral("attachments")));
    if (!id || !role || !text || !created || !attachments)
        return std::nullopt;
    return AgentMessage{*id, *role, *text, *created, std::move(*attachments)};
}

QString AgentConversation::derivedTitle(const QString &instruction)
{
    const QString trimmed = instruction.trimmed();
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, trimmed);
    int clusters = 0;
    qsizetype end = trimmed.size();
    while (finder.toNextBoundary() != -1) {
        if (++clusters == titleLength) {
            end = finder.position();
            break;
        }
    }
    const QString title = trimmed.left(end);
    return title.isEmpty() ? QStringLiteral("New conversation") : title;
}

AgentConversation AgentConversation::create(const QString &instruction, const QString &targetApplicationName,
                                            const QList<AgentContextAttachment> &attachments, const QDateTime &now)
{
    AgentConversation c;
    c.id = QUuid::createUuid();
    c.title = derivedTitle(instruction);
    c.createdAt = now;
    c.updatedAt = now;
    c.targetApplicationName = targetApplicationName;
    c.messages = {AgentMessage::user(instruction, attachments, now)};
    return c;
}

QJsonObject AgentConversation::toJson() const
{
    QJsonObject o;
    o.insert(QStringLiteral("id"), Json::uuidString(id));
    o.insert(QStringLiteral("title"), title);
    o.insert(QStringLiteral("createdAt"), Json::dateString(createdAt));
    o.insert(QStringLiteral("updatedAt"), Json::dateString(updatedAt));
    o.insert(QStringLiteral("targetApplicationName"), targetApplicationName);
    QJsonArray list;
    for (const AgentMessage &m : messages)
        list.append(m.toJson());
    o.insert(QStringLiteral("messages"), list);
    Json::insertOptional(o, QStringLiteral("lastPastedText"), lastPastedText);
    return o;
}

std::optional<AgentConversation> AgentConversation::fromJson(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    AgentConversation c;
    const auto id = Json::parseUuid(o.value(QStringLiteral("id")));
    const auto title = Json::string(o, QStringLiteral("title"));
    const auto created = Json::parseDate(o.value(QStringLiteral("createdAt")));
    const auto updated = Json::parseDate(o.value(QStringLiteral("updatedAt")));
    const auto target = Json::string(o, QStringLiteral("targetApplicationName"));
    auto messages = listFromJson<AgentMessage>(o.value(QStringLiteral("messages")), AgentMessage::fromJson);
    if (!id || !title || !created || !updated || !target || !messages ||
        !Json::optionalString(o, QStringLiteral("lastPastedText"), c.lastPastedText))
        return std::nullopt;
    c.id = *id;
    c.title = *title;
    c.createdAt = *created;
    c.updatedAt = *updated;
    c.targetApplicationName = *target;
    c.messages = std::move(*messages);
    return c;
}

QJsonArray agentAttachmentsToJson(const QList<AgentContextAttachment> &attachments)
{
    QJsonArray list;
    for (const AgentContextAttachment &a : attachments)
        list.append(a.toJson());
    return list;
}

std::optional<QList<AgentContextAttachment>> agentAttachmentsFromJson(const QJsonValue &value)
{
    return listFromJson<AgentContextAttachment>(value, AgentContextAttachment::fromJson);
}

QJsonArray agentConversationsToJson(const QList<AgentConversation> &conversations)
{
    QJsonArray list;
    for (const AgentConversation &c : conversations)
        list.append(c.toJson());
    return list;
}

std::optional<QList<AgentConversation>> agentConversationsFromJson(const QJsonValue &value)
{
    return listFromJson<AgentConversation>(value, AgentConversation::fromJson);
}
