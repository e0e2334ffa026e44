// orvel-store-writer SEED: loads the Dictation history and the Command conversations from the
// data folder (XDG_DATA_HOME) like the program does, then adds transcripts and conversation turns
// until it is killed. After each save has returned it prints what the files must now hold:
//   H <item id>                  a transcript
//   C <conversation id> <turns>  a conversation and its number of turns
#include "command/AgentConversationStore.h"
#include "speech/HistoryStore.h"

#include <QCoreApplication>
#include <QDateTime>

#include <cstdio>
#include <random>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::mt19937 random(argc > 1 ? unsigned(std::atoi(argv[1])) : 1u);
    HistoryStore history;
    AgentConversationStore conversations;
    QList<QUuid> mine;
    for (long n = 0;; ++n) {
        HistoryItem item;
        item.id = QUuid::createUuid();
        item.createdAt = QDateTime::currentDateTimeUtc();
        // Lengths vary, so a kill lands at different points of the write.
        item.text = QStringLiteral("transcript %1 ").arg(n) + QString(int(random() % 4000), QLatin1Char('x'));
        item.duration = 1.5;
        item.modelID = QStringLiteral("pocket");
        history.insertFront(item);
        if (history.save().ok())
            std::printf("H %s\n", qPrintable(item.id.toString(QUuid::WithoutBraces)));

        const QString text = QStringLiteral("turn %1 ").arg(n) + QString(int(random() % 2000), QLatin1Char('y'));
        QUuid changed;
        if (mine.isEmpty() || random() % 4 == 0) {
            changed = mine.emplace_back(QUuid::createUuid());
            conversations.createConversation(changed, text, QStringLiteral("Editor"), {});
        } else if (random() % 2) {
            changed = mine[int(random() % mine.size())];
            conversations.addUserMessage(text, {}, changed);
        } else {
            changed = mine[int(random() % mine.size())];
            conversations.addAssistantMessage(text, changed);
        }
        if (const auto c = conversations.conversation(changed))
            std::printf("C %s %lld\n", qPrintable(changed.toString(QUuid::WithoutBraces)), (long long)c->messages.size());
        std::fflush(stdout);
    }
}
