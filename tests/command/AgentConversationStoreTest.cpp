#include "AgentTestData.h"
#include "TempDataHome.h"
#include "../speech/TestFiles.h"
#include "command/AgentConversationStore.h"
#include "platform/StoreFile.h"
#include "platform/Json.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

QList<QString> titles(const QList<AgentConversation> &list)
{
    QList<QString> out;
    for (const AgentConversation &c : list)
        out.append(c.title);
    return out;
}

// A stored conversation as the file holds it, updated at `updatedAt`.
QJsonObject storedConversation(const QString &title, const char *updatedAt)
{
    AgentConversation c = AgentConversation::create(title, QStringLiteral("Editor"), {});
    c.updatedAt = QDateTime::fromString(QLatin1String(updatedAt), Qt::ISODate);
    return c.toJson();
}

} // namespace

TEST(AgentConversationStore, KeepsNewestFirstOnDiskAndAcrossLoads)
{
    TempDataHome home;
    const QUuid first = QUuid::createUuid(), second = QUuid::createUuid();
    {
        AgentConversationStore store;
        store.createConversation(first, QStringLiteral("  Make it shorter  "), QStringLiteral("Editor"),
                                 {selectedTextAttachment(QStringLiteral("Long text"))});
        store.createConversation(second, QString(), QStringLiteral("Mail"), {});
        EXPECT_EQ(titles(store.conversations()), (QList<QString>{"New conversation", "Make it shorter"}));

        QSignalSpy changed(&store, &AgentConversationStore::conversationsChanged);
        const QByteArray before = readFile(store.fileURL());
        store.addAssistantMessage(QStringLiteral("Ignored"), QUuid::createUuid());
        EXPECT_EQ(changed.count(), 0);
        EXPECT_EQ(readFile(store.fileURL()), before);

        store.addAssistantMessage(QStringLiteral("Short."), first);
        store.setLastPastedText(QStringLiteral("Short."), first);
        EXPECT_EQ(changed.count(), 2);
        EXPECT_EQ(store.conversations().first().id, first);
    }
    const QJsonArray onDisk = QJsonDocument::fromJson(readFile(AppPaths::agentConversations())).array();
    ASSERT_EQ(onDisk.size(), 2);
    EXPECT_EQ(onDisk[0].toObject().value("id").toString(), Json::uuidString(first));

    AgentConversationStore reloaded;
    const auto c = reloaded.conversation(first);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->messages.size(), 2);
    EXPECT_EQ(c->messages[1].role, AgentMessageRole::assistant);
    EXPECT_EQ(c->lastPastedText, QStringLiteral("Short."));
    EXPECT_EQ(c->messages[0].text, QStringLiteral("  Make it shorter  ")); // the title is trimmed, the turn is not
    EXPECT_EQ(c->messages[0].attachments.first().text, QStringLiteral("Long text"));
    EXPECT_FALSE(reloaded.conversation(QUuid::createUuid()));
}

TEST(AgentConversationStore, NewConversationGoesFirstAndTheNextChangeResorts)
{
    TempDataHome home;
    const QString file = home.path() + QStringLiteral("/c/conversations.json");
    // Equal times keep the file's order; a time ahead of the clock stays ahead of new changes.
    writeFile(file, QJsonDocument(QJsonArray{storedConversation("Equal one", "2020-01-01T00:00:00Z"),
                                             storedConversation("Equal two", "2020-01-01T00:00:00Z"),
                                             storedConversation("Future", "2999-01-01T00:00:00Z")})
                        .toJson());
    AgentConversationStore store(file, home.path() + QStringLiteral("/c/Attachments"));
    EXPECT_EQ(titles(store.conversations()), (QList<QString>{"Future", "Equal one", "Equal two"}));

    const QUuid fresh = QUuid::createUuid();
    store.createConversation(fresh, QStringLiteral("Fresh"), QStringLiteral("Editor"), {});
    EXPECT_EQ(titles(store.conversations()).first(), QStringLiteral("Fresh"));
    store.addUserMessage(QStringLiteral("Again"), {}, fresh);
    EXPECT_EQ(titles(store.conversations()), (QList<QString>{"Future", "Fresh", "Equal one", "Equal two"}));

    AgentConversationStore reloaded(file, store.attachmentsRoot());
    EXPECT_EQ(titles(reloaded.conversations()), titles(store.conversations()));
}

TEST(AgentConversationStore, UnreadableFileIsKeptAsideNotOverwritten)
{
    TempDataHome home;
    const QString file = home.path() + QStringLiteral("/conversations.json");
    QJsonObject edited = storedConversation("Edited by hand", "2024-05-01T10:00:00Z");
    edited.remove(QStringLiteral("updatedAt"));
    const QByteArray original = QJsonDocument(QJsonArray{edited}).toJson();

    for (const QByteArray &bad : {original, QByteArray("{ not json")}) {
        writeFile(file, bad);
        AgentConversationStore store(file, home.path() + QStringLiteral("/Attachments"));
        EXPECT_TRUE(store.conversations().isEmpty());
        EXPECT_EQ(readFile(file), bad) << "loading alone must not touch the file";
        store.createConversation(QUuid::createUuid(), QStringLiteral("New"), QStringLiteral("Editor"), {});
        EXPECT_EQ(AgentConversationStore(file, store.attachmentsRoot()).conversations().size(), 1);
    }
    // Both bad files are still there, the first not replaced by the second.
    EXPECT_EQ(readFile(file + QStringLiteral(".unreadable")), original);
    EXPECT_EQ(readFile(file + QStringLiteral(".unreadable-2")), QByteArray("{ not json"));
    const QString told = StorageNotices::instance().texts().join(QLatin1Char('\n'));
    EXPECT_TRUE(told.contains(file + QStringLiteral(".unreadable-2"))) << told.toStdString();
}

TEST(AgentConversationStore, ScreenshotsMoveIntoTheConversationAndLeaveWithIt)
{
    TempDataHome home;
    AgentConversationStore store(home.path() + QStringLiteral("/conversations.json"),
                                 home.path() + QStringLiteral("/Attachments"));
    const QString pending = store.pendingFolder() + QStringLiteral("/shot-1.png");
    writeFile(pending, "png");
    const QUuid id = QUuid::createUuid();
    const AgentContextAttachment text = selectedTextAttachment(QStringLiteral("Hello"));
    const auto shot = screenshotAttachment(pending);
    const auto missing = screenshotAttachment(store.pendingFolder() + QStringLiteral("/gone.png"));

    const auto stored = store.moveAttachments({text, shot, missing}, id);
    ASSERT_EQ(stored.size(), 3);
    EXPECT_EQ(stored[0], text);
    EXPECT_EQ(stored[1].filePath, store.folder(id) + QStringLiteral("/shot-1.png"));
    EXPECT_EQ(stored[1].id, shot.id);
    EXPECT_EQ(readFile(*stored[1].filePath), QByteArray("png"));
    EXPECT_FALSE(QFileInfo::exists(pending));
    EXPECT_EQ(stored[2].filePath, missing.filePath) << "a file that did not move keeps its path";
    EXPECT_TRUE(store.folder(id).endsWith(Json::uuidString(id)));

    store.createConversation(id, QStringLiteral("Describe"), QStringLiteral("Editor"), stored);
    const auto reloaded = AgentConversationStore(store.fileURL(), store.attachmentsRoot()).conversation(id);
    ASSERT_TRUE(reloaded);
    EXPECT_EQ(reloaded->messages[0].attachments.value(1).filePath, stored[1].filePath);
    EXPECT_EQ(reloaded->messages[0].attachments.value(1).kind, AgentAttachmentKind::screenshot);
    const QUuid noFolder = QUuid::createUuid();
    store.createConversation(noFolder, QStringLiteral("Plain"), QStringLiteral("Editor"), {});
    store.deleteConversation(id);
    store.deleteConversation(noFolder);
    EXPECT_FALSE(QFileInfo::exists(store.folder(id)));
    EXPECT_TRUE(AgentConversationStore(store.fileURL(), store.attachmentsRoot()).conversations().isEmpty());

    store.createConversation(QUuid::createUuid(), QStringLiteral("Again"), QStringLiteral("Editor"), {});
    writeFile(store.pendingFolder() + QStringLiteral("/shot-2.png"), "png");
    store.clear();
    EXPECT_TRUE(store.conversations().isEmpty());
    EXPECT_EQ(QJsonDocument::fromJson(readFile(store.fileURL())).array(), QJsonArray());
    EXPECT_TRUE(QFileInfo(store.attachmentsRoot()).isDir());
    EXPECT_TRUE(QDir(store.attachmentsRoot()).isEmpty());
}
