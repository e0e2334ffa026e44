#include "RuntimeHarness.h"

#include "speech/AppPaths.h"

#include <csignal>

namespace {
QByteArray out(const QByteArray &line) { return "out " + line + "\n"; }
bool processAlive(qint64 pid) { return pid > 0 && ::kill(pid_t(pid), 0) == 0; }
} // namespace

using Kind = AgentRuntimeError::Kind;

// Streaming and reuse of the process are walked with the real runtime (RealRuntimeTest); this is
// the launch and the framing a real runtime rarely produces: a line split across reads, blank
// lines, two in one.
TEST_F(RuntimeHarness, LaunchIsCleanAndEventsSurviveSplitReadsAndEmptyLines)
{
    qputenv("OPENAI_API_KEY", "sk-should-not-leak");
    qputenv("OPENAI_PROJECT", "p");
    qputenv("OPENAI_BASE_URL", "http://elsewhere.invalid");
    script(">>> write\n" + out(ev("phase", R"(,"phase":"loadingModel")")) + "out \n" +
           "part " + ev("phase", R"(,"phase":"generating")").left(30) + "\n" +
           "part " + ev("phase", R"(,"phase":"generating")").mid(30) + "{lf}{lf}\n" +
           out(ev("delta", R"(,"text":"Hel")") + "{lf}" + ev("delta", R"(,"text":"lo")")) +
           out(ev("completed", R"(,"text":"Hello")")));
    start();
    auto first = run(QStringLiteral("write"));
    qunsetenv("OPENAI_API_KEY");
    qunsetenv("OPENAI_PROJECT");
    qunsetenv("OPENAI_BASE_URL");
    ASSERT_TRUE(finished(first));
    ASSERT_TRUE(first->result->ok()) << first->error().toStdString();
    EXPECT_EQ(first->result->value(), QStringLiteral("Hello"));
    ASSERT_EQ(first->events.size(), 5u);
    EXPECT_EQ(first->events[1].phase, AgentPhase::generating);
    EXPECT_EQ(first->events[2].text, QStringLiteral("Hel"));
    EXPECT_EQ(first->events[3].text, QStringLiteral("lo"));
    EXPECT_EQ(scheduler.activeCount(), 0); // the run's deadlines are gone

    // No arguments, tracing off, and no cloud variables of the application's environment.
    const QStringList log = logLines();
    for (const char *line : {"env OPENAI_AGENTS_DISABLE_TRACING=1", "env OPENAI_API_KEY=<unset>", "env OPENAI_PROJECT=<unset>",
                             "env OPENAI_BASE_URL=<unset>", "env PATH=set"})
        EXPECT_TRUE(log.contains(QLatin1String(line))) << line;
    EXPECT_EQ(log.filter(QStringLiteral(" argc 1")).size(), 1);
}

TEST_F(RuntimeHarness, SecondRunIsBusyAndCancelRetiresTheProcessAndDropsItsLateEvents)
{
    script(">>> slow\n" + QByteArray("onshutdown ") + ev("completed", R"(,"text":"late")") + "\ndeaf\n" +
           ">>> quick\n" + out(ev("completed", R"(,"text":"fresh")")));
    start();
    auto slow = run(QStringLiteral("slow"));
    auto busy = run(QStringLiteral("quick"));
    ASSERT_TRUE(finished(busy));
    EXPECT_EQ(busy->result->error().error()->kind(), Kind::busy);
    EXPECT_FALSE(slow->result);

    const auto oldGeneration = service->processGeneration();
    const qint64 oldPid = service->processId();
    service->cancel(QUuid::createUuid()); // unknown: nothing happens
    EXPECT_TRUE(service->hasProcess());
    // Cancel the run by its own identifier, taken from the line the runtime received.
    ASSERT_TRUE(QTest::qWaitFor([&] { return logLines().filter(QStringLiteral("\"instruction\":\"slow\"")).size() == 1; }, 10000));
    const QString received = logLines().filter(QStringLiteral("\"instruction\":\"slow\"")).first().mid(5);
    const auto sent = AgentProtocol::decodeRequest(received.toUtf8());
    ASSERT_TRUE(sent);
    service->cancel(sent->requestID);
    ASSERT_TRUE(finished(slow));
    EXPECT_EQ(slow->result->error().kind(), AgentRunFailure::Kind::cancelled);
    EXPECT_FALSE(slow->result->error().error()) << "a cancellation is no runtime error";
    EXPECT_FALSE(service->hasProcess());
    ASSERT_TRUE(logged(QStringLiteral("shutdown")));
    const QStringList shutdowns = logLines().filter(QStringLiteral("\"command\":\"shutdown\""));
    ASSERT_EQ(shutdowns.size(), 1);
    const auto shutdown = AgentProtocol::decodeRequest(shutdowns.first().mid(5).toUtf8());
    ASSERT_TRUE(shutdown);
    EXPECT_EQ(shutdown->sessionPath, AppPaths::agentSessions());
    EXPECT_EQ(shutdown->toJson().size(), 5);
    QTest::qWait(100); // let the retired runtime's reply arrive; it must change nothing
    EXPECT_TRUE(slow->events.empty());

    // The next run gets a fresh process while the old one lingers.
    auto fresh = run(QStringLiteral("quick"));
    ASSERT_TRUE(finished(fresh));
    ASSERT_TRUE(fresh->result->ok());
    EXPECT_EQ(fresh->result->value(), QStringLiteral("fresh"));
    EXPECT_NE(service->processGeneration(), oldGeneration);
    EXPECT_EQ(starts(), 2);

    // The old one ignores shutdown and SIGTERM; after two graces it is killed.
    EXPECT_TRUE(processAlive(oldPid));
    scheduler.advance(2.0);
    scheduler.advance(2.0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !processAlive(oldPid); }, 10000));
    EXPECT_TRUE(service->hasProcess());
}

TEST_F(RuntimeHarness, RuntimeEventsDecideEachRunAndAGlobalErrorOrGarbageRetiresTheProcess)
{
    script(">>> other\n" +
           out(R"({"version":1,"requestID":"0F8FAD5B-D9CB-469F-A165-70867728950E","kind":"completed","text":"x"})") +
           "sleep 50\n" + out(ev("completed", R"(,"text":"mine")")) +
           ">>> told\n" + out(ev("error", R"(,"text":"Model file is damaged.")")) +
           ">>> empty\n" + out(ev("error", R"(,"text":"")")) +
           ">>> garbled\n" + out(ev("error", R"(,"text":"x","code":"invalidRuntimeResponse")")) +
           ">>> global\n" + out(R"({"version":1,"kind":"warning","text":"ignored"})") + out(R"({"version":1,"kind":"error"})") +
           ">>> bad\n" + out(ev("phase", R"(,"phase":"loadingModel")")) + "out not json\n" +
           out(ev("completed", R"(,"text":"never")")) +
           ">>> endless\n" + "outfill 17000000 x\nsleep 1000\n");
    start();
    // A completion for another request is not this run's.
    auto other = run(QStringLiteral("other"));
    ASSERT_TRUE(finished(other));
    ASSERT_TRUE(other->result->ok());
    EXPECT_EQ(other->result->value(), QStringLiteral("mine"));
    EXPECT_EQ(other->events.size(), 1u);
    const auto generation = service->processGeneration();
    EXPECT_EQ(failureOf(QStringLiteral("told")), QStringLiteral("Model file is damaged."));
    EXPECT_EQ(failureOf(QStringLiteral("empty")), QStringLiteral("Command failed."));
    auto garbled = run(QStringLiteral("garbled"));
    ASSERT_TRUE(finished(garbled));
    EXPECT_EQ(garbled->result->error().error()->kind(), Kind::invalidRuntimeResponse);
    EXPECT_EQ(service->processGeneration(), generation); // run errors keep the process

    EXPECT_EQ(failureOf(QStringLiteral("global")), QStringLiteral("Command rejected the request."));
    EXPECT_FALSE(service->hasProcess());
    // An undecodable line after a good one fails the run.
    auto bad = run(QStringLiteral("bad"));
    ASSERT_TRUE(finished(bad));
    ASSERT_EQ(bad->events.size(), 1u);
    EXPECT_EQ(bad->error(), QStringLiteral("Command returned an invalid response."));
    EXPECT_FALSE(service->hasProcess());
    // A line that never ends is refused once it passes the limit, not read on without bound.
    EXPECT_EQ(failureOf(QStringLiteral("endless")), QStringLiteral("Command sent a reply longer than 16 MB, which is not allowed."));
    EXPECT_FALSE(service->hasProcess());
}

TEST_F(RuntimeHarness, LoadingDeadlineNamesTheModelAndGeneratingInTimeLeavesOnlyTheRunDeadline)
{
    script(">>> stuck\nerr \nerr  \n>>> long\n" + out(ev("phase", R"(,"phase":"loadingModel")")) +
           "err first\nerr \nerr   \nerr A\nerr B\nerr C\nerr \n" + out(ev("phase", R"(,"phase":"generating")")));
    start();
    auto request = RuntimeHarness::request(QStringLiteral("stuck"));
    request.model = AgentModelDescriptor::catalogEntry(QStringLiteral("qwen3-4b-q4"));
    auto named = run(request);
    ASSERT_TRUE(logged(QStringLiteral("env PATH=set")));
    scheduler.advance(30.0);
    ASSERT_TRUE(finished(named));
    EXPECT_EQ(named->error(), QStringLiteral("Qwen Writer did not start in time.")); // blank lines add nothing
    EXPECT_FALSE(service->hasProcess());

    auto probe = run(QStringLiteral("long"));
    ASSERT_TRUE(eventCount(probe, 2));
    scheduler.advance(29.9);
    EXPECT_FALSE(probe->result);
    scheduler.advance(1.0);
    QCoreApplication::processEvents();
    EXPECT_FALSE(probe->result); // past 30 s: the loading deadline was lifted
    scheduler.advance(89.0);
    QCoreApplication::processEvents();
    EXPECT_FALSE(probe->result);
    ASSERT_TRUE(QTest::qWaitFor([&] { return service->diagnosticSuffix() == QStringLiteral(" A B C"); }, 10000));
    scheduler.advance(0.2);
    ASSERT_TRUE(finished(probe));
    EXPECT_EQ(probe->error(), QStringLiteral("Command stopped responding. A B C"));
    EXPECT_FALSE(service->hasProcess());
}

TEST_F(RuntimeHarness, LoadingProgressExtendsBothDeadlinesUpToTheCap)
{
    const QByteArray loading = out(ev("phase", R"(,"phase":"loadingModel")"));
    const auto await = [&](const QString &name) { return "await " + scratchFile(name).toUtf8() + "\n"; };
    QByteArray text = ">>> endless\n" + loading;
    for (int i = 1; i <= 11; ++i)
        text += await(QStringLiteral("report-%1").arg(i)) + loading;
    text += ">>> slow\n" + loading + await("loaded") + loading + await("writing") +
            out(ev("phase", R"(,"phase":"generating")"));
    script(text);
    start();

    // Reports every 25 s keep it alive well past 30 s, but not past the cap.
    auto endless = run(QStringLiteral("endless"));
    ASSERT_TRUE(eventCount(endless, 1));
    for (int i = 1; i <= 11; ++i) {
        scheduler.advance(25.0);
        QCoreApplication::processEvents();
        ASSERT_FALSE(endless->result) << "failed before report " << i << ": " << endless->error().toStdString();
        touch(QStringLiteral("report-%1").arg(i));
        ASSERT_TRUE(eventCount(endless, size_t(i) + 1));
    }
    scheduler.advance(AgentRuntimeService::modelLoadCap - 275.0 - 0.1);
    QCoreApplication::processEvents();
    EXPECT_FALSE(endless->result);
    scheduler.advance(0.2);
    ASSERT_TRUE(finished(endless));
    EXPECT_EQ(endless->error(), QStringLiteral("The local model did not start in time."));

    // A load that took 25 s longer than the first deadline leaves the run its full time to write.
    auto slow = run(QStringLiteral("slow"));
    ASSERT_TRUE(eventCount(slow, 1));
    scheduler.advance(25.0);
    touch(QStringLiteral("loaded"));
    ASSERT_TRUE(eventCount(slow, 2));
    scheduler.advance(20.0);
    touch(QStringLiteral("writing"));
    ASSERT_TRUE(eventCount(slow, 3));
    scheduler.advance(99.0);
    QCoreApplication::processEvents();
    EXPECT_FALSE(slow->result);
    scheduler.advance(2.0);
    ASSERT_TRUE(finished(slow));
    EXPECT_EQ(slow->error(), QStringLiteral("Command stopped responding."));
}

TEST_F(RuntimeHarness, BrokenRequestPipeFailsTheRunAtOnce)
{
    script("closein\n");
    start();
    ASSERT_TRUE(service->ensureProcess().ok());
    ASSERT_TRUE(logged(QStringLiteral("closed input")));
    auto probe = run(QStringLiteral("lost"));
    ASSERT_TRUE(finished(probe)); // no deadline is advanced: only the write error can end it
    EXPECT_TRUE(probe->error().startsWith(QStringLiteral("The request could not be sent to Command:")))
        << probe->error().toStdString();
    EXPECT_FALSE(service->hasProcess());
}

TEST_F(RuntimeHarness, ExitMidRunFailsWithTheLastErrorLinesKeptToTheirLast8192Bytes)
{
    script(">>> crash\n" + out(ev("phase", R"(,"phase":"generating")")) +
           "err one\nerr two\xe2\x80\xa8three\nerr four\nexit 3\n" +
           ">>> noisy\nerrfill 1808 a\nerrfill 8192 b\nexit 1\n>>> ok\n" + out(ev("completed", R"(,"text":"ok")")));
    start();
    EXPECT_EQ(failureOf(QStringLiteral("crash")), QStringLiteral("Command stopped unexpectedly. two three four"));
    EXPECT_FALSE(service->hasProcess());
    EXPECT_EQ(failureOf(QStringLiteral("noisy")), QStringLiteral("Command stopped unexpectedly. ") + QString(8192, QLatin1Char('b')));
    auto next = run(QStringLiteral("ok"));
    ASSERT_TRUE(finished(next));
    EXPECT_TRUE(next->result->ok());
}

TEST_F(RuntimeHarness, MissingExecutableIsRuntimeMissing)
{
    start(QStringLiteral("/nonexistent/orvel-agent"));
    auto probe = run(QStringLiteral("any"));
    ASSERT_TRUE(finished(probe));
    EXPECT_EQ(probe->result->error().error()->kind(), Kind::runtimeMissing);

    // The override is returned unchecked, so the same failure comes from a missing file there.
    qputenv("ORVEL_ORVEL_AGENT_PATH", "/nonexistent/override");
    EXPECT_EQ(AgentRuntimeService::bundledExecutable(QStringLiteral("orvel-agent")),
              QStringLiteral("/nonexistent/override"));
    service = std::make_unique<AgentRuntimeService>(scheduler);
    EXPECT_EQ(service->ensureProcess().error().kind(), Kind::runtimeMissing);
    qunsetenv("ORVEL_ORVEL_AGENT_PATH");
}

TEST_F(RuntimeHarness, EndingTheServiceEndsItsRuntimes)
{
    script("deaf\n");
    start();
    ASSERT_TRUE(service->ensureProcess().ok());
    const qint64 pid = service->processId();
    ASSERT_TRUE(logged(QStringLiteral("env PATH=set")));
    service.reset();
    EXPECT_FALSE(processAlive(pid));
    EXPECT_EQ(starts(), 1);
}
