#pragma once

#include "command/AgentConversation.h"
#include "platform/Result.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>

struct sqlite3;

// One finished exchange of a conversation: what the user asked, with what, and the result.
struct SessionTurn {
    QUuid userMessageID = QUuid::createUuid();
    QUuid assistantMessageID = QUuid::createUuid();
    QString instruction;
    QList<AgentContextAttachment> attachments;
    QString result;
    QDateTime createdAt;
    QDateTime completedAt;
};

// The runtime's own conversation memory in one SQLite file. A missing file starts fresh; a file
// that is not a database of ours is moved aside so the user keeps it and Command keeps working.
// Opened per request, so a file the application deleted is never written through a stale handle.
class SessionStore {
public:
    SessionStore() = default;
    ~SessionStore();
    SessionStore(const SessionStore &) = delete;
    SessionStore &operator=(const SessionStore &) = delete;

    Result<void, QString> open(const QString &path);
    bool isOpen() const { return m_db != nullptr; }
    // Where an unreadable file was moved, when opening had to do that.
    const QString &movedAsidePath() const { return m_movedAside; }

    Result<QList<SessionTurn>, QString> turns(const QUuid &conversationID);
    Result<void, QString> appendTurn(const QUuid &conversationID, const SessionTurn &turn);
    Result<QList<AgentConversation>, QString> conversations();
    Result<std::optional<AgentConversation>, QString> conversation(const QUuid &conversationID);
    Result<bool, QString> remove(const QUuid &conversationID);

private:
    enum class OpenOutcome { ok, unusable, failed };
    OpenOutcome tryOpen(const QString &path, QString &error);
    void close();
    QString lastError() const;
    AgentConversation toConversation(const QUuid &id, const QString &title, const QDateTime &created,
                                     const QDateTime &updated, const QList<SessionTurn> &turns) const;

    sqlite3 *m_db = nullptr;
    QString m_movedAside;
};
