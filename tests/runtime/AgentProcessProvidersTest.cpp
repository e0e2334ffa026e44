// The runtime as a real process against the OpenAI stand-in and a scripted bridge program,
// and what it must never leak: the API key.
#include "AgentProcess.h"

#include <QJsonArray>
#include <QHostAddress>
#include <QTcpServer>

namespace {

const QString kKey = QStringLiteral("sk-test-ORVEL-7f3a9c2e11");

// The stand-in server started by the test itself, as the OpenAI endpoint.
class CloudStandIn {
public:
    CloudStandIn(AgentProcess &agent, const QJsonArray &responses)
    {
        agent.setScript(QJsonObject{{"responses", responses}});
        process.setProcessEnvironment(agent.env);
        process.start(agent.serverPath, {"--host", "127.0.0.1", "--port", "0"});
        EXPECT_TRUE(process.waitForStarted(5000));
        while (!process.canReadLine() && process.waitForReadyRead(5000)) {
        }
        port = process.readLine().trimmed().split(' ').value(1).toInt();
        EXPECT_GT(port, 0);
        agent.env.insert(QStringLiteral("ORVEL_OPENAI_BASE_URL"), QStringLiteral("http://127.0.0.1:%1/v1").arg(port));
    }
    ~CloudStandIn()
    {
        process.kill();
        process.waitForFinished(5000);
    }
    QProcess process;
    int port = 0;
};

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

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(AgentProcessCloud, StreamsFromOpenAIWithTheKeyOfTheRequestAndNeverLeaksIt)
{
    AgentProcess agent;
    CloudStandIn cloud(agent, QJsonArray{QJsonObject{{"chunks", QJsonArray{QJsonObject{{"content", "Cloud "}},
                                                                            QJsonObject{{"content", "answer"}}}}},
                                         failing(401, "Incorrect API key provided: " + kKey, "invalid_api_key")});
    agent.start();
    const AgentRuntimeRequest run = cloudRun(agent, QStringLiteral("Polish"));
    agent.send(run);
    const auto events = agent.eventsUntilDone(run.requestID);
    ASSERT_FALSE(events.isEmpty());
    EXPECT_EQ(events.first().value("phase").toString(), QStringLiteral("loadingModel"));
    EXPECT_EQ(events.first().value("text").toString(), QStringLiteral("Connecting to OpenAI"));
    EXPECT_EQ(AgentProcess::last(events).value("text").toString(), QStringLiteral("Cloud answer"));
    const QJsonObject request = agent.chatRequests().value(0);
    EXPECT_EQ(request.value("path").toString(), QStringLiteral("/v1/chat/completions"));
    EXPECT_EQ(request.value("authorization").toString(), QStringLiteral("Bearer ") + kKey);
    EXPECT_EQ(request.value("body").toObject().value("model").toString(), QStringLiteral("gpt-5.6-luna"));

    // A service message that echoes the key is passed on without it.
    const AgentRuntimeRequest rejected = cloudRun(agent, QStringLiteral("Again"));
    agent.send(rejected);
    const QJsonObject error = AgentProcess::last(agent.eventsUntilDone(rejected.requestID));
    EXPECT_EQ(error.value("code").toString(), QStringLiteral("invalidAPIKey"));
    EXPECT_TRUE(error.value("text").toString().startsWith(QStringLiteral("OpenAI rejected the API key.")));
    EXPECT_TRUE(error.value("text").toString().contains(QStringLiteral("Incorrect API key provided")));
    EXPECT_FALSE(error.value("text").toString().contains(kKey));

    // A local run afterwards: its server is a child of a runtime that has held the key.
    const AgentRuntimeRequest local = agent.localRun(QStringLiteral("Local"));
    agent.send(local);
    agent.eventsUntilDone(local.requestID);
    ASSERT_EQ(agent.serverPids().size(), 2); // the cloud stand-in, then the runtime's own server
    const qint64 child = agent.serverPids().last();
    const qint64 runtime = agent.process.processId();
    for (qint64 pid : {runtime, child}) {
        for (const char *file : {"cmdline", "environ"}) {
            const QByteArray bytes = readAll(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(file)));
            EXPECT_FALSE(bytes.isEmpty()) << pid << file;
            EXPECT_FALSE(bytes.contains(kKey.toUtf8())) << pid << file;
        }
    }
    agent.send(AgentRuntimeRequest::shutdown(agent.sessionPath));
    ASSERT_TRUE(agent.process.waitForFinished(5000));
    EXPECT_FALSE(agent.process.readAllStandardError().contains(kKey.toUtf8()));
    for (const QString &name : QDir(QFileInfo(agent.sessionPath).absolutePath()).entryList(QDir::Files)) {
        const QByteArray bytes = readAll(QFileInfo(agent.sessionPath).absolutePath() + "/" + name);
        EXPECT_FALSE(bytes.isEmpty());
        EXPECT_FALSE(bytes.contains(kKey.toUtf8())) << name.toStdString();
        EXPECT_FALSE(bytes.contains("sk-test")) << name.toStdString();
    }
}

TEST(AgentProcessCloud, ServiceFailuresReadAsSentencesWithTheServiceMessage)
{
    AgentProcess agent;
    CloudStandIn cloud(agent, QJsonArray{failing(429, "You exceeded your current quota.", "insufficient_quota"),
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
        const AgentRuntimeRequest run = cloudRun(agent, QStringLiteral("x"));
        agent.send(run);
        const QJsonObject e = AgentProcess::last(agent.eventsUntilDone(run.requestID));
        EXPECT_EQ(e.value("code").toString(), QLatin1String(want.code));
        EXPECT_TRUE(e.value("text").toString().startsWith(QLatin1String(want.start))) << e.value("text").toString().toStdString();
        EXPECT_TRUE(e.value("text").toString().contains(QLatin1String(want.serviceText)));
    }
    AgentRuntimeRequest keyless = cloudRun(agent, QStringLiteral("x"));
    keyless.openAIAPIKey.reset();
    agent.send(keyless);
    EXPECT_EQ(AgentProcess::last(agent.eventsUntilDone(keyless.requestID)).value("code").toString(), QStringLiteral("missingAPIKey"));
    EXPECT_EQ(agent.chatRequests().size(), 4); // nothing was sent without a key
}

TEST(AgentProcessCloud, UnreachableServiceIsReportedAsNoNetwork)
{
    AgentProcess agent;
    {
        QTcpServer probe; // a port that nobody listens on once the probe is gone
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        agent.env.insert(QStringLiteral("ORVEL_OPENAI_BASE_URL"), QStringLiteral("http://127.0.0.1:%1/v1").arg(probe.serverPort()));
    }
    agent.start();
    const AgentRuntimeRequest run = cloudRun(agent, QStringLiteral("x"));
    agent.send(run);
    const QJsonObject e = AgentProcess::last(agent.eventsUntilDone(run.requestID));
    EXPECT_EQ(e.value("code").toString(), QStringLiteral("offline"));
    EXPECT_EQ(e.value("text").toString(), QStringLiteral("Could not reach OpenAI. Check your internet connection."));
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
    int deltas = 0;
    for (const auto &e : events)
        deltas += e.value("kind").toString() == QStringLiteral("delta");
    EXPECT_EQ(deltas, 1);
    EXPECT_EQ(AgentProcess::last(events).value("text").toString(), QStringLiteral("From the device"));

    const AgentRuntimeRequest refine = request(QStringLiteral("Shorter"), bridge, AgentProtocolCommand::continue_);
    agent.send(refine);
    agent.eventsUntilDone(refine.requestID);
    const QList<QByteArray> calls = readAll(bridge + ".requests").trimmed().split('\n');
    ASSERT_EQ(calls.size(), 2);
    const QJsonObject second = QJsonDocument::fromJson(calls[1]).object();
    EXPECT_EQ(second.value("instructions").toString(), QStringLiteral("Trusted rules."));
    const QString prompt = second.value("prompt").toString();
    EXPECT_LT(prompt.indexOf("Write a haiku"), prompt.indexOf("From the device"));
    EXPECT_LT(prompt.indexOf("From the device"), prompt.indexOf("Shorter"));

    const AgentRuntimeRequest refused = request(QStringLiteral("x"), failingBridge, AgentProtocolCommand::run);
    agent.send(refused);
    const QJsonObject e = AgentProcess::last(agent.eventsUntilDone(refused.requestID));
    EXPECT_EQ(e.value("kind").toString(), QStringLiteral("error"));
    EXPECT_EQ(e.value("text").toString(), QStringLiteral("Apple Intelligence is unavailable."));
    const AgentRuntimeRequest missing = request(QStringLiteral("x"), QString(), AgentProtocolCommand::run);
    agent.send(missing);
    EXPECT_EQ(AgentProcess::last(agent.eventsUntilDone(missing.requestID)).value("code").toString(), QStringLiteral("bridgeMissing"));
}
