// The runtime as a real process against the OpenAI stand-in and a scripted bridge program,
// and what it must never leak: the API key.
#include "AgentProcess.h"

#include <QJsonArray>

#include <algorithm>

namespace {

const QString kKey = QStringLiteral("sk-test-ORVEL-7f3a9c2e11");

// The stand-in, started by the test itself, as the OpenAI endpoint.
std::unique_ptr<StandInServer> cloudStandIn(AgentProcess &agent, const QJsonArray &responses)
{
    agent.setScript(QJsonObject{{"responses", responses}});
    auto server = std::make_unique<StandInServer>(agent);
    agent.env.insert(QStringLiteral("ORVEL_OPENAI_BASE_URL"), server->baseURL());
    return server;
}

AgentRuntimeRequest cloudRun(AgentProcess &agent, const QString &instruction)
{
    AgentRuntimeRequest r;
    r.conversationID = agent.conversationID;
    r.model = AgentModelDescriptor::catalogEntry(QStringLiteral("openai-luna"));
    r.instruction = instruction;
    r.trustedInstructions = QStringLiteral("Trusted rules.");
    r.sessionPath = agent.sessionPath;
    r.openAIAPIKey = kKey;
    return r;
}

QJsonObject failing(int status, const QString &message, const QString &code)
{
    return QJsonObject{{"status", status},
                       {"body", QJsonObject{{"error", QJsonObject{{"message", message}, {"type", code}, {"code", code}}}}}};
}

} // namespace

TEST(AgentProcessCloud, StreamsFromOpenAIWithTheKeyOfTheRequestAndNeverLeaksIt)
{
    AgentProcess agent;
    const auto cloud = cloudStandIn(
        agent, QJsonArray{QJsonObject{{"chunks", QJsonArray{QJsonObject{{"content", "Cloud "}}, QJsonObject{{"content", "answer"}}}}},
                          failing(401, "Incorrect API key provided: " + kKey, "invalid_api_key")});
    agent.start();
    const AgentRuntimeRequest run = cloudRun(agent, QStringLiteral("Polish"));
    agent.send(run);
    const auto events = agent.eventsUntilDone(run.requestID);
    ASSERT_FALSE(events.isEmpty());
    EXPECT_EQ(field(events.first(), "phase"), QStringLiteral("loadingModel"));
    EXPECT_EQ(field(AgentProcess::last(events), "text"), QStringLiteral("Cloud answer"));
    const QJsonObject request = agent.chatRequests().value(0);
    EXPECT_EQ(field(request, "path"), QStringLiteral("/v1/chat/completions"));
    EXPECT_EQ(field(request, "authorization"), QStringLiteral("Bearer ") + kKey);
    EXPECT_EQ(request.value("body").toObject().value("model").toString(), QStringLiteral("gpt-5.6-luna"));

    // A service message that echoes the key is passed on without it.
    const QJsonObject error = agent.outcome(cloudRun(agent, QStringLiteral("Again")));
    EXPECT_EQ(field(error, "code"), QStringLiteral("invalidAPIKey"));
    EXPECT_TRUE(field(error, "text").contains(QStringLiteral("Incorrect API key provided")));
    EXPECT_FALSE(field(error, "text").contains(kKey));

    // A local run afterwards: its server is a child of a runtime that has held the key.
    agent.outcome(agent.localRun(QStringLiteral("Local")));
    ASSERT_EQ(agent.serverPids().size(), 2); // the cloud stand-in, then the runtime's own server
    // The prefix too: no key cut short or masked is stored either.
    expectSecretNowhere(agent, "sk-test", {agent.serverPids().last()});
}

TEST(AgentProcessCloud, ServiceFailuresAndNoServiceReadAsSentences)
{
    AgentProcess agent;
    auto cloud = cloudStandIn(agent, QJsonArray{failing(429, "You exceeded your current quota.", "insufficient_quota"),
                                                      failing(429, "Rate limit reached for requests.", "rate_limit_exceeded"),
                                                      failing(500, "The server had an error.", "server_error"),
                                                      failing(400, "This model's maximum context length is 128000 tokens.",
                                                              "context_length_exceeded")});
    agent.start();
    const struct {
        const char *code;
        const char *start;
        const char *serviceText;
    } expected[] = {
        {"insufficientQuota", "Your OpenAI account has no credit left.", "You exceeded your current quota."},
        {"rateLimited", "OpenAI's rate limit was reached.", "Rate limit reached"},
        {"serviceUnavailable", "OpenAI is unavailable right now.", "The server had an error."},
        {"contextTooLarge", "The selected context is too large", "maximum context length"},
    };
    for (const auto &want : expected) {
        const QJsonObject e = agent.outcome(cloudRun(agent, QStringLiteral("x")));
        EXPECT_EQ(field(e, "code"), QLatin1String(want.code));
        EXPECT_TRUE(field(e, "text").startsWith(QLatin1String(want.start))) << field(e, "text").toStdString();
        EXPECT_TRUE(field(e, "text").contains(QLatin1String(want.serviceText)));
    }
    AgentRuntimeRequest keyless = cloudRun(agent, QStringLiteral("x"));
    keyless.openAIAPIKey.reset();
    EXPECT_EQ(field(agent.outcome(keyless), "code"), QStringLiteral("missingAPIKey"));
    EXPECT_EQ(agent.chatRequests().size(), 4); // nothing was sent without a key

    cloud.reset();
    const QJsonObject e = agent.outcome(cloudRun(agent, QStringLiteral("x")));
    EXPECT_EQ(field(e, "code"), QStringLiteral("offline"));
    EXPECT_EQ(field(e, "text"), QStringLiteral("Could not reach OpenAI. Check your internet connection."));
}

TEST(AgentProcessBridge, OneBridgeCallPerTurnWithInstructionsAndPrompt)
{
    AgentProcess agent;
    const QString bridge = agent.scratch.filePath(QStringLiteral("bridge.sh"));
    const QString failingBridge = agent.scratch.filePath(QStringLiteral("failing-bridge.sh"));
    const auto writeScript = [](const QString &path, const QByteArray &body) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n" + body);
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    };
    writeScript(bridge, "cat >> \"$0.requests\"\necho >> \"$0.requests\"\nprintf '{\"ok\":true,\"text\":\"From the device\"}'\n");
    writeScript(failingBridge, "cat >/dev/null\nprintf '{\"ok\":false,\"error\":\"Apple Intelligence is unavailable.\"}'\nexit 1\n");
    agent.start();
    const auto request = [&](const QString &instruction, const QString &path, AgentProtocolCommand command) {
        AgentRuntimeRequest r;
        r.command = command;
        r.conversationID = agent.conversationID;
        r.model = AgentModelDescriptor::catalogEntry(QStringLiteral("apple-system"));
        r.instruction = instruction;
        r.trustedInstructions = QStringLiteral("Trusted rules.");
        r.appleBridgePath = path;
        r.sessionPath = agent.sessionPath;
        return r;
    };
    const AgentRuntimeRequest run = request(QStringLiteral("Write a haiku"), bridge, AgentProtocolCommand::run);
    agent.send(run);
    const auto events = agent.eventsUntilDone(run.requestID);
    EXPECT_EQ(std::count_if(events.begin(), events.end(), [](const QJsonObject &e) { return field(e, "kind") == "delta"; }), 1);
    EXPECT_EQ(field(AgentProcess::last(events), "text"), QStringLiteral("From the device"));

    agent.outcome(request(QStringLiteral("Shorter"), bridge, AgentProtocolCommand::continue_));
    const QList<QByteArray> calls = readFile(bridge + ".requests").trimmed().split('\n');
    ASSERT_EQ(calls.size(), 2);
    const QJsonObject second = QJsonDocument::fromJson(calls[1]).object();
    EXPECT_EQ(second.value("instructions").toString(), QStringLiteral("Trusted rules."));
    const QString prompt = second.value("prompt").toString();
    EXPECT_LT(prompt.indexOf("Write a haiku"), prompt.indexOf("From the device"));
    EXPECT_LT(prompt.indexOf("From the device"), prompt.indexOf("Shorter"));

    const QJsonObject e = agent.outcome(request(QStringLiteral("x"), failingBridge, AgentProtocolCommand::run));
    EXPECT_EQ(field(e, "kind"), QStringLiteral("error"));
    EXPECT_EQ(field(e, "text"), QStringLiteral("Apple Intelligence is unavailable."));
    EXPECT_EQ(field(agent.outcome(request(QStringLiteral("x"), QString(), AgentProtocolCommand::run)), "code"),
              QStringLiteral("bridgeMissing"));
}
