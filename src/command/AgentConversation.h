#pragma once

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

enum class AgentMessageRole { user, assistant };
enum class AgentAttachmentKind { selectedText, screenshot };

QString agentMessageRoleRawValue(AgentMessageRole role);
std::optional<AgentMessageRole> agentMessageRoleFromRawValue(const QString &raw);
QString agentAttachmentKindRawValue(AgentAttachmentKind kind);
std::optional<AgentAttachmentKind> agentAttachmentKindFromRawValue(const QString &raw);

// One piece of captured context: the selection as read, or a window screenshot on disk.
struct AgentContextAttachment {
    QUuid id;
    AgentAttachmentKind kind = AgentAttachmentKind::selectedText;
    QString displayName;
    std::optional<QString> text;
    std::optional<QString> filePath;
    QDateTime createdAt;

    QJsonObject toJson() const;
    static std::optional<AgentContextAttachment> fromJson(const QJsonValue &value);
    bool operator==(const AgentContextAttachment &) const = default;
};

struct AgentMessage {
    QUuid id;
    AgentMessageRole role = AgentMessageRole::user;
    QString text;
    QDateTime createdAt;
    QList<AgentContextAttachment> attachments;

    static AgentMessage user(const QString &text, const QList<AgentContextAttachment> &attachments,
                             const QDateTime &now = QDateTime::currentDateTimeUtc());
    static AgentMessage assistant(const QString &text, const QDateTime &now = QDateTime::currentDateTimeUtc());

    QJsonObject toJson() const;
    static std::optional<AgentMessage> fromJson(const QJsonValue &value);
    bool operator==(const AgentMessage &) const = default;
};

struct AgentConversation {
    QUuid id;
    QString title;
    QDateTime createdAt;
    QDateTime updatedAt;
    QString targetApplicationName;
    QList<AgentMessage> messages;
    std::optional<QString> lastPastedText;

    static constexpr int titleLength = 72;
    // Trimmed, at most the first 72 user-perceived characters, "New conversation" when empty.
    static QString derivedTitle(const QString &instruction);
    // A conversation whose first turn carries the instruction and the attachments.
    static AgentConversation create(const QString &instruction, const QString &targetApplicationName,
                                    const QList<AgentContextAttachment> &attachments,
                                    const QDateTime &now = QDateTime::currentDateTimeUtc());

    QJsonObject toJson() const;
    static std::optional<AgentConversation> fromJson(const QJsonValue &value);
    bool operator==(const AgentConversation &) const = default;
};

// Arrays of the types above; nullopt when any element fails.
QJsonArray agentAttachmentsToJson(const QList<AgentContextAttachment> &attachments);
std::optional<QList<AgentContextAttachment>> agentAttachmentsFromJson(const QJsonValue &value);
QJsonArray agentConversationsToJson(const QList<AgentConversation> &conversations);
std::optional<QList<AgentConversation>> agentConversationsFromJson(const QJsonValue &value);
