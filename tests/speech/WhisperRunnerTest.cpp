// The runner against the stand-in engine, which records its arguments and plays a script, and
// against the real whisper-cli that set-up provides.
#include "AudioTestUtil.h"
#include "RunTask.h"
#include "ScopedEnv.h"
#include "TempDataHome.h"
#include "speech/ProcessOutputCollector.h"
#include "speech/ResourceLocator.h"
#include "speech/WhisperRunner.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMutex>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

namespace {

QString supportDir() { return qEnvironmentVariable("ORVEL_TEST_SUPPORT_DIR"); }
QString fakeEngine() { return supportDir() + QStringLiteral("/orvel-fake-engine"); }

class WhisperRunnerTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(QFile::exists(fakeEngine())) << fakeEngine().toStdString(); }

    void script(const QString &lines)
    {
        QFile f(scriptPath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(lines.toUtf8());
    }

    Result<QString, OrvelError> run(const QString &modelID, const QStringList &vocabulary = {},
                                    const QString &audio = QStringLiteral("/tmp/a b.wav"),
                                    const QString &modelPath = QStringLiteral("/models/m.bin"))
    {
        auto task = runner.transcribe(audio, *SpeechModel::withID(modelID), modelPath, vocabulary, [this](double f) {
            QMutexLocker lock(&progressLock);
            progress << f;
        });
        return runTask(std::move(task), 120000);
    }

    QStringList recordedArguments() const
    {
        QFile f(argvPath);
        if (!f.open(QIODevice::ReadOnly))
            return {QStringLiteral("<not run>")};
        QStringList out;
        for (const auto &v : QJsonDocument::fromJson(f.readAll()).array())
            out << v.toString();
        return out;
    }

    TempDataHome home;
    QString scriptPath = home.path() + QStringLiteral("/script");
    QString argvPath = home.path() + QStringLiteral("/argv.json");
    ScopedEnv whisper{"ORVEL_WHISPER_CLI_PATH", fakeEngine()};
    ScopedEnv parakeet{"ORVEL_PARAKEET_CLI_PATH", fakeEngine()};
    ScopedEnv scriptVar{"ORVEL_FAKE_ENGINE_SCRIPT", scriptPath};
    ScopedEnv argvVar{"ORVEL_FAKE_ENGINE_ARGV", argvPath};
    WhisperRunner runner;
    QMutex progressLock;
    QList<double> progress;
};

} // namespace

TEST(WhisperRunnerRules, ProgressIsTheLastParsableLine)
{
    using C = ProcessOutputCollector;
    EXPECT_EQ(C::latestWhisperProgress(QStringLiteral("progress = 10%\rprogress = 20%\r")), 20.0);
    EXPECT_EQ(C::latestWhisperProgress(QStringLiteral("progress =\t12.5 %\n")), 12.5);
    EXPECT_EQ(C::latestWhisperProgress(QStringLiteral("progress = 30%\u2028progress = 7%")), 7.0);
    // Not a progress line: no "progress", "%" before "=", trailing junk.
    for (const char *junk : {"done = 45%", "progress 45% = x", "progress = 45x%", "progress = nan%", ""})
        EXPECT_FALSE(C::latestWhisperProgress(QString::fromLatin1(junk)).has_value()) << junk;
}

TEST(WhisperRunnerRules, VocabularyFixesWholeWordsLongestFirst)
{
    const auto fix = [](const char *text, QStringList terms) {
        return WhisperRunner::normalizeVocabulary(QString::fromUtf8(text), terms).toStdString();
    };
    EXPECT_EQ(fix("my iphone and IPHONE", {"iPhone"}), "my iPhone and iPhone");
    EXPECT_EQ(fix("iphones", {"iPhone"}), "iphones");
    EXPECT_EQ(fix("north ltd. office", {"Ltd."}), "north Ltd. office");
    EXPECT_EQ(fix("orvel raza and orvel", {"Orvel", "Orvel Raza"}), "Orvel Raza and Orvel");
    // Letters of other scripts are letters too; punctuation and ends are boundaries.
    EXPECT_EQ(fix("éorvel orvelж (orvel)", {"Orvel"}), "éorvel orvelж (Orvel)");
    EXPECT_EQ(fix("ÜBER über", {"über"}), "über über");
    // The term goes in literally.
    EXPECT_EQ(fix("pay $5 now", {"$5"}), "pay $5 now");
    EXPECT_EQ(fix("a c:\\x b", {"C:\\X"}), "a C:\\X b");
    EXPECT_EQ(fix("q (a+b) q", {"(A+B)"}), "q (A+B) q");
    EXPECT_EQ(fix("a b", {""}), "a b");
}

// The real engines run the English model, Parakeet and the vocabulary prompt (below and in
// SpeechHostTest); a multilingual model and broken UTF-8 only the stand-in can give.
TEST_F(WhisperRunnerTest, MultilingualModelDetectsTheLanguageAndBrokenUtf8KeepsTheReadableText)
{
    script(QStringLiteral("stdout caf\\xc3 ok\\n\n"));
    const auto broken = run(QStringLiteral("balanced"));
    ASSERT_TRUE(broken.ok());
    EXPECT_TRUE(broken.value().startsWith(QStringLiteral("caf")));
    EXPECT_TRUE(broken.value().endsWith(QStringLiteral(" ok")));
    const QStringList args = recordedArguments();
    ASSERT_EQ(args.size(), 12);
    EXPECT_EQ(args.mid(7, 2), (QStringList{"--language", "auto"}));
    EXPECT_EQ(args.last(), QStringLiteral("--suppress-nst")); // no empty prompt without vocabulary
}

TEST_F(WhisperRunnerTest, FailedAndCrashedRunsGiveTheirErrors)
{
    const std::pair<QString, OrvelError> cases[] = {
        {QStringLiteral("stdout partial\nstderr a\\nb\\n\\nc\\n\nexit 1\n"),
         OrvelError::transcriptionFailed(QStringLiteral("b c"))},
        // A crash without a message falls back to the generic text.
        {QStringLiteral("stdout words\nsignal 9\n"), OrvelError::transcriptionFailed(QString())},
    };
    for (const auto &[engine, expected] : cases) {
        script(engine);
        const auto result = run(QStringLiteral("pocket"));
        ASSERT_FALSE(result.ok()) << engine.toStdString();
        EXPECT_EQ(result.error().description(), expected.description()) << engine.toStdString();
        EXPECT_EQ(result.error().kind, expected.kind);
    }
}

TEST_F(WhisperRunnerTest, LargeOutputOnBothStreamsDoesNotStallTheEngine)
{
    // Far more than a pipe holds: an engine whose pipes are not drained would block forever.
    script(QStringLiteral("flood stderr 2000000\nflood stdout 1000000\nstdout \\nthe end\\n\n"));
    const auto result = run(QStringLiteral("pocket"));
    ASSERT_TRUE(result.ok());
    EXPECT_TRUE(result.value().endsWith(QStringLiteral("the end")));
    EXPECT_GT(result.value().size(), 1000000);
}

TEST_F(WhisperRunnerTest, EngineThatCannotBeFoundOrStarted)
{
    {
        ScopedEnv none("ORVEL_WHISPER_CLI_PATH", QString());
        ScopedEnv path("PATH", home.path());
        ResourceLocator::setInstallRoot(home.path());
        const auto result = run(QStringLiteral("pocket"));
        ResourceLocator::setInstallRoot(QString());
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.error(), OrvelError::missingEngine(QStringLiteral("whisper-cli")));
        EXPECT_EQ(recordedArguments(), QStringList{"<not run>"});
    }
    ScopedEnv broken("ORVEL_WHISPER_CLI_PATH", home.path() + QStringLiteral("/no-such-engine"));
    const auto result = run(QStringLiteral("pocket"));
    ASSERT_FALSE(result.ok());
    EXPECT_EQ(result.error().kind, OrvelError::Kind::transcriptionFailed);
    EXPECT_TRUE(result.error().message.startsWith(QStringLiteral("The speech engine could not be started")));
    EXPECT_EQ(runner.runningCount(), 0);
}

TEST_F(WhisperRunnerTest, LaunchReturnsAtOnceAndDestroyingTheRunnerEndsTheEngine)
{
    const QString pidFile = home.path() + QStringLiteral("/pid");
    script(QStringLiteral("pidfile %1\nsleep 60000\n").arg(pidFile));
    auto runner = std::make_unique<WhisperRunner>();
    auto task = runner->transcribe(QStringLiteral("/tmp/a.wav"), *SpeechModel::withID(QStringLiteral("pocket")),
                                   QStringLiteral("/m.bin"), {}, {});
    // Back here at once: the launch does not hold up the event loop.
    const auto *process = runner->findChild<QProcess *>();
    ASSERT_TRUE(process);
    EXPECT_EQ(process->state(), QProcess::Starting);
    // The engine creates the file before it writes its pid; wait for the number itself.
    pid_t pid = 0;
    QElapsedTimer t;
    t.start();
    while (pid <= 0 && t.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QFile f(pidFile);
        if (f.open(QIODevice::ReadOnly))
            pid = f.readAll().trimmed().toInt();
    }
    ASSERT_GT(pid, 0);
    EXPECT_EQ(runner->runningCount(), 1);
    runner.reset();
    EXPECT_NE(::kill(pid, 0), 0); // gone, and reaped
}

// The real engine's progress lines can pass 100% on short audio; the bar must not. Its texts and
// errors are checked beside the speech host's, in SpeechHostTest.
TEST_F(WhisperRunnerTest, RealWhisperTranscribesWithProgressWithinRange)
{
    ScopedEnv real("ORVEL_WHISPER_CLI_PATH", QString());
    if (!ResourceLocator::bundledExecutable(QStringLiteral("whisper-cli"))) {
        if (QStringLiteral(ORVEL_ENGINES_STATE) == QStringLiteral("none"))
            GTEST_SKIP() << "set-up provided no speech engines";
        FAIL() << "whisper-cli is missing although set-up provided the engines";
    }
    const QString audio = home.path() + QStringLiteral("/tone.wav");
    ASSERT_TRUE(audiotest::writeToneFile(audio, 400, 0.2, 2.0));
    const auto said = run(QStringLiteral("pocket"), {}, audio, QStringLiteral(ORVEL_TEST_MODELS_DIR "/whisper-sentence.bin"));
    ASSERT_TRUE(said.ok()) << said.error().description().toStdString();
    EXPECT_EQ(said.value(), QStringLiteral(ORVEL_TEST_MODEL_SENTENCE));
    QMutexLocker lock(&progressLock);
    ASSERT_FALSE(progress.isEmpty());
    for (double p : std::as_const(progress)) {
        EXPECT_GE(p, 0.0);
        EXPECT_LE(p, 0.97);
    }
    EXPECT_EQ(runner.runningCount(), 0);
}
