// The runner's progress against the real whisper-cli that set-up provides, with a tiny model the
// build writes. Skipped only where set-up found no engines at all. The engines' texts, errors and
// vocabulary are checked beside the speech host's, in SpeechHostTest.
#include "RunTask.h"
#include "ScopedEnv.h"
#include "TempDataHome.h"
#include "speech/ResourceLocator.h"
#include "speech/WavWriter.h"
#include "speech/WhisperRunner.h"

#include <QFile>
#include <QMutex>

#include <gtest/gtest.h>


namespace {

QString modelsDir() { return QStringLiteral(ORVEL_TEST_MODELS_DIR); }

class RealEngineTest : public ::testing::Test {
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
        writeTone(audio, 2.0);
    }

    static void writeTone(const QString &path, double seconds)
    {
        const int rate = 16000, samples = int(rate * seconds);
        QByteArray pcm;
        for (int i = 0; i < samples; ++i) {
            const auto v = qint16((i / 20) % 2 ? 6000 : -6000); // 400 Hz square wave
            pcm.append(char(v & 0xff)).append(char((v >> 8) & 0xff));
        }
        const QByteArray wav = WavWriter::header(quint32(pcm.size())) + pcm;
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(wav), wav.size());
    }

    Result<QString, OrvelError> run(const char *modelID, const QString &modelPath)
    {
        auto task = runner.transcribe(audio, *SpeechModel::withID(QString::fromLatin1(modelID)), modelPath, {},
                                      [this](double f) {
                                          QMutexLocker lock(&progressLock);
                                          progress << f;
                                      });
        return runTask(std::move(task), 120000);
    }

    // The suite's stand-in must not stand in here.
    ScopedEnv whisper{"ORVEL_WHISPER_CLI_PATH", QString()}, parakeet{"ORVEL_PARAKEET_CLI_PATH", QString()};
    TempDataHome home;
    QString audio = home.path() + QStringLiteral("/tone.wav");
    WhisperRunner runner;
    QMutex progressLock;
    QList<double> progress;
};

} // namespace

TEST_F(RealEngineTest, WhisperTranscribesAndReportsProgressWithinRange)
{
    const auto said = run("pocket", modelsDir() + QStringLiteral("/whisper-sentence.bin"));
    ASSERT_TRUE(said.ok()) << said.error().description().toStdString();
    EXPECT_EQ(said.value(), QStringLiteral(ORVEL_TEST_MODEL_SENTENCE));
    // The engine's own progress lines can pass 100% on short audio; the bar must not.
    QMutexLocker lock(&progressLock);
    ASSERT_FALSE(progress.isEmpty());
    for (double p : std::as_const(progress)) {
        EXPECT_GE(p, 0.0);
        EXPECT_LE(p, 0.97);
    }
    EXPECT_EQ(runner.runningCount(), 0);
}
