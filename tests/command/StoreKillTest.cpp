// The stores' files survive the program being killed at any moment: each still parses and holds
// everything whose save had returned before the kill.
#include "TempDataHome.h"
#include "../speech/TestFiles.h"
#include "command/AgentConversation.h"
#include "speech/AppPaths.h"
#include "speech/HistoryStore.h"

#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QProcess>
#include <QSet>
#include <QTest>

#include <gtest/gtest.h>

#include <random>

#include <csignal>

TEST(StoreKill, FilesParseAndKeepEverySavedItemAfterKillsAtRandomMoments)
{
    TempDataHome home;
    const QString writer = qEnvironmentVariable("ORVEL_TEST_SUPPORT_DIR") + QStringLiteral("/orvel-store-writer");
    ASSERT_TRUE(QFile::exists(writer)) << writer.toStdString();
    std::mt19937 random(std::random_device{}());
    QSet<QUuid> transcripts;
    QHash<QUuid, qsizetype> turns;
    int kills = 0;
    constexpr int runs = 24;
    for (int run = 0; run < runs; ++run) {
        QProcess process;
        process.start(writer, {QString::number(random())});
        ASSERT_TRUE(process.waitForStarted());
        // Most kills land in the middle of saving, once it has begun; some during start-up, while
        // the files are read.
        if (run % 4 != 0) {
            ASSERT_TRUE(process.waitForReadyRead(20000)) << process.readAllStandardError().toStdString();
        }
        QTest::qWait(int(random() % 300));
        ASSERT_EQ(process.state(), QProcess::Running) << process.readAllStandardError().toStdString();
        ::kill(pid_t(process.processId()), SIGKILL);
        ASSERT_TRUE(process.waitForFinished(10000));
        ++kills;
        for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
            const QList<QByteArray> fields = line.split(' ');
            if (fields.size() == 2 && fields[0] == "H")
                transcripts.insert(QUuid::fromString(QLatin1String(fields[1])));
            else if (fields.size() == 3 && fields[0] == "C")
                turns[QUuid::fromString(QLatin1String(fields[1]))] = fields[2].toLongLong();
        }

        // A file not written yet (killed during the first start) is no loss.
        if (!transcripts.isEmpty() || QFile::exists(AppPaths::history())) {
            const auto history = HistoryStore::decode(readFile(AppPaths::history()));
            ASSERT_TRUE(history.has_value()) << "history.json does not parse after kill " << kills;
            QSet<QUuid> stored;
            for (const HistoryItem &item : *history)
                stored.insert(item.id);
            ASSERT_TRUE(stored.contains(transcripts)) << "a saved transcript was lost at kill " << kills;
        }
        if (turns.isEmpty() && !QFile::exists(AppPaths::agentConversations()))
            continue;
        const QJsonDocument doc = QJsonDocument::fromJson(readFile(AppPaths::agentConversations()));
        const auto conversations = agentConversationsFromJson(doc.array());
        ASSERT_TRUE(doc.isArray() && conversations.has_value()) << "conversations.json does not parse after kill " << kills;
        QHash<QUuid, qsizetype> storedTurns;
        for (const AgentConversation &c : *conversations)
            storedTurns[c.id] = c.messages.size();
        for (auto it = turns.cbegin(); it != turns.cend(); ++it)
            ASSERT_GE(storedTurns.value(it.key()), it.value()) << "saved turns were lost at kill " << kills;
    }
    // Every file read at start-up was good: nothing was ever kept aside.
    EXPECT_FALSE(QFile::exists(AppPaths::history() + QStringLiteral(".unreadable")));
    EXPECT_FALSE(QFile::exists(AppPaths::agentConversations() + QStringLiteral(".unreadable")));
    ASSERT_GT(transcripts.size(), 0);
    std::printf("kills survived: %d, transcripts kept: %lld, conversations kept: %lld\n", kills,
                (long long)transcripts.size(), (long long)turns.size());
}
