#pragma once

// What the Command end-to-end runs share: a private home with the real engines' models in place,
// and an instruction spoken into the virtual microphone while the program records.
#include "../speech/AudioTestUtil.h"
#include "ProgramRun.h"
#include "command/AgentSettings.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTest>

#include <optional>

namespace CommandHome {

inline QString readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

inline QString dataFolder(const QString &home) { return home + QStringLiteral("/data/Orvel Raza"); }

inline QString conversationsFile(const QString &home)
{
    return dataFolder(home) + QStringLiteral("/Agent/conversations.json");
}

// Why the run cannot go ahead: an engine set-up did not provide. Empty when all are there.
inline std::optional<QString> missingEngine()
{
    const QString libexec = QDir::cleanPath(ProgramRun::supportDir() + QStringLiteral("/../../libexec/orvel-raza"));
    for (const char *engine : {"whisper-cli", "llama-server", "orvel-agent"})
        if (!QFile::exists(libexec + QLatin1Char('/') + QLatin1String(engine)))
            return QString::fromLatin1(engine);
    return std::nullopt;
}

// The program's environment for a run with the real engines: one thread and few tokens for
// the model, and the accessibility bridge on.
inline QProcessEnvironment environment(const QString &home)
{
    QProcessEnvironment env = ProgramRun::environment(home, QString());
    env.remove(QStringLiteral("ORVEL_WHISPER_CLI_PATH"));
    env.insert(QStringLiteral("LLAMA_ARG_THREADS"), QStringLiteral("1"));
    env.insert(QStringLiteral("LLAMA_ARG_N_PREDICT"), QStringLiteral("24"));
    env.remove(QStringLiteral("NO_AT_BRIDGE"));
    return env;
}

// The speech model says the test sentence whatever it hears (for Dictation and the Command
// instruction alike); the writing model is the tiny one in the place of a catalog model, used
// locally and without the result left on the clipboard.
inline bool prepare(const QString &home)
{
    const QString data = dataFolder(home);
    const QString writer = data + QStringLiteral("/AgentModels/qwen3-4b-q4");
    if (!QDir().mkpath(data + QStringLiteral("/Models")) || !QDir().mkpath(writer) ||
        !QFile::copy(QStringLiteral(ORVEL_TEST_MODELS_DIR "/whisper-sentence.bin"),
                     data + QStringLiteral("/Models/ggml-tiny.en-q5_1.bin")) ||
        !QFile::link(QStringLiteral(ORVEL_TINY_GGUF), writer + QStringLiteral("/Qwen3-4B-Q4_K_M.gguf")))
        return false;
    AgentSettings settings;
    settings.writingProvider = AgentWritingProvider::local;
    settings.selectedModelID = QStringLiteral("qwen3-4b-q4");
    settings.playCompletionSound = false;
    settings.copyResult = false;
    QSettings prefs(home + QStringLiteral("/config/Orvel Raza/OrvelPlus.conf"), QSettings::IniFormat);
    prefs.setValue(QStringLiteral("agentSettings"), settings.storedData());
    prefs.sync();
    return prefs.status() == QSettings::NoError;
}

// Once the recording has started, a tone into the virtual microphone: the speech model hears
// the sentence in anything that is not silence.
inline bool speakWhileRecording(const QString &home)
{
    const QDir working(dataFolder(home) + QStringLiteral("/TemporaryRecordings"));
    if (!QTest::qWaitFor([&] { return !working.entryList(QDir::Files).isEmpty(); }, 15000))
        return false;
    // The virtual microphone may deliver its first audio a second or two late.
    (void)QTest::qWaitFor([&] {
        const QFileInfoList files = working.entryInfoList(QDir::Files);
        return !files.isEmpty() && files.first().size() > 44 + 3200;
    }, 5000);
    const QString tone = home + QStringLiteral("/tone.wav");
    if (!audiotest::writeToneFile(tone, 440, 0.25, 1.0))
        return false;
    QProcess play;
    play.start(QStringLiteral("paplay"), {QStringLiteral("--device=orvel_test_sink"), tone});
    return play.waitForFinished(10000) && play.exitCode() == 0;
}

} // namespace CommandHome
