// The runtime with the real llama-server and the suite's tiny random-weight model. The model's
// words are noise; what is checked is what the runtime makes of a real server.
#include "AgentProcess.h"
#include "AgentTestData.h"
#include "RealEngines.h"

#include <algorithm>
#include <csignal>

namespace {

bool hasPhase(const QList<QJsonObject> &events, const char *phase)
{
    return std::any_of(events.begin(), events.end(),
                       [&](const QJsonObject &e) { return e.value("phase").toString() == QLatin1String(phase); });
}

// llama-server reads these from the environment the runtime passes on. One thread: ggml's
// workers spin while they wait for each other, and on a machine shared by many jobs two threads
// measured ~1500 times slower than one. A token limit, because the random model rarely stops.
void startWithTestServerSettings(AgentProcess &agent)
{
    agent.env.insert(QStringLiteral("LLAMA_ARG_THREADS"), QStringLiteral("1"));
    agent.env.insert(QStringLiteral("LLAMA_ARG_N_PREDICT"), QStringLiteral("48"));
    agent.start();
}

AgentRuntimeRequest realRun(AgentProcess &agent, const RealLlama &llama, const QString &instruction)
{
    AgentRuntimeRequest r = agent.localRun(instruction, llama.model);
    r.llamaServerPath = llama.server;
    return r;
}

// The random model's first token is its end-of-text about one time in twenty, which the runtime
// rightly reports as no text; such a run is asked again. Every attempt's events are kept in order.
QList<QJsonObject> answer(AgentProcess &agent, const RealLlama &llama, const QString &instruction,
                          QList<QList<QJsonObject>> *attempts = nullptr)
{
    QList<QJsonObject> events;
    for (int attempt = 0; attempt < 5; ++attempt) {
        const AgentRuntimeRequest request = realRun(agent, llama, instruction);
        agent.send(request);
        events = agent.eventsUntilDone(request.requestID, 120000);
        if (attempts)
            attempts->append(events);
        if (AgentProcess::last(events).value("code").toString() != QStringLiteral("emptyResult"))
            break;
    }
    return events;
}

} // namespace

TEST(RealLlamaServer, ColdLoadWarmReuseStreamedDeltasAndAContextTooLarge)
{
    ORVEL_REQUIRE_REAL_LLAMA(llama);
    AgentProcess agent;
    startWithTestServerSettings(agent);

    QList<QList<QJsonObject>> coldAttempts;
    const auto first = answer(agent, llama, QStringLiteral("Say something"), &coldAttempts);
    ASSERT_EQ(AgentProcess::last(first).value("kind").toString(), QStringLiteral("completed"))
        << AgentProcess::last(first).value("text").toString().toStdString();
    EXPECT_TRUE(hasPhase(coldAttempts.first(), "loadingModel"));
    EXPECT_TRUE(hasPhase(first, "generating"));
    const QString text = AgentProcess::last(first).value("text").toString();
    EXPECT_FALSE(text.isEmpty());
    EXPECT_EQ(AgentProcess::joined(first, "delta"), text);
    const QList<qint64> servers = childProcesses(agent.process.processId());
    ASSERT_EQ(servers.size(), 1);

    // Warm: the same server, no loading phase.
    QList<QList<QJsonObject>> warmAttempts;
    EXPECT_EQ(AgentProcess::last(answer(agent, llama, QStringLiteral("Again"), &warmAttempts)).value("kind").toString(),
              QStringLiteral("completed"));
    for (const auto &attempt : warmAttempts)
        EXPECT_FALSE(hasPhase(attempt, "loadingModel"));
    EXPECT_EQ(childProcesses(agent.process.processId()), servers);

    // Byte tokens make this longer than any context the server has (8192 asked, the model's 2048 given).
    AgentRuntimeRequest huge = realRun(agent, llama, QStringLiteral("Summarize"));
    huge.attachments = {selectedTextAttachment(QStringLiteral("many words of context ").repeated(2000))};
    agent.send(huge);
    const QJsonObject tooLarge = AgentProcess::last(agent.eventsUntilDone(huge.requestID, 120000));
    EXPECT_EQ(tooLarge.value("kind").toString(), QStringLiteral("error"));
    EXPECT_EQ(tooLarge.value("code").toString(), QStringLiteral("contextTooLarge"));
    EXPECT_EQ(tooLarge.value("text").toString(), QStringLiteral("The selected context is too large for this local model."));
    EXPECT_EQ(childProcesses(agent.process.processId()), servers) << "an oversized request keeps the server";
}

TEST(RealLlamaServer, ServerEndsWithTheRuntimeHoweverItEnds)
{
    ORVEL_REQUIRE_REAL_LLAMA(llama);
    for (const char *how : {"shutdown", "sigkill"}) {
        SCOPED_TRACE(how);
        AgentProcess agent;
        startWithTestServerSettings(agent);
        ASSERT_EQ(AgentProcess::last(answer(agent, llama, QStringLiteral("Warm up"))).value("kind").toString(),
                  QStringLiteral("completed"));
        const QList<qint64> servers = childProcesses(agent.process.processId());
        ASSERT_EQ(servers.size(), 1);
        if (QByteArray(how) == "shutdown")
            agent.send(AgentRuntimeRequest::shutdown(agent.sessionPath));
        else
            ::kill(pid_t(agent.process.processId()), SIGKILL);
        ASSERT_TRUE(agent.process.waitForFinished(10000));
        EXPECT_TRUE(AgentProcess::waitUntilGone(servers.first()));
    }
}
