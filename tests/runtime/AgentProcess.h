#pragma once

#include "../speech/TestFiles.h"
#include "command/AgentRuntimeProtocol.h"
#include "RealEngines.h"
#include "platform/Json.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>

// The runtime as the application sees it: a child process spoken to over its pipes, with the
// stand-in server scripted through files in a scratch folder.
class AgentProcess {
public:
    AgentProcess()
    {
        const QString support = qEnvironmentVariable("ORVEL_TEST_SUPPORT_DIR");
        buildDir = QDir(support + QStringLiteral("/../..")).absolutePath();
        serverPath = support + QStringLiteral("/llama-server-standin");
        modelPath = scratch.filePath(QStringLiteral("model.gguf"));
        otherModelPath = scratch.filePath(QStringLiteral("other.gguf"));
        for (const QString &p : {modelPath, otherModelPath}) {
            QFile f(p);
            (void)f.open(QIODevice::WriteOnly);
            f.write("GGUF");
        }
        sessionPath = scratch.filePath(QStringLiteral("data/sessions.sqlite"));
        env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("FAKE_LLAMA_SCRIPT"), scratch.filePath(QStringLiteral("script.json")));
        env.insert(QStringLiteral("FAKE_LLAMA_LOG"), scratch.filePath(QStringLiteral("log.jsonl")));
        setScript(QJsonObject{});
    }
    ~AgentProcess()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
        for (qint64 pid : serverPids())
            ::kill(pid_t(pid), SIGKILL);
    }

    void setScript(const QJsonObject &script)
    {
        QFile f(scratch.filePath(QStringLiteral("script.json")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QJsonDocument(script).toJson());
    }

    void start()
    {
        process.setProcessEnvironment(env);
        process.start(buildDir + QStringLiteral("/libexec/orvel-raza/orvel-agent"), {});
        ASSERT_TRUE(process.waitForStarted(10000));
    }

    void send(const QByteArray &line) { process.write(line + '\n'); }
    void send(const AgentRuntimeRequest &request) { process.write(AgentProtocol::encodedLine(request)); }

    AgentRuntimeRequest localRun(const QString &instruction, const QString &model = {})
    {
        AgentRuntimeRequest r;
        r.conversationID = conversationID;
        r.model = AgentModelDescriptor::catalogEntry(QStringLiteral("qwen3-4b-q4"));
        r.instruction = instruction;
        r.trustedInstructions = QStringLiteral("Trusted rules.");
        r.modelPath = model.isEmpty() ? modelPath : model;
        r.llamaServerPath = serverPath;
        r.sessionPath = sessionPath;
        return r;
    }

    // The next event line, or nullopt after `ms` milliseconds or when the output ends.
    std::optional<QJsonObject> nextEvent(int ms = 20000)
    {
        QElapsedTimer timer;
        timer.start();
        for (;;) {
            const qsizetype end = buffer.indexOf('\n');
            if (end >= 0) {
                const QByteArray line = buffer.left(end);
                buffer.remove(0, end + 1);
                rawLines << line;
                return QJsonDocument::fromJson(line).object();
            }
            const qint64 left = ms - timer.elapsed();
            if (left <= 0 || process.state() == QProcess::NotRunning) {
                buffer += process.readAllStandardOutput();
                if (buffer.contains('\n'))
                    continue;
                return std::nullopt;
            }
            process.waitForReadyRead(int(left));
            buffer += process.readAllStandardOutput();
        }
    }

    // Every event of one request up to and including its `completed`, `error` or `conversations`.
    QList<QJsonObject> eventsUntilDone(const QUuid &requestID, int ms = 20000)
    {
        QList<QJsonObject> events;
        const QString id = requestID.toString(QUuid::WithoutBraces).toUpper();
        while (auto e = nextEvent(ms)) {
            if (e->value(QStringLiteral("requestID")).toString() != id)
                continue;
            events << *e;
            const QString kind = e->value(QStringLiteral("kind")).toString();
            if (kind == QStringLiteral("completed") || kind == QStringLiteral("error") ||
                kind == QStringLiteral("conversations"))
                break;
        }
        return events;
    }

    // Sends a request made afresh for each attempt. The random test model ends at once about one
    // time in twenty, which is rightly "no text": such a run is asked again, and with `retryBusy`
    // one refused while a cancelled run winds down. Every attempt's events are kept in order.
    QList<QJsonObject> answer(const std::function<AgentRuntimeRequest()> &make, QList<QList<QJsonObject>> *attempts = nullptr,
                              bool retryBusy = false)
    {
        QList<QJsonObject> events;
        for (int attempt = 0; attempt < 5; ++attempt) {
            const AgentRuntimeRequest request = make();
            send(request);
            events = eventsUntilDone(request.requestID, 60000);
            if (attempts)
                attempts->append(events);
            const QString code = last(events).value(QStringLiteral("code")).toString();
            if (code != QStringLiteral("emptyResult") && !(retryBusy && code == QStringLiteral("busy")))
                break;
            QThread::msleep(200);
        }
        return events;
    }

    // The last event of a request sent now.
    QJsonObject outcome(const AgentRuntimeRequest &request, int ms = 20000)
    {
        send(request);
        return last(eventsUntilDone(request.requestID, ms));
    }

    static QString joined(const QList<QJsonObject> &events, const QString &kind)
    {
        QString text;
        for (const auto &e : events)
            if (e.value(QStringLiteral("kind")).toString() == kind)
                text += e.value(QStringLiteral("text")).toString();
        return text;
    }
    static QJsonObject last(const QList<QJsonObject> &events) { return events.isEmpty() ? QJsonObject() : events.last(); }

    QList<QJsonObject> log() const
    {
        QList<QJsonObject> entries;
        QFile f(scratch.filePath(QStringLiteral("log.jsonl")));
        if (f.open(QIODevice::ReadOnly))
            for (const QByteArray &line : f.readAll().split('\n'))
                if (!line.isEmpty())
                    entries << QJsonDocument::fromJson(line).object();
        return entries;
    }
    QList<QJsonObject> chatRequests() const
    {
        QList<QJsonObject> out;
        for (const auto &e : log())
            if (e.value(QStringLiteral("path")).toString().endsWith(QStringLiteral("/chat/completions")))
                out << e;
        return out;
    }
    QList<qint64> serverPids() const
    {
        QList<qint64> pids;
        for (const auto &e : log())
            if (e.value(QStringLiteral("event")).toString() == QStringLiteral("start"))
                pids << e.value(QStringLiteral("pid")).toInteger();
        return pids;
    }

    QTemporaryDir scratch;
    QString buildDir, serverPath, modelPath, otherModelPath, sessionPath;
    QUuid conversationID = QUuid::createUuid();
    QProcessEnvironment env;
    QProcess process;
    QByteArray buffer;
    QByteArrayList rawLines;
};

inline QString field(const QJsonObject &e, const char *key) { return e.value(QLatin1String(key)).toString(); }

// Shuts the runtime down; `secret` must be in none of its or `children`'s /proc files, output or data.
inline void expectSecretNowhere(AgentProcess &agent, const QByteArray &secret, const QList<qint64> &children = {})
{
    for (qint64 pid : QList<qint64>{agent.process.processId()} + children)
        for (const char *file : {"cmdline", "environ"}) {
            const QByteArray bytes = readFile(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(file)));
            EXPECT_FALSE(bytes.isEmpty()) << pid << file;
            EXPECT_FALSE(bytes.contains(secret)) << pid << file;
        }
    agent.send(AgentRuntimeRequest::shutdown(agent.sessionPath));
    ASSERT_TRUE(agent.process.waitForFinished(5000));
    EXPECT_FALSE(agent.process.readAllStandardError().contains(secret));
    const QDir data(QFileInfo(agent.sessionPath).absolutePath());
    for (const QString &name : data.entryList(QDir::Files)) {
        const QByteArray bytes = readFile(data.filePath(name));
        EXPECT_FALSE(bytes.isEmpty()) << name.toStdString();
        EXPECT_FALSE(bytes.contains(secret)) << name.toStdString();
    }
}

// The stand-in server started by a test itself, as a cloud or a user's own server.
class StandInServer {
public:
    explicit StandInServer(const AgentProcess &agent)
    {
        process.setProcessEnvironment(agent.env);
        process.start(agent.serverPath, {"--host", "127.0.0.1", "--port", "0"});
        EXPECT_TRUE(process.waitForStarted(5000));
        while (!process.canReadLine() && process.waitForReadyRead(5000)) {
        }
        port = process.readLine().trimmed().split(' ').value(1).toInt();
        EXPECT_GT(port, 0);
    }
    ~StandInServer()
    {
        process.kill();
        process.waitForFinished(5000);
    }
    QString baseURL() const { return QStringLiteral("http://127.0.0.1:%1/v1").arg(port); }
    QProcess process;
    int port = 0;
};

// The address of a local port that nobody listens on.
inline QString closedBaseURL()
{
    QTcpServer probe;
    EXPECT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    return QStringLiteral("http://127.0.0.1:%1/v1").arg(probe.serverPort());
}
