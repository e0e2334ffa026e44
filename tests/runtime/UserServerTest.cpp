// The runtime against a user's own OpenAI-compatible server: the real llama-server, started here
// with the tiny model and an API key, and the stand-in only for a stream cut short.
#include "AgentProcess.h"
#include "RealEngines.h"

#include <algorithm>

namespace {

constexpr int eventWait = 60000; // one thread on a shared machine: generous, never asserted
const QString kKey = QStringLiteral("team-box-5d1e-any-format");

AgentRuntimeRequest serverRun(AgentProcess &agent, const QString &baseURL, const std::optional<QString> &key,
                              const QString &instruction = QStringLiteral("Say something"))
{
    AgentModelDescriptor model;
    model.id = QStringLiteral("server-7f1c");
    model.name = QStringLiteral("tiny-chat");
    model.officialName = QStringLiteral("tiny-chat");
    model.organization = QStringLiteral("Team box");
    model.license = QStringLiteral("Your server");
    model.provider = AgentModelProvider::openAICompatible;
    model.isCustom = true;
    model.baseURL = baseURL;
    AgentRuntimeRequest r;
    r.conversationID = agent.conversationID;
    r.model = model;
    r.instruction = instruction;
    r.trustedInstructions = QStringLiteral("Trusted rules.");
    r.sessionPath = agent.sessionPath;
    r.serverAPIKey = key;
    return r;
}

} // namespace

TEST(UserServer, RealLlamaServerStreamsWithItsKeyStopsOnCancelAndRefusesAWrongKey)
{
    ORVEL_REQUIRE_REAL_LLAMA(llama);
    RunningLlamaServer server(llama, kKey, 1500);
    ASSERT_TRUE(server.waitUntilReady()) << "llama-server did not come up";
    AgentProcess agent;
    agent.start();

    // Streamed through the user's server, the words in order adding up to the answer.
    const auto ask = [&] { return serverRun(agent, server.baseURL(), kKey); };
    const QList<QJsonObject> events = agent.answer(ask, nullptr, true);
    ASSERT_EQ(field(AgentProcess::last(events), "kind"), QStringLiteral("completed"))
        << field(AgentProcess::last(events), "text").toStdString();
    EXPECT_EQ(field(events.first(), "text"), QStringLiteral("Connecting to Team box"));
    EXPECT_TRUE(std::any_of(events.begin(), events.end(), [](const QJsonObject &e) { return field(e, "phase") == "generating"; }));
    EXPECT_FALSE(field(AgentProcess::last(events), "text").isEmpty());
    EXPECT_EQ(AgentProcess::joined(events, "delta"), field(AgentProcess::last(events), "text"));

    // Cancelled at its first words: the run ends as cancelled, and the server takes the next one.
    bool cancelled = false;
    for (int attempt = 0; attempt < 5 && !cancelled; ++attempt) {
        const AgentRuntimeRequest long_ = serverRun(agent, server.baseURL(), kKey, QStringLiteral("Write at length"));
        agent.send(long_);
        QList<QJsonObject> seen;
        while (const auto e = agent.nextEvent(eventWait)) {
            seen << *e;
            if (field(*e, "kind") == QStringLiteral("delta") && !cancelled) {
                AgentRuntimeRequest cancel;
                cancel.command = AgentProtocolCommand::cancel;
                cancel.conversationID = agent.conversationID;
                agent.send(cancel);
                cancelled = true;
            }
            if (field(*e, "kind") == QStringLiteral("completed") || field(*e, "kind") == QStringLiteral("error"))
                break;
        }
        // A run that finished before the cancel landed proves nothing: try again.
        if (cancelled && field(AgentProcess::last(seen), "kind") == QStringLiteral("completed"))
            cancelled = false;
        else if (cancelled)
            EXPECT_EQ(field(AgentProcess::last(seen), "code"), QStringLiteral("cancelled"));
        (void)agent.nextEvent(2000); // the cancel's own "cancelled" phase
    }
    ASSERT_TRUE(cancelled) << "no run was cancelled while it streamed";
    const QJsonObject next = AgentProcess::last(agent.answer(ask, nullptr, true));
    EXPECT_EQ(field(next, "kind"), QStringLiteral("completed")) << field(next, "text").toStdString();

    // A wrong key and no key, in the runtime's words; the key itself is never repeated.
    const QJsonObject refused = agent.outcome(serverRun(agent, server.baseURL(), QStringLiteral("wrong-key-123")), eventWait);
    EXPECT_EQ(field(refused, "code"), QStringLiteral("invalidAPIKey"));
    EXPECT_TRUE(field(refused, "text").startsWith(QStringLiteral("Team box refused the API key. Check the key in Models.")))
        << field(refused, "text").toStdString();
    EXPECT_FALSE(field(refused, "text").contains(QStringLiteral("wrong-key-123")));
    const QJsonObject keyless = agent.outcome(serverRun(agent, server.baseURL(), std::nullopt), eventWait);
    EXPECT_TRUE(field(keyless, "text").startsWith(QStringLiteral("Team box asks for an API key.")))
        << field(keyless, "text").toStdString();

    EXPECT_TRUE(childProcesses(agent.process.processId()).isEmpty());
    expectSecretNowhere(agent, kKey.toUtf8()); // it went over the runtime's standard input only
}

TEST(UserServer, UnreachableAndCutShortServersReadAsSentences)
{
    AgentProcess agent;
    agent.setScript(QJsonObject{{"responses", QJsonArray{QJsonObject{
                                                  {"chunks", QJsonArray{QJsonObject{{"content", "Half an "}}}},
                                                  {"holdOpen", true}}}}});
    StandInServer standIn(agent);
    agent.start();

    const QJsonObject refused = agent.outcome(serverRun(agent, closedBaseURL(), std::nullopt));
    EXPECT_EQ(field(refused, "code"), QStringLiteral("offline"));
    EXPECT_EQ(field(refused, "text"), QStringLiteral("Nothing answers at Team box. Check that the server is running."));
    const QJsonObject unknown =
        agent.outcome(serverRun(agent, QStringLiteral("http://orvel-no-such-host.invalid:8080/v1"), std::nullopt));
    EXPECT_EQ(field(unknown, "text"), QStringLiteral("Could not reach Team box. Check the network and the server's address."));

    // The server goes away after its first words.
    const AgentRuntimeRequest cut = serverRun(agent, standIn.baseURL(), std::nullopt);
    agent.send(cut);
    QList<QJsonObject> events;
    while (const auto e = agent.nextEvent()) {
        events << *e;
        if (field(*e, "kind") == QStringLiteral("delta"))
            standIn.process.kill();
        if (field(*e, "kind") == QStringLiteral("completed") || field(*e, "kind") == QStringLiteral("error"))
            break;
    }
    EXPECT_EQ(AgentProcess::joined(events, "delta"), QStringLiteral("Half an"));
    EXPECT_EQ(field(AgentProcess::last(events), "code"), QStringLiteral("connectionLost"));
    EXPECT_EQ(field(AgentProcess::last(events), "text"),
              QStringLiteral("The connection to Team box was interrupted before the answer was complete."));
}
