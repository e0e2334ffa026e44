// The service with the real orvel-agent and the real llama-server: the contract between them,
// otherwise only tested against a stand-in on each side. Time is virtual, so no deadline of the
// service fires however slowly the shared machine runs.
#include "RealEngines.h"
#include "RuntimeHarness.h"
#include "speech/AppPaths.h"

#include <QTest>

#include <csignal>

namespace {

class RealRuntime : public RuntimeHarness {
protected:
    void SetUp() override
    {
        RuntimeHarness::SetUp();
        ORVEL_REQUIRE_REAL_LLAMA(found);
        llama = found;
        const QString support = qEnvironmentVariable("ORVEL_TEST_SUPPORT_DIR");
        const QString agent = QDir(support + QStringLiteral("/../../libexec/orvel-raza/orvel-agent")).absolutePath();
        ASSERT_TRUE(QFile::exists(agent)) << agent.toStdString();
        // Long answers, so that a run can be caught mid-stream.
        RealLlama::applyTestSettings(1500);
        runWaitMs = 60000;
        start(agent);
    }
    void TearDown() override
    {
        RuntimeHarness::TearDown();
        RealLlama::clearTestSettings();
    }

    static AgentRuntimeRequest localRun(const RealLlama &llama, const QString &instruction)
    {
        AgentRuntimeRequest r = request(instruction);
        r.conversationID = QUuid::createUuid();
        r.model = AgentModelDescriptor::catalogEntry(QStringLiteral("qwen3-4b-q4"));
        r.modelPath = llama.model;
        r.llamaServerPath = llama.server;
        r.sessionPath = AppPaths::agentSessions();
        return r;
    }
    // One finished run; the random model ends before its first word about one time in twenty,
    // which is rightly reported as no text, so then it is asked again.
    std::shared_ptr<RunProbe> answer(const QString &instruction)
    {
        std::shared_ptr<RunProbe> probe;
        for (int attempt = 0; attempt < 5; ++attempt) {
            probe = run(localRun(llama, instruction));
            if (!finished(probe) || probe->events.empty() || probe->events.back().code != QStringLiteral("emptyResult"))
                break;
        }
        return probe;
    }
    // A run that has streamed words and not yet ended, or null. A random answer that ends too
    // soon is asked again.
    std::shared_ptr<RunProbe> streaming(AgentRuntimeRequest &request)
    {
        for (int attempt = 0; attempt < 5; ++attempt) {
            request.requestID = QUuid::createUuid();
            auto probe = run(request);
            if (!QTest::qWaitFor([&] { return probe->result || !deltas(*probe).isEmpty(); }, runWaitMs))
                return nullptr;
            if (!probe->result)
                return probe;
        }
        return nullptr;
    }
    static bool gone(qint64 pid) { return QTest::qWaitFor([&] { return !isRunningProcess(pid); }, 15000); }
    static QString deltas(const RunProbe &probe)
    {
        QString text;
        for (const AgentRuntimeEvent &e : probe.events)
            if (e.kind == AgentProtocolEventKind::delta)
                text += e.text.value_or(QString());
        return text;
    }

    // The runtime answers after having been replaced: a new process, its own server.
    void expectFreshRuntimeAnswers(qint64 oldRuntime)
    {
        const auto again = answer(QStringLiteral("Once more"));
        ASSERT_TRUE(again->result);
        EXPECT_TRUE(again->result->ok()) << again->error().toStdString();
        EXPECT_NE(service->processId(), oldRuntime);
        EXPECT_EQ(childProcesses(service->processId()).size(), 1);
    }

    RealLlama llama;
};

} // namespace

TEST_F(RealRuntime, StartsAnswersAndCancelEndsTheRuntimeWithItsServer)
{
    ASSERT_TRUE(service->ensureProcess().ok());
    const qint64 runtime = service->processId();
    EXPECT_TRUE(isRunningProcess(runtime));
    ASSERT_TRUE(service->ensureProcess().ok());
    EXPECT_EQ(service->processId(), runtime) << "a running runtime is kept";

    const auto first = answer(QStringLiteral("Say something"));
    ASSERT_TRUE(first->result);
    ASSERT_TRUE(first->result->ok()) << first->error().toStdString();
    EXPECT_FALSE(first->result->value().isEmpty());
    EXPECT_EQ(deltas(*first), first->result->value()); // its phases are walked in RealLlamaServerTest
    EXPECT_EQ(service->processId(), runtime);
    const QList<qint64> servers = childProcesses(runtime);
    ASSERT_EQ(servers.size(), 1);

    // A second run in the same runtime, cancelled mid-stream: both programs end, nothing more
    // arrives. (A follow-up would not do: the noise of the first answer fills the tiny context.)
    AgentRuntimeRequest request = localRun(llama, QStringLiteral("Write at length"));
    const auto second = streaming(request);
    ASSERT_TRUE(second) << "no run was still streaming";
    EXPECT_EQ(service->processId(), runtime);
    service->cancel(request.requestID);
    ASSERT_TRUE(finished(second));
    EXPECT_TRUE(second->result->error().isCancelled());
    EXPECT_FALSE(service->hasProcess());
    EXPECT_TRUE(gone(runtime)) << "runtime left running";
    EXPECT_TRUE(gone(servers.first())) << "llama-server left running";
    const size_t seen = second->events.size();
    QTest::qWait(300);
    EXPECT_EQ(second->events.size(), seen) << "nothing of a cancelled run arrives later";

    expectFreshRuntimeAnswers(runtime);
}

TEST_F(RealRuntime, RuntimeKilledMidRunFailsTheRunAndTakesItsServerAlong)
{
    // Frozen, the server adds nothing; a run still open once what it sent is read is mid-stream.
    std::shared_ptr<RunProbe> probe;
    QList<qint64> servers;
    for (int attempt = 0; attempt < 5; ++attempt) {
        AgentRuntimeRequest request = localRun(llama, QStringLiteral("Write at length"));
        probe = streaming(request);
        ASSERT_TRUE(probe) << "no run was still streaming";
        servers = childProcesses(service->processId());
        ASSERT_EQ(servers.size(), 1);
        ::kill(pid_t(servers.first()), SIGSTOP);
        QTest::qWait(500);
        if (!probe->result)
            break;
        ::kill(pid_t(servers.first()), SIGCONT);
    }
    ASSERT_FALSE(probe->result) << "every run ended before its server was frozen";
    const qint64 runtime = service->processId();
    ::kill(pid_t(runtime), SIGKILL);

    ASSERT_TRUE(finished(probe)) << "the run waits on a dead runtime";
    ASSERT_FALSE(probe->result->ok());
    EXPECT_FALSE(probe->result->error().isCancelled()) << probe->error().toStdString();
    EXPECT_TRUE(probe->error().startsWith(QStringLiteral("Command stopped unexpectedly."))) << probe->error().toStdString();
    EXPECT_FALSE(service->hasProcess());
    EXPECT_TRUE(gone(servers.first())) << "llama-server outlived its runtime";

    expectFreshRuntimeAnswers(runtime);
}
