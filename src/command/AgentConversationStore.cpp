#include "AgentConversationStore.h"

#include "platform/Json.h"
#include "speech/AppPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>

#include <algorithm>

AgentConversationStore::AgentConversationStore(QObject *parent)
    : AgentConversationStore(AppPaths::agentConversations(), AppPaths::agentAttachments(), parent)
{
}

AgentConversationStore::AgentConversationStore(QString fileURL, QString attachmentsRoot, QObject *parent)
    : QObject(parent), m_fileURL(std::move(fileURL)), m_attachmentsRoot(std::move(attachmentsRoot)),
      m_file(m_fileURL, QStringLiteral("Command history"))
{
    m_file.retry = [this] { save(); };
    (void)AppPaths::prepare();
    QDir().mkpath(m_attachmentsRoot);
    load();
}

QString AgentConversationStore::pendingFolder() const { return m_attachmentsRoot + QStringLiteral("/pending"); }

QString AgentConversationStore::folder(const QUuid &conversationID) const
{
    return m_attachmentsRoot + QLatin1Char('/') + Json::uuidString(conversationID);
}

std::optional<AgentConversation> AgentConversationStore::conversation(const QUuid &id) const
{
    for (const AgentConversation &c : m_conversations) {
        if (c.id == id)
            return c;
    }
    return std::nullopt;
}

void AgentConversationStore::load()
{
    const auto bytes = m_file.load();
    if (!bytes)
        return;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(*bytes, &error);
    auto decoded = error.error == QJsonParseError::NoError && doc.isArray()
                       ? agentConversationsFromJson(doc.array())
                       : std::nullopt;
    if (!decoded) {
        m_file.rejectLoaded();
        return;
    }
    m_conversations = std::move(*decoded);
    sortNewestFirst();
    emit conversationsChanged();
}

void AgentConversationStore::sortNewestFirst()
{
    std::stable_sort(m_conversations.begin(), m_conversations.end(),
                     [](const AgentConversation &a, const AgentConversation &b) { return a.updatedAt > b.updatedAt; });
}

void AgentConversationStore::save()
{
    // A failure is shown in the window and retried; memory stays authoritative.
    (void)m_file.save(Json::filePretty(agentConversationsToJson(m_conversations)));
}

void AgentConversationStore::createConversation(const QUuid &id, const QString &instruction,
                                                const QString &targetApplicationName,
                                                const QList<AgentContextAttachment> &attachments)
{
    AgentConversation c = AgentConversation::create(instruction, targetApplicationName, attachments);
    c.id = id;
    m_conversations.prepend(std::move(c));
    emit conversationsChanged();
    save();
}

void AgentConversationStore::mutate(const QUuid &id, const std::function<void(AgentConversation &)> &change)
{
    const auto it = std::find_if(m_conversations.begin(), m_conversations.end(),
                                 [&](const AgentConversation &c) { return c.id == id; });
    if (it == m_conversations.end())
        return;
    change(*it);
    it->updatedAt = QDateTime::currentDateTimeUtc();
    sortNewestFirst();
    emit conversationsChanged();
    save();
}

void AgentConversationStore::addUserMessage(const QString &text, const QList<AgentContextAttachment> &attachments,
                                            const QUuid &to)
{
    mutate(to, [&](AgentConversation &c) { c.messages.append(AgentMessage::user(text, attachments)); });
}

void AgentConversationStore::addAssistantMessage(const QString &text, const QUuid &to)
{
    mutate(to, [&](AgentConversation &c) { c.messages.append(AgentMessage::assistant(text)); });
}

void AgentConversationStore::setLastPastedText(const std::optional<QString> &text, const QUuid &conversationID)
{
    mutate(conversationID, [&](AgentConversation &c) { c.lastPastedText = text; });
}

void AgentConversationStore::deleteConversation(const QUuid &id)
{
    if (m_conversations.removeIf([&](const AgentConversation &c) { return c.id == id; }) > 0)
        emit conversationsChanged();
    if (!id.isNull())
        QDir(folder(id)).removeRecursively();
    save();
}

void AgentConversationStore::clear()
{
    const bool hadAny = !m_conversations.isEmpty();
    m_conversations.clear();
    if (hadAny)
        emit conversationsChanged();
    // QDir("") is the working directory: never remove that.
    if (!m_attachmentsRoot.isEmpty())
        QDir(m_attachmentsRoot).removeRecursively();
    QDir().mkpath(m_attachmentsRoot);
    save();
}

QList<AgentContextAttachment> AgentConversationStore::moveAttachments(const QList<AgentContextAttachment> &attachments,
                                                                      const QUuid &conversationID) const
{
    const QString target = folder(conversationID);
    QDir().mkpath(target);
    QList<AgentContextAttachment> stored;
    stored.reserve(attachments.size());
    for (AgentContextAttachment a : attachments) {
        if (a.filePath && !a.filePath->isEmpty()) {
            const QString source = QFileInfo(*a.filePath).absoluteFilePath();
            const QString destination = target + QLatin1Char('/') + QFileInfo(source).fileName();
            if (source == destination || QFile::rename(source, destination))
                a.filePath = destination;
        }
        stored.append(std::move(a));
    }
    return stored;
}
