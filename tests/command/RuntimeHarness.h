#pragma once

#include "FakeScheduler.h"
#include "TempDataHome.h"
#include "command/AgentRuntimeService.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

// One run of the service, watched from a test.
struct RunProbe {
    std::optional<AgentRunResult> result;
    std::vector<AgentRuntimeEvent> events;
    QCoro::Task<> task;

    QString error() const { return result && !result->ok() ? result->error().description() : QString(); }
};

// The probe owns this coroutine's task, so it outlives it. No temporaries inside co_await:
// GCC 12 destroys those twice.
inline QCoro::Task<> collectRun(AgentRuntimeService *service, AgentRuntimeRequest request, RunProbe *probe)
{
    AgentRuntimeService::EventHandler handler = [probe](const AgentRuntimeEvent &e) { probe->events.push_back(e); };
    QCoro::Task<AgentRunResult> run = service->run(std::move(request), std::move(handler));
    AgentRunResult result = co_await run;
    probe->result = std::move(result);
}

// The service against the scripted stand-in runtime, on virtual time.
class RuntimeHarness : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_executable = qEnvironmentVariable("ORVEL_TEST_SUPPORT_DIR") + QStringLiteral("/fake-orvel-agent");
        ASSERT_TRUE(QFile::exists(m_executable)) << m_executable.toStdString();
        m_log = m_dir.filePath(QStringLiteral("runtime.log"));
        qputenv("FAKE_RUNTIME_LOG", m_log.toUtf8());
        qputenv("FAKE_RUNTIME_SCRIPT", m_dir.filePath(QStringLiteral("script.txt")).toUtf8());
    }
    void TearDown() override
    {
        service.reset();
        qunsetenv("FAKE_RUNTIME_LOG");
        qunsetenv("FAKE_RUNTIME_SCRIPT");
    }

    QString scratchFile(const QString &name) const { return m_dir.filePath(name); }
    void touch(const QString &name)
    {
        QFile f(scratchFile(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }

    void script(const QByteArray &text)
    {
        QFile f(m_dir.filePath(QStringLiteral("script.txt")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }

    AgentRuntimeService &start(std::optional<QString> executable = {})
    {
        service = std::make_unique<AgentRuntimeService>(scheduler, executable ? executable : m_executable);
        return *service;
    }

    static AgentRuntimeRequest request(const QString &instruction)
    {
        AgentRuntimeRequest r;
        r.instruction = instruction;
        return r;
    }

    std::shared_ptr<RunProbe> run(const QString &instruction) { return run(request(instruction)); }
    std::shared_ptr<RunProbe> run(AgentRuntimeRequest r)
    {
        auto probe = std::make_shared<RunProbe>();
        probe->task = collectRun(service.get(), std::move(r), probe.get());
        return probe;
    }

    bool finished(const std::shared_ptr<RunProbe> &probe) const
    {
        return QTest::qWaitFor([&] { return probe->result.has_value(); }, runWaitMs);
    }
    // The error of a run that failed, once it has.
    QString failureOf(const QString &instruction)
    {
        const auto probe = run(instruction);
        return finished(probe) ? probe->error() : QStringLiteral("(still running)");
    }
    static bool eventCount(const std::shared_ptr<RunProbe> &probe, size_t n)
    {
        return QTest::qWaitFor([&] { return probe->events.size() >= n; }, 10000);
    }

    QStringList logLines() const
    {
        QFile f(m_log);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    int starts() const { return int(logLines().filter(QRegularExpression(QStringLiteral("^start "))).size()); }
    bool logged(const QString &line) const
    {
        return QTest::qWaitFor([&] { return logLines().contains(line); }, 10000);
    }

    int runWaitMs = 10000;
    TempDataHome home;
    FakeScheduler scheduler;
    std::unique_ptr<AgentRuntimeService> service;

private:
    QTemporaryDir m_dir;
    QString m_executable;
    QString m_log;
};

// Event lines for scripts.
inline QByteArray ev(const char *kind, const char *extra = "")
{
    return QByteArray(R"({"version":1,"requestID":"{id}","kind":")") + kind + "\"" + extra + "}";
}
