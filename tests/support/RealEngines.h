#pragma once

// The real llama-server, found as the program finds it (override, the build tree's
// libexec/orvel-raza/, PATH), and the suite's tiny GGUF chat model. Where set-up provided the
// engines, a missing one is a failure; elsewhere the test is skipped.

#include "speech/ResourceLocator.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <gtest/gtest.h>

#include <optional>

struct RealLlama {
    QString server;
    QString model;

    static QString tinyModelPath()
    {
#ifdef ORVEL_TINY_GGUF
        return QStringLiteral(ORVEL_TINY_GGUF);
#else
        return qEnvironmentVariable("ORVEL_TEST_SUPPORT_DIR") + QStringLiteral("/models/tiny-chat.gguf");
#endif
    }

    static std::optional<RealLlama> find(std::string &why)
    {
        const auto server = ResourceLocator::bundledExecutable(QStringLiteral("llama-server"));
        const QString model = tinyModelPath();
        if (!server || !QFileInfo(*server).isExecutable())
            why = "no llama-server (set ORVEL_LLAMA_SERVER_PATH or run scripts/setup.sh)";
        else if (!QFileInfo::exists(model))
            why = "the tiny test model " + model.toStdString() + " was not generated (build orvel_tiny_models)";
        else
            return RealLlama{*server, model};
        return std::nullopt;
    }
    // How set-up provided the engines, compiled into the test.
    static bool required()
    {
#ifdef ORVEL_ENGINES_STATE
        return QStringLiteral(ORVEL_ENGINES_STATE) != QStringLiteral("none");
#else
        return false;
#endif
    }

    // What llama-server reads from the environment its parent passes on. One thread: ggml's
    // workers spin while they wait for each other, and on a machine shared by many jobs two
    // threads measured ~1500 times slower than one. A token limit, because the random model
    // rarely stops by itself.
    static void applyTestSettings(QProcessEnvironment &env, int maxTokens = 48)
    {
        env.insert(QStringLiteral("LLAMA_ARG_THREADS"), QStringLiteral("1"));
        env.insert(QStringLiteral("LLAMA_ARG_N_PREDICT"), QString::number(maxTokens));
    }
    // The same in this process's environment, which children started later inherit.
    static void applyTestSettings(int maxTokens = 48)
    {
        qputenv("LLAMA_ARG_THREADS", "1");
        qputenv("LLAMA_ARG_N_PREDICT", QByteArray::number(maxTokens));
    }
    static void clearTestSettings()
    {
        qunsetenv("LLAMA_ARG_THREADS");
        qunsetenv("LLAMA_ARG_N_PREDICT");
    }
};

// Skips, or fails where the engines must be there; otherwise leaves `var` set.
#define ORVEL_REQUIRE_REAL_LLAMA(var)                                                                              \
    std::string var##Why;                                                                                          \
    const std::optional<RealLlama> var##Found = RealLlama::find(var##Why);                                         \
    if (!var##Found) {                                                                                             \
        if (RealLlama::required())                                                                                 \
            FAIL() << var##Why;                                                                                    \
        GTEST_SKIP() << var##Why;                                                                                  \
    }                                                                                                              \
    const RealLlama &var = *var##Found

// Running, as opposed to gone or a zombie waiting for its reaper.
inline bool isRunningProcess(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close >= 0 && text.mid(close + 2, 1) != "Z";
}

// Running children of `pid`, read from /proc.
inline QList<qint64> childProcesses(qint64 pid)
{
    QList<qint64> children;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool numeric = false;
        const qint64 candidate = entry.toLongLong(&numeric);
        if (!numeric)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(candidate));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toLongLong() == pid && fields[0] != "Z")
            children << candidate;
    }
    return children;
}

// Blocks (without an event loop) until `pid` is gone or `ms` have passed; true when gone.
inline bool waitUntilProcessGone(qint64 pid, int ms = 15000)
{
    QElapsedTimer timer;
    timer.start();
    while (isRunningProcess(pid)) {
        if (timer.hasExpired(ms))
            return false;
        QThread::msleep(20);
    }
    return true;
}

// A real llama-server started by a test as a user's own server would be: on 127.0.0.1 with the
// tiny model, optionally demanding an API key. Stopped with the object.
class RunningLlamaServer {
public:
    RunningLlamaServer(const RealLlama &llama, const QString &apiKey = {}, int maxTokens = 48)
    {
        {
            QTcpServer probe; // a free port, given back before the server takes it
            probe.listen(QHostAddress::LocalHost, 0);
            port = probe.serverPort();
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        RealLlama::applyTestSettings(env, maxTokens);
        process.setProcessEnvironment(env);
        // Its log goes nowhere: a pipe nobody reads would stall it.
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        QStringList args{QStringLiteral("-m"), llama.model, QStringLiteral("--host"), QStringLiteral("127.0.0.1"),
                         QStringLiteral("--port"), QString::number(port)};
        if (!apiKey.isEmpty())
            args << QStringLiteral("--api-key") << apiKey;
        process.start(llama.server, args);
        process.waitForStarted(10000);
    }
    ~RunningLlamaServer()
    {
        process.kill();
        process.waitForFinished(5000);
    }
    QString baseURL() const { return QStringLiteral("http://127.0.0.1:%1/v1").arg(port); }

    // Blocks until /health answers 200 (the model is loaded); false after `ms`.
    bool waitUntilReady(int ms = 120000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!timer.hasExpired(ms) && process.state() != QProcess::NotRunning) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, quint16(port));
            if (socket.waitForConnected(1000)) {
                socket.write("GET /health HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
                QByteArray answer;
                while (socket.waitForReadyRead(2000))
                    answer += socket.readAll();
                if (answer.startsWith("HTTP/1.1 200"))
                    return true;
            }
            QThread::msleep(200);
        }
        return false;
    }

    QProcess process;
    int port = 0;
};
