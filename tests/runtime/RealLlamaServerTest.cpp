// The runtime with the real llama-server and the suite's tiny random-weight model. The model's
// words are noise; what is checked is what the runtime makes of a real server.
#include "AgentProcess.h"
#include "AgentTestData.h"
#include "RealEngines.h"

#include <algorithm>
#include <csignal>

namespace {

constexpr int eventWait = 60000; // one thread on a shared machine: generous, never asserted

bool hasPhase(const QList<QJsonObject> &events, const char *phase)
{
    return std::any_of(events.begin(), events.end(),
                       [&](const QJsonObject &e) { return e.value("phase").toString() == QLatin1String(phase); });
}

QString kindOf(const QList<QJsonObject> &events) { return AgentProcess::last(events).value("kind").toString(); }

AgentRuntimeRequest realRun(AgentProcess &agent, const RealLlama &llama, const QString &instruction)
{
    AgentRuntimeRequest r = agent.localRun(instruction, llama.model);
    r.llamaServerPath = llama.server;
    return r;
}

} // namespace

TEST(RealLlamaServer, ColdLoadWarmReuseStreamedDeltasAndAContextTooLarge)
{
    ORVEL_REQUIRE_REAL_LLAMA(llama);
    AgentProcess agent;
    RealLlama::applyTestSettings(agent.env);
    agent.start();

    QList<QList<QJsonObject>> coldAttempts;
    const auto first = agent.answer([&] { return realRun(agent, llama, QStringLiteral("Say something")); }, &coldAttempts);
    ASSERT_EQ(kindOf(first), QStringLiteral("completed")) << AgentProcess::last(first).value("text").toString().toStdString();
    EXPECT_TRUE(hasPhase(coldAttempts.first(), "loadingModel"));
    // Phases come before the words, and the words in order add up to the answer.
    const auto firstDelta = std::find_if(first.begin(), first.end(), [](const QJsonObject &e) { return e.value("kind") == "delta"; });
    ASSERT_NE(firstDelta, first.end());
    EXPECT_TRUE(hasPhase(QList<QJsonObject>(first.begin(), firstDelta), "generating"));
    const QString text = AgentProcess::last(first).value("text").toString();
    EXPECT_FALSE(text.isEmpty());
    EXPECT_EQ(AgentProcess::joined(first, "delta"), text);
    const QList<qint64> servers = childProcesses(agent.process.processId());
    ASSERT_EQ(servers.size(), 1);

    // Warm: the same server, no loading phase.
    QList<QList<QJsonObject>> warmAttempts;
    const auto warm = agent.answer([&] { return realRun(agent, llama, QStringLiteral("Again")); }, &warmAttempts);
    EXPECT_EQ(kindOf(warm), QStringLiteral("completed"));
    for (const auto &attempt : warmAttempts)
        EXPECT_FALSE(hasPhase(attempt, "loadingModel"));
    EXPECT_EQ(childProcesses(agent.process.processId()), servers);

    // Byte tokens make this longer than any context the server has (8192 asked, the model's 2048 given).
    AgentRuntimeRequest huge = realRun(agent, llama, QStringLiteral("Summarize"));
    huge.attachments = {selectedTextAttachment(QStringLiteral("many words of context ").repeated(2000))};
    const QJsonObject tooLarge = agent.outcome(huge, eventWait);
    EXPECT_EQ(tooLarge.value("kind").toString(), QStringLiteral("error"));
    EXPECT_EQ(tooLarge.value("code").toString(), QStringLiteral("contextTooLarge"));
    EXPECT_EQ(tooLarge.value("text").toString(), QStringLiteral("The selected context is too large for this local model."));
    EXPECT_EQ(childProcesses(agent.process.processId()), servers) << "an oversized request keeps the server";
}

TEST(RealLlamaServer, FailedAndKilledServersFailTheRunInPlainWordsAndTheNextRunStartsAnother)
{
    ORVEL_REQUIRE_REAL_LLAMA(llama);
    AgentProcess agent;
    RealLlama::applyTestSettings(agent.env, 1500); // long enough to be cut off after its first words
    agent.start();

    // A model that does not load: the server's own reason, without its log's time and level.
    AgentRuntimeRequest corrupt = agent.localRun(QStringLiteral("Hello"), QStringLiteral(ORVEL_TINY_GGUF_CORRUPT));
    corrupt.llamaServerPath = llama.server;
    const QJsonObject loadFailure = agent.outcome(corrupt, eventWait);
    EXPECT_EQ(loadFailure.value("code").toString(), QStringLiteral("modelLoadFailed"));
    EXPECT_EQ(loadFailure.value("text").toString().toStdString(),
              "llama-server could not load Qwen Writer. llama_model_load: error loading model: tensor "
              "'output.weight' data is not within the file bounds, model is corrupted or incomplete");

    // The random model may still end on its own before the kill lands: then it is asked again.
    QList<QJsonObject> events;
    qint64 killed = 0;
    for (int attempt = 0; attempt < 5 && !killed; ++attempt) {
        const AgentRuntimeRequest request = realRun(agent, llama, QStringLiteral("Write at length"));
        agent.send(request);
        events.clear();
        while (const auto e = agent.nextEvent(eventWait)) {
            events << *e;
            const QString kind = e->value("kind").toString();
            if (kind == QStringLiteral("delta") && !killed) {
                const QList<qint64> servers = childProcesses(agent.process.processId());
                ASSERT_EQ(servers.size(), 1);
                killed = servers.first();
                ::kill(pid_t(killed), SIGKILL);
            }
            if (kind == QStringLiteral("completed") || kind == QStringLiteral("error"))
                break;
        }
        if (killed && kindOf(events) == QStringLiteral("completed"))
            killed = 0; // finished before the kill reached it
    }
    ASSERT_TRUE(killed) << "no run was still streaming when its server was killed";
    const QJsonObject failure = AgentProcess::last(events);
    EXPECT_EQ(failure.value("kind").toString(), QStringLiteral("error"));
    EXPECT_EQ(failure.value("code").toString(), QStringLiteral("generationFailed"));
    EXPECT_TRUE(failure.value("text").toString().startsWith(QStringLiteral("The local model stopped unexpectedly.")))
        << failure.value("text").toString().toStdString();
    EXPECT_TRUE(waitUntilProcessGone(killed));
    EXPECT_EQ(agent.process.state(), QProcess::Running) << "the runtime outlives its server";

    // The dead server is not reused: the next run loads the model into a new one.
    QList<QList<QJsonObject>> attempts;
    const auto next = agent.answer([&] { return realRun(agent, llama, QStringLiteral("Again")); }, &attempts);
    EXPECT_EQ(kindOf(next), QStringLiteral("completed")) << AgentProcess::last(next).value("text").toString().toStdString();
    EXPECT_TRUE(hasPhase(attempts.first(), "loadingModel"));
    const QList<qint64> servers = childProcesses(agent.process.processId());
    ASSERT_EQ(servers.size(), 1);
    EXPECT_NE(servers.first(), killed);

    // What the runtime passes on of the servers' output is their errors, not their chatter.
    const QStringList forwarded = QString::fromUtf8(agent.process.readAllStandardError())
                                      .split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                                      .filter(QStringLiteral("llama-server: "));
    EXPECT_FALSE(forwarded.isEmpty());
    for (const QString &line : forwarded)
        EXPECT_TRUE(line.contains(QStringLiteral("load")) && !line.contains(QRegularExpression(QStringLiteral("[0-9]\\.[0-9]+ [IWDE] "))))
            << line.toStdString();
}
