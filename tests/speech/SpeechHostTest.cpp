// The real engines and the real orvel-speech host with the build's tiny models. The engines' part
// runs wherever set-up provided engines; the host's where it was built.
#include "FakeScheduler.h"
#include "RealEngines.h"
#include "RunTask.h"
#include "ScopedEnv.h"
#include "TempDataHome.h"
#include "speech/ResourceLocator.h"
#include "speech/WarmRunner.h"
#include "speech/WavWriter.h"
#include "speech/WhisperRunner.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

#include <csignal>

namespace {

QString model(const char *name) { return QStringLiteral(ORVEL_TEST_MODELS_DIR "/") + QLatin1String(name); }

std::string describe(const Result<QString, OrvelError> &r)
{
    return r.ok() ? "text «" + r.value().toStdString() + "»" : "error «" + r.error().description().toStdString() + "»";
}

class SpeechHostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char *program : {"whisper-cli", "parakeet-cli"}) {
            if (!ResourceLocator::bundledExecutable(QString::fromLatin1(program))) {
                if (QStringLiteral(ORVEL_ENGINES_STATE) == QStringLiteral("none"))
                    GTEST_SKIP() << "set-up provided no speech engines (" << program << ")";
                FAIL() << program << " is missing although set-up provided the engines";
            }
        }
        if (hostBuilt) {
            ASSERT_TRUE(ResourceLocator::bundledExecutable(QStringLiteral("orvel-speech")));
        }
        writeTone(audio);
    }

    static void writeTone(const QString &path)
    {
        QByteArray pcm;
        for (int i = 0; i < 32000; ++i) { // 2 s of a 400 Hz square wave
            const auto v = qint16((i / 20) % 2 ? 6000 : -6000);
            pcm.append(char(v & 0xff)).append(char((v >> 8) & 0xff));
        }
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(WavWriter::header(quint32(pcm.size())) + pcm);
    }

    Result<QString, OrvelError> run(TranscriptionRunner &with, const char *id, const QString &path,
                                    const QStringList &vocabulary = {})
    {
        return runTask(with.transcribe(audio, *SpeechModel::withID(QString::fromLatin1(id)), path, vocabulary, {}),
                       120000);
    }

    // Runs the event loop until `done` or the time is up.
    static bool waitFor(const std::function<bool()> &done, int ms = 60000)
    {
        QElapsedTimer clock;
        clock.start();
        while (!done() && !clock.hasExpired(ms))
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20);
        return done();
    }

    // A host asked to leave is gone, and the runner has noticed.
    void expectHostGone(qint64 pid)
    {
        EXPECT_TRUE(waitFor([&] { return !warm.isHostRunning(); }, 15000));
        EXPECT_TRUE(waitUntilProcessGone(pid));
    }

    ScopedEnv whisper{"ORVEL_WHISPER_CLI_PATH", QString()}, parakeet{"ORVEL_PARAKEET_CLI_PATH", QString()};
    ScopedEnv host{"ORVEL_ORVEL_SPEECH_PATH", QString()};
    TempDataHome home;
    QString audio = home.path() + QStringLiteral("/tone.wav");
    const bool hostBuilt = QStringLiteral(ORVEL_SPEECH_HOST_BUILT) == QStringLiteral("ON");
    FakeScheduler clock;
    WhisperRunner perCall;
    WarmRunner warm{clock, perCall};
};

} // namespace

TEST_F(SpeechHostTest, EnginesAndHostGiveTheSameTextsAndErrors)
{
    const QString broken = home.path() + QStringLiteral("/broken.bin");
    QFile f(broken);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, 'x'));
    f.close();
    struct Case {
        const char *id;
        QString model;
        QStringList vocabulary;
        std::string engineGives; // a text, "empty" or "failed"
    };
    const std::string allC = "text «" + std::string(26, 'c') + "»";
    // Vocabulary: Whisper's prompt and, for both engines, the capitals afterwards.
    const QList<Case> cases{
        {"pocket", model("whisper-sentence.bin"), {QStringLiteral("HELLO"), QStringLiteral("End-To-End Test")},
         "text «HELLO from the End-To-End Test.»"},
        {"pocket", model("whisper-silent.bin"), {}, "empty"},
        // The test model leans to one letter; nothing of the engine's log may be mixed in.
        {"velocity", model("parakeet-random.bin"), {QStringLiteral("CCCCC")}, allC},
        {"pocket", broken, {}, "failed"},
        {"velocity", home.path() + QStringLiteral("/absent.bin"), {}, "failed"},
        // Back to a good model in the same host after failures.
        {"pocket", model("whisper-sentence.bin"), {}, "text «" ORVEL_TEST_MODEL_SENTENCE "»"},
    };
    for (const Case &c : cases) {
        const auto expected = run(perCall, c.id, c.model, c.vocabulary);
        if (c.engineGives == "empty") {
            EXPECT_EQ(describe(expected), describe(OrvelError::emptyTranscript()));
        } else if (c.engineGives == "failed") {
            ASSERT_FALSE(expected.ok()) << describe(expected);
            EXPECT_EQ(expected.error().kind, OrvelError::Kind::transcriptionFailed);
            // The engine's last words, not the generic text.
            EXPECT_TRUE(expected.error().message.contains(QStringLiteral("failed"), Qt::CaseInsensitive))
                << describe(expected);
        } else {
            EXPECT_EQ(describe(expected), c.engineGives);
        }
        if (!hostBuilt)
            continue;
        const auto got = run(warm, c.id, c.model, c.vocabulary);
        if (expected.ok() || expected.error().kind != OrvelError::Kind::transcriptionFailed) {
            EXPECT_EQ(describe(got), describe(expected)) << c.id << " " << c.model.toStdString();
            continue;
        }
        // The engine's own last words, as the command-line engine's; those also carry whatever
        // it printed last (its usage, a backend it loaded), the host only the library's complaint.
        ASSERT_FALSE(got.ok()) << describe(got);
        EXPECT_EQ(got.error().kind, OrvelError::Kind::transcriptionFailed);
        const QString library = QLatin1String(c.id) == QLatin1String("pocket") ? QStringLiteral("whisper_init")
                                                                               : QStringLiteral("parakeet_init");
        EXPECT_TRUE(got.error().message.startsWith(library)) << describe(got);
        EXPECT_TRUE(got.error().message.endsWith(expected.error().message.section(QStringLiteral("error: "), -1)))
            << describe(got) << " / " << describe(expected);
    }
    EXPECT_FALSE(warm.isHostUnusable());
}

TEST_F(SpeechHostTest, LoadsWhenTheRecordingStartsAndLeavesAfterTheIdleTime)
{
    if (!hostBuilt)
        GTEST_SKIP() << "orvel-speech is not built here (no whisper.cpp headers)";
    warm.prepare(*SpeechModel::withID(QStringLiteral("pocket")), model("whisper-sentence.bin"));
    ASSERT_TRUE(warm.isHostRunning());
    const qint64 pid = warm.hostPid();
    ASSERT_TRUE(waitFor([&] { return !warm.device().isEmpty(); })) << "the model never loaded";
    EXPECT_EQ(warm.device(), QStringLiteral("CPU"));

    // A recording may last; the model waits for it, then the idle time counts from the transcript.
    clock.advance(200);
    ASSERT_TRUE(run(warm, "pocket", model("whisper-sentence.bin")).ok());
    // Another model is loaded into the same host.
    const auto other = run(warm, "velocity", model("parakeet-random.bin"));
    ASSERT_TRUE(other.ok()) << describe(other);
    EXPECT_EQ(warm.hostPid(), pid);
    clock.advance(WarmRunner::defaultKeepSeconds - 1);
    QCoreApplication::processEvents();
    EXPECT_TRUE(isRunningProcess(pid));
    clock.advance(2);
    expectHostGone(pid);
    EXPECT_TRUE(warm.device().isEmpty());

    // "Never keep": loaded at the press, gone right after the transcript.
    warm.setKeepSeconds(0);
    warm.prepare(*SpeechModel::withID(QStringLiteral("pocket")), model("whisper-sentence.bin"));
    const qint64 second = warm.hostPid();
    ASSERT_NE(second, 0);
    ASSERT_TRUE(run(warm, "pocket", model("whisper-sentence.bin")).ok());
    expectHostGone(second);
}

TEST_F(SpeechHostTest, AHostThatDiesOrHangsFailsOneTranscriptionAndTheNextStartsAfresh)
{
    if (!hostBuilt)
        GTEST_SKIP() << "orvel-speech is not built here (no whisper.cpp headers)";
    ASSERT_TRUE(run(warm, "pocket", model("whisper-sentence.bin")).ok());
    const qint64 first = warm.hostPid();
    auto task = warm.transcribe(audio, *SpeechModel::withID(QStringLiteral("pocket")), model("whisper-sentence.bin"),
                                {}, {});
    ::kill(pid_t(first), SIGKILL);
    const auto killed = runTask(std::move(task));
    ASSERT_FALSE(killed.ok());
    EXPECT_EQ(killed.error().description(), QStringLiteral("The speech engine stopped unexpectedly. Try again."));

    ASSERT_TRUE(run(warm, "pocket", model("whisper-sentence.bin")).ok());
    const qint64 second = warm.hostPid();
    EXPECT_NE(second, first);
    // Stopped, it answers nothing: the limit on the scheduler's clock ends it.
    ::kill(pid_t(second), SIGSTOP);
    auto hung = warm.transcribe(audio, *SpeechModel::withID(QStringLiteral("pocket")), model("whisper-sentence.bin"),
                                {}, {});
    clock.advance(WarmRunner::answerLimit(2) + 1);
    const auto stopped = runTask(std::move(hung));
    ASSERT_FALSE(stopped.ok());
    EXPECT_EQ(stopped.error().description(),
              QStringLiteral("The speech engine stopped responding and was stopped. Try again."));
    EXPECT_TRUE(waitUntilProcessGone(second));
    const auto after = run(warm, "pocket", model("whisper-sentence.bin"));
    EXPECT_EQ(describe(after), "text «" ORVEL_TEST_MODEL_SENTENCE "»");
}

TEST_F(SpeechHostTest, WithoutAUsableHostTheCommandLineEnginesAnswer)
{
    if (!hostBuilt)
        GTEST_SKIP() << "orvel-speech is not built here (no whisper.cpp headers)";
    {
        ScopedEnv absent{"ORVEL_ORVEL_SPEECH_PATH", home.path() + QStringLiteral("/no-such-host")};
        warm.prepare(*SpeechModel::withID(QStringLiteral("pocket")), model("whisper-sentence.bin"));
        EXPECT_FALSE(warm.isHostRunning());
    }
    // One that cannot run here (its libraries missing) ends before it says it is ready.
    ScopedEnv broken{"ORVEL_ORVEL_SPEECH_PATH", QStringLiteral("/bin/false")};
    EXPECT_EQ(describe(run(warm, "pocket", model("whisper-sentence.bin"))), "text «" ORVEL_TEST_MODEL_SENTENCE "»");
    EXPECT_TRUE(warm.isHostUnusable());
    warm.prepare(*SpeechModel::withID(QStringLiteral("pocket")), model("whisper-sentence.bin"));
    EXPECT_FALSE(warm.isHostRunning()) << "tried again after it could not run";
}

// The GPU path on Mesa's software Vulkan device: the host picks it and gives the CPU's texts.
TEST_F(SpeechHostTest, OnAVulkanDeviceTheHostGivesTheCpuTexts)
{
    if (!hostBuilt)
        GTEST_SKIP() << "orvel-speech is not built here";
    const QString lavapipe = QStringLiteral("/usr/share/vulkan/icd.d/lvp_icd.x86_64.json");
    if (!QFile::exists(lavapipe))
        GTEST_SKIP() << "no lavapipe (mesa-vulkan-drivers)";
    const QStringList vocabulary{QStringLiteral("HELLO")};
    const QList<std::pair<const char *, QString>> models{{"velocity", model("parakeet-random.bin")},
                                                         {"pocket", model("whisper-sentence.bin")}};
    QList<Result<QString, OrvelError>> onCpu;
    for (const auto &[id, path] : models)
        onCpu << run(perCall, id, path, vocabulary);

    // The scratch XDG_DATA_DIRS hides the drivers; ggml leaves CPU-type Vulkan devices alone
    // unless named; Mesa's compiled shaders are kept between runs, or each run compiles them
    // for a minute.
    ScopedEnv driver{"VK_ICD_FILENAMES", lavapipe};
    ScopedEnv visible{"GGML_VK_VISIBLE_DEVICES", QStringLiteral("0")};
    ScopedEnv shaders{"MESA_SHADER_CACHE_DIR", QStringLiteral(ORVEL_TEST_MODELS_DIR "/../mesa-shader-cache")};
    for (qsizetype i = 0; i < models.size(); ++i) {
        const auto &[id, path] = models[i];
        ASSERT_TRUE(onCpu[i].ok()) << describe(onCpu[i]);
        const auto onGpu = runTask(
            warm.transcribe(audio, *SpeechModel::withID(QString::fromLatin1(id)), path, vocabulary, {}), 840000);
        EXPECT_EQ(describe(onGpu), describe(onCpu[i])) << id;
        if (warm.device() == QStringLiteral("CPU"))
            GTEST_SKIP() << "Vulkan found no device here";
        EXPECT_TRUE(warm.device().startsWith(QStringLiteral("Vulkan0"))) << warm.device().toStdString();
    }
}
