#pragma once

#include "command/AgentConversation.h"
#include "platform/StoreFile.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

// The Command conversations, most recently updated first, kept in conversations.json with one
// folder of screenshots per conversation. Memory is authoritative after the file has been read
// once; every change rewrites the whole file atomically. Main thread only.
class AgentConversationStore : public QObject {
    Q_OBJECT
public:
    // Prepares the folders and reads the file. The defaults are the program's own locations.
    explicit AgentConversationStore(QObject *parent = nullptr);
    AgentConversationStore(QString fileURL, QString attachmentsRoot, QObject *parent = nullptr);

    const QList<AgentConversation> &conversations() const { return m_conversations; }
    std::optional<AgentConversation> conversation(const QUuid &id) const;

    const QString &fileURL() const { return m_fileURL; }
    const QString &attachmentsRoot() const { return m_attachmentsRoot; }
    // Screenshots of a run that is not stored yet.
    QString pendingFolder() const;
    QString folder(const QUuid &conversationID) const;

    // Inserted at the front without re-sorting, under the identifier the caller chose.
    void createConversation(const QUuid &id, const QString &instruction, const QString &targetApplicationName,
                            const QList<AgentContextAttachment> &attachments);
    void addUserMessage(const QString &text, const QList<AgentContextAttachment> &attachments, const QUuid &to);
    void addAssistantMessage(const QString &text, const QUuid &to);
    void setLastPastedText(const std::optional<QString> &text, const QUuid &conversationID);
    // Removes the conversation and its screenshot folder.
    void deleteConversation(const QUuid &id);
    // Removes every conversation and every screenshot, pending ones included.
    void clear();

    // Moves each attachment's file into the conversation's folder and returns the attachments
    // as they are to be stored. A file that could not be moved keeps its old path, so a turn
    // never points at a file that is not there.
    QList<AgentContextAttachment> moveAttachments(const QList<AgentContextAttachment> &attachments,
                                                  const QUuid &conversationID) const;

signals:
    void conversationsChanged();

private:
    void load();
    void mutate(const QUuid &id, const std::function<void(AgentConversation &)> &change);
    void sortNewestFirst();
    void save();

    QString m_fileURL;
    QString m_attachmentsRoot;
    QList<AgentConversation> m_conversations;
    StoreFile m_file;
};
