#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>

// A run of the real program in a private home: its own preferences and data folders, the
// stand-in speech engine saying `transcript`, and a Pocket model file in place.
namespace ProgramRun {

inline QString supportDir() { return qEnvironmentVariable("ORVEL_TEST_SUPPORT_DIR"); }

inline QString program() { return QDir::cleanPath(supportDir() + QStringLiteral("/../../bin/OrvelPlus")); }

inline QProcessEnvironment environment(const QString &home, const QString &transcript)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    env.insert(QStringLiteral("ORVEL_WHISPER_CLI_PATH"), supportDir() + QStringLiteral("/orvel-fake-engine"));
    env.insert(QStringLiteral("ORVEL_FAKE_ENGINE_TEXT"), transcript);
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    return env;
}

// The engine is a stand-in, so any bytes make the model "downloaded".
inline bool placeModel(const QString &home)
{
    const QString models = home + QStringLiteral("/data/Orvel Raza/Models");
    QFile model(models + QStringLiteral("/ggml-tiny.en-q5_1.bin"));
    return QDir().mkpath(models) && model.open(QIODevice::WriteOnly) && model.write("stand-in model") > 0;
}

// Ends a child the test started: asked first, then killed, and reaped either way. False when
// it had to be killed.
inline bool stop(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return true;
    process.terminate();
    const bool asked = process.waitForFinished(5000);
    if (!asked)
        process.kill();
    process.waitForFinished(2000);
    return asked;
}

} // namespace ProgramRun
