#include "SessionStore.h"

#include "platform/Json.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

#include <sqlite3.h>

namespace {

const char *const kSchema = R"(
PRAGMA foreign_keys = ON;
CREATE TABLE IF NOT EXISTS conversations (
  id TEXT PRIMARY KEY,
  title TEXT NOT NULL,
  created_at TEXT NOT NULL,
  updated_at TEXT NOT NULL
);
CREATE TABLE IF NOT EXISTS turns (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  conversation_id TEXT NOT NULL REFERENCES conversations(id) ON DELETE CASCADE,
  user_message_id TEXT NOT NULL,
  assistant_message_id TEXT NOT NULL,
  instruction TEXT NOT NULL,
  attachments TEXT NOT NULL,
  result TEXT NOT NULL,
  created_at TEXT NOT NULL,
  completed_at TEXT NOT NULL
);
CREATE INDEX IF NOT EXISTS turns_by_conversation ON turns(conversation_id, id);
)";

const char *const kTurnColumns =
    "SELECT user_message_id, assistant_message_id, instruction, attachments, result, created_at, completed_at "
    "FROM turns WHERE conversation_id = ?1 ORDER BY id";

// A prepared statement that finalizes itself.
class Statement {
public:
    Statement(sqlite3 *db, const char *sql) { m_rc = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;
    bool ok() const { return m_rc == SQLITE_OK; }
    void bind(int index, const QString &text)
    {
        const QByteArray utf8 = text.toUtf8();
        sqlite3_bind_text(m_stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    int step() { return sqlite3_step(m_stmt); }
    QString text(int column) const
    {
        const auto *data = reinterpret_cast<const char *>(sqlite3_column_text(m_stmt, column));
        return QString::fromUtf8(data, sqlite3_column_bytes(m_stmt, column));
    }
    QDateTime date(int column) const { return Json::parseDate(text(column)).value_or(QDateTime()); }
    QUuid uuid(int column) const { return Json::parseUuid(text(column)).value_or(QUuid()); }

private:
    sqlite3_stmt *m_stmt = nullptr;
    int m_rc = SQLITE_ERROR;
};

QString encodeAttachments(const QList<AgentContextAttachment> &attachments)
{
    return QString::fromUtf8(QJsonDocument(agentAttachmentsToJson(attachments)).toJson(QJsonDocument::Compact));
}

QList<AgentContextAttachment> decodeAttachments(const QString &text)
{
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8());
    return agentAttachmentsFromJson(doc.array()).value_or(QList<AgentContextAttachment>());
}

} // namespace

SessionStore::~SessionStore() { close(); }

void SessionStore::close()
{
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
}

QString SessionStore::lastError() const
{
    return m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QStringLiteral("no session database");
}

Result<void, QString> SessionStore::open(const QString &path)
{
    close();
    m_movedAside.clear();
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()))
        return QStringLiteral("could not create the folder of %1").arg(path);
    QString error;
    switch (tryOpen(path, error)) {
    case OpenOutcome::ok:
        return {};
    case OpenOutcome::failed:
        return error;
    case OpenOutcome::unusable:
        break;
    }
    // Not a database of ours: keep the file for the user, start a fresh one.
    const QString aside = path + QStringLiteral(".unreadable-") +
                          QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    if (!QFile::rename(path, aside))
        return QStringLiteral("could not move the unreadable session database aside");
    for (const char *suffix : {"-journal", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
    m_movedAside = aside;
    if (tryOpen(path, error) != OpenOutcome::ok)
        return error;
    return {};
}

SessionStore::OpenOutcome SessionStore::tryOpen(const QString &path, QString &error)
{
    if (sqlite3_open_v2(path.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        error = lastError();
        close();
        return OpenOutcome::failed;
    }
    sqlite3_busy_timeout(m_db, 2000);
    const int rc = sqlite3_exec(m_db, kSchema, nullptr, nullptr, nullptr);
    // SQLITE_ERROR here means tables of ours with columns that are not.
    if (rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT || rc == SQLITE_ERROR) {
        close();
        return OpenOutcome::unusable;
    }
    if (rc != SQLITE_OK) {
        error = lastError();
        close();
        return OpenOutcome::failed;
    }
    // A database with tables of the same names but other columns is not ours either.
    Statement turns(m_db, kTurnColumns);
    Statement conversations(m_db, "SELECT id, title, created_at, updated_at FROM conversations LIMIT 0");
    if (!turns.ok() || !conversations.ok()) {
        close();
        return OpenOutcome::unusable;
    }
    return OpenOutcome::ok;
}

Result<QList<SessionTurn>, QString> SessionStore::turns(const QUuid &conversationID)
{
    if (!m_db)
        return lastError();
    Statement select(m_db, kTurnColumns);
    if (!select.ok())
        return lastError();
    select.bind(1, Json::uuidString(conversationID));
    QList<SessionTurn> result;
    int rc;
    while ((rc = select.step()) == SQLITE_ROW) {
        SessionTurn turn;
        turn.userMessageID = select.uuid(0);
        turn.assistantMessageID = select.uuid(1);
        turn.instruction = select.text(2);
        turn.attachments = decodeAttachments(select.text(3));
        turn.result = select.text(4);
        turn.createdAt = select.date(5);
        turn.completedAt = select.date(6);
        result.append(std::move(turn));
    }
    if (rc != SQLITE_DONE)
        return lastError();
    return result;
}

Result<void, QString> SessionStore::appendTurn(const QUuid &conversationID, const SessionTurn &turn)
{
    if (!m_db)
        return lastError();
    const QString id = Json::uuidString(conversationID);
    if (sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return lastError();
    bool ok = false;
    {
        Statement upsert(m_db, "INSERT INTO conversations (id, title, created_at, updated_at) VALUES (?1, ?2, ?3, ?4) "
                               "ON CONFLICT(id) DO UPDATE SET updated_at = excluded.updated_at");
        Statement insert(m_db, "INSERT INTO turns (conversation_id, user_message_id, assistant_message_id, instruction, "
                               "attachments, result, created_at, completed_at) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
        if (upsert.ok() && insert.ok()) {
            upsert.bind(1, id);
            upsert.bind(2, AgentConversation::derivedTitle(turn.instruction));
            upsert.bind(3, Json::dateString(turn.createdAt));
            upsert.bind(4, Json::dateString(turn.completedAt));
            insert.bind(1, id);
            insert.bind(2, Json::uuidString(turn.userMessageID));
            insert.bind(3, Json::uuidString(turn.assistantMessageID));
            insert.bind(4, turn.instruction);
            insert.bind(5, encodeAttachments(turn.attachments));
            insert.bind(6, turn.result);
            insert.bind(7, Json::dateString(turn.createdAt));
            insert.bind(8, Json::dateString(turn.completedAt));
            ok = upsert.step() == SQLITE_DONE && insert.step() == SQLITE_DONE;
        }
    }
    if (!ok) {
        const QString error = lastError();
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        return error;
    }
    if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        return lastError();
    return {};
}

AgentConversation SessionStore::toConversation(const QUuid &id, const QString &title, const QDateTime &created,
                                               const QDateTime &updated, const QList<SessionTurn> &turns) const
{
    AgentConversation conversation;
    conversation.id = id;
    conversation.title = title;
    conversation.createdAt = created;
    conversation.updatedAt = updated;
    for (const SessionTurn &turn : turns) {
        conversation.messages.append(
            AgentMessage{turn.userMessageID, AgentMessageRole::user, turn.instruction, turn.createdAt, turn.attachments});
        conversation.messages.append(
            AgentMessage{turn.assistantMessageID, AgentMessageRole::assistant, turn.result, turn.completedAt, {}});
    }
    return conversation;
}

Result<QList<AgentConversation>, QString> SessionStore::conversations()
{
    if (!m_db)
        return lastError();
    struct Row {
        QUuid id;
        QString title;
        QDateTime created, updated;
    };
    QList<Row> rows;
    {
        Statement select(m_db, "SELECT id, title, created_at, updated_at FROM conversations ORDER BY updated_at DESC");
        if (!select.ok())
            return lastError();
        while (select.step() == SQLITE_ROW)
            rows.append({select.uuid(0), select.text(1), select.date(2), select.date(3)});
    }
    QList<AgentConversation> result;
    for (const Row &row : rows) {
        auto turnList = turns(row.id);
        if (!turnList)
            return turnList.error();
        result.append(toConversation(row.id, row.title, row.created, row.updated, turnList.value()));
    }
    return result;
}

Result<std::optional<AgentConversation>, QString> SessionStore::conversation(const QUuid &conversationID)
{
    auto all = conversations();
    if (!all)
        return all.error();
    for (const AgentConversation &c : all.value())
        if (c.id == conversationID)
            return std::optional<AgentConversation>(c);
    return std::optional<AgentConversation>();
}

Result<bool, QString> SessionStore::remove(const QUuid &conversationID)
{
    if (!m_db)
        return lastError();
    Statement del(m_db, "DELETE FROM conversations WHERE id = ?1");
    if (!del.ok())
        return lastError();
    del.bind(1, Json::uuidString(conversationID));
    if (del.step() != SQLITE_DONE)
        return lastError();
    return sqlite3_changes(m_db) > 0;
}
