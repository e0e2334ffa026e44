#include "AgentTestData.h"
#include "SessionStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {

SessionTurn turn(const QString &instruction, const QString &result)
{
    SessionTurn t;
    t.instruction = instruction;
    t.result = result;
    t.createdAt = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);
    t.completedAt = t.createdAt.addSecs(5);
    t.attachments = {selectedTextAttachment(QStringLiteral("  keep  spaces "), t.createdAt)};
    return t;
}

} // namespace

TEST(SessionStore, TurnsSurviveReopeningAndStayPerConversation)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("nested/sessions.sqlite"));
    const QUuid a = QUuid::createUuid(), b = QUuid::createUuid();
    {
        SessionStore store;
        ASSERT_TRUE(store.open(path).ok());
        EXPECT_TRUE(store.movedAsidePath().isEmpty());
        ASSERT_TRUE(store.appendTurn(a, turn(QStringLiteral("  First ask"), QStringLiteral("One"))).ok());
        ASSERT_TRUE(store.appendTurn(b, turn(QStringLiteral("Other"), QStringLiteral("X"))).ok());
        ASSERT_TRUE(store.appendTurn(a, turn(QStringLiteral("Second"), QStringLiteral("Two"))).ok());
    }
    SessionStore store;
    ASSERT_TRUE(store.open(path).ok());
    auto turns = store.turns(a);
    ASSERT_TRUE(turns.ok());
    ASSERT_EQ(turns.value().size(), 2);
    EXPECT_EQ(turns.value()[0].result, QStringLiteral("One"));
    EXPECT_EQ(turns.value()[1].instruction, QStringLiteral("Second"));
    EXPECT_EQ(turns.value()[0].attachments.value(0).text, QStringLiteral("  keep  spaces "));

    EXPECT_TRUE(store.remove(a).value());
    EXPECT_FALSE(store.remove(a).value());
    EXPECT_TRUE(store.turns(a).value().isEmpty());
    EXPECT_EQ(store.conversations().value().size(), 1);
}

TEST(SessionStore, UnreadableFilesAreMovedAsideAndAFreshDatabaseStarts)
{
    QTemporaryDir dir;
    const QString garbage = dir.filePath(QStringLiteral("garbage.sqlite"));
    const QString foreign = dir.filePath(QStringLiteral("foreign.sqlite"));
    {
        QFile f(garbage);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'x'));
    }
    {
        // A real SQLite file, but with a `turns` table of another shape.
        sqlite3 *db = nullptr;
        ASSERT_EQ(sqlite3_open(foreign.toUtf8().constData(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE turns (x INTEGER)", nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    for (const QString &path : {garbage, foreign}) {
        SessionStore store;
        ASSERT_TRUE(store.open(path).ok());
        ASSERT_FALSE(store.movedAsidePath().isEmpty());
        EXPECT_TRUE(QFile::exists(store.movedAsidePath()));
        EXPECT_TRUE(store.appendTurn(QUuid::createUuid(), turn(QStringLiteral("a"), QStringLiteral("b"))).ok());
        if (path == garbage) {
            QFile aside(store.movedAsidePath());
            ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
            EXPECT_EQ(aside.readAll(), QByteArray(4096, 'x')); // the user's file is kept as it was
        }
    }
    // A folder that cannot be created is an error, not a crash.
    SessionStore store;
    EXPECT_FALSE(store.open(QStringLiteral("/proc/orvel-no-such/sessions.sqlite")).ok());
}
