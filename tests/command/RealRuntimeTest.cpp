// The service with the real orvel-agent: the contract between them, until now only tested
// against a stand-in on each side. The server behind the runtime is the scripted stand-in, and
// the real llama-server where set-up provided it.
#include "FakeScheduler.h"
#include "RealEngines.h"
#include "RuntimeHarness.h"
#include "TempDataHome.h"
#include "command/AgentRuntimeService.h"
#include "speech/AppPaths.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {

class RealRuntime : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString support = qEnvironmentVariable("ORVEL_TEST_SUPPORT_DIR");
        agentPath = QDir(support + QStringLiteral("/../../libexec/orvel-raza/orvel-agent")).absolutePath();
        standIn = support + QStringLiteral("/llama-server-standin");
        ASSERT_TRUE(QFile::exists(agentPath)) << agentPath.toStdString();
        model = scratch.filePath(QStringLiteral("model.gguf"));
        QFile f(model);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("GGUF");
        qputenv("FAKE_LLAMA_SCRIPT", scratch.filePath(QStringLiteral("script.json")).toUtf8());
        qputenv("FAKE_LLAMA_LOG", scratch.filePath(QStringLiteral("log.jsonl")).toUtf8());
        service = std::make_unique<AgentRuntimeService>(scheduler, agentPath);
    }
    void TearDown() override
    {
        service.reset();
        for (const char *name : {"FAKE_LLAMA_SCRIPT", "FAKE_LLAMA_LOG", "LLAMA_ARG_THREADS", "LLAMA_ARG_N_PREDICT"})
            qunsetenv(name);
    }

    void script(const QJsonObject &object)
    {
        QFile f(scratch.filePath(QStringLiteral("script.json")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QJsonDocument(object).toJson());
    }
    QList<qint64> standInPids() const
    {
        QList<qint64> pids;
        QFile f(scratch.filePath(QStringLiteral("log.jsonl")));
        if (f.open(QIODevice::ReadOnly))
            for (const QByteArray &line : f.readAll().split('\n'))
                if (const QJsonObject e = QJsonDocument::fromJson(line).object(); e.value("event") == "start")
                    pids << e.value("pid").toInteger();
        return pids;
    }

    AgentRuntimeRequest localRun(const QString &instruction, const QString &server, const QString &modelPath)
    {
        AgentRuntimeRequest r;
        r.conversationID = conversation;
        r.model = AgentModelDescriptor::catalogEntry(QStringLiteral("qwen3-4b-q4"));
        r.instruction = instruction;
        r.modelPath = modelPath;
        r.llamaServerPath = server;
        r.sessionPath = AppPaths::agentSessions();
        return r;
    }
    std::shared_ptr<RunProbe> run(AgentRuntimeRequest request)
    {
        auto probe = std::make_shared<RunProbe>();
        probe->task = collectRun(service.get(), std::move(request), probe.get());
        return probe;
    }
    static bool finished(const std::shared_ptr<RunProbe> &probe, int ms = 30000)
    {
        return QTest::qWaitFor([&] { return probe->result.has_value(); }, ms);
    }
    static QString deltas(const RunProbe &probe)
    {
        QString text;
        for (const AgentRuntimeEvent &e : probe.events)
            if (e.kind == AgentProtocolEventKind::delta)
                text += e.text.value_or(QString());
        return text;
    }
    static bool sawPhase(const RunProbe &probe, AgentPhase phase)
    {
        return std::any_of(probe.events.begin(), probe.events.end(),
                           [&](const AgentRuntimeEvent &e) { return e.phase == phase; });
    }

    TempDataHome home;
    FakeScheduler scheduler;
    QTemporaryDir scratch;
    QString agentPath, standIn, model;
    QUuid conversation = QUuid::createUuid();
    std::unique_ptr<AgentRuntimeService> service;
};

QJsonObject stream(const QJsonArray &chunks, bool holdOpen = false)
{
    return QJsonObject{{"chunks", chunks}, {"holdOpen", holdOpen}};
}

} // namespace

TEST_F(RealRuntime, RunsStreamIntoTheServiceAndCancelRetiresTheRuntimeWithItsServer)
{
    script(QJsonObject{{"responses", QJsonArray{stream({QJsonObject{{"content", "Hel"}}, QJsonObject{{"content", "lo"}}}),
                                                stream({QJsonObject{{"content", "Partial"}}}, true)}}});
    auto first = run(localRun(QStringLiteral("Greet"), standIn, model));
    ASSERT_TRUE(finished(first));
    ASSERT_TRUE(first->result->ok()) << first->error().toStdString();
    EXPECT_EQ(first->result->value(), QStringLiteral("Hello"));
    EXPECT_EQ(deltas(*first), QStringLiteral("Hello"));
    EXPECT_TRUE(sawPhase(*first, AgentPhase::loadingModel));
    EXPECT_TRUE(sawPhase(*first, AgentPhase::generating));
    const qint64 runtimePid = service->processId();

    // A follow-up runs in the same runtime; cancelling it mid-stream ends both programs.
    AgentRuntimeRequest followUp = localRun(QStringLiteral("Longer"), standIn, model);
    followUp.command = AgentProtocolCommand::continue_;
    auto second = run(followUp);
    ASSERT_TRUE(QTest::qWaitFor([&] { return deltas(*second) == QStringLiteral("Partial"); }, 30000));
    EXPECT_EQ(service->processId(), runtimePid);
    service->cancel(followUp.requestID);
    ASSERT_TRUE(finished(second));
    EXPECT_TRUE(second->result->error().isCancelled());
    EXPECT_FALSE(service->hasProcess());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !isRunningProcess(runtimePid); }, 10000));
    ASSERT_EQ(standInPids().size(), 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !isRunningProcess(standInPids().first()); }, 10000));
    QTest::qWait(200);
    EXPECT_EQ(deltas(*second), QStringLiteral("Partial")) << "nothing of a cancelled run arrives later";
}

TEST_F(RealRuntime, RealServerAnswersThroughTheService)
{
    ORVEL_REQUIRE_REAL_LLAMA(llama);
    // As in the runtime's own tests: one server thread, and a bound on the random model's noise.
    qputenv("LLAMA_ARG_THREADS", "1");
    qputenv("LLAMA_ARG_N_PREDICT", "48");
    // The random model ends before its first word about one time in twenty: ask again then.
    std::shared_ptr<RunProbe> probe;
    for (int attempt = 0; attempt < 5; ++attempt) {
        probe = run(localRun(QStringLiteral("Say something"), llama.server, llama.model));
        ASSERT_TRUE(finished(probe, 110000));
        if (probe->error() != QStringLiteral("The model returned no text."))
            break;
    }
    ASSERT_TRUE(probe->result->ok()) << probe->error().toStdString();
    EXPECT_FALSE(probe->result->value().isEmpty());
    EXPECT_EQ(deltas(*probe), probe->result->value());
    EXPECT_TRUE(sawPhase(*probe, AgentPhase::generating));
}
