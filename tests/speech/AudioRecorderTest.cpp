// The recorder against the PulseAudio of the test session: a null sink whose monitor is the
// default microphone. What is played into the sink is what the recorder hears.
#include "AudioTestUtil.h"
#include "FakeScheduler.h"
#include "SinkAudio.h"
#include "TempDataHome.h"
#include "platform/QtScheduler.h"
#include "speech/AppPaths.h"
#include "speech/AudioRecorder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QStandardPaths>

#include <algorithm>
#include <functional>
#include <iostream>

#include <gtest/gtest.h>

using namespace audiotest;
using sinkaudio::waitFor;

namespace {

// A 440 Hz tone played into the test sink until the playback goes.
sinkaudio::Playback playTone(const QString &folder)
{
    const QString file = folder + QStringLiteral("/tone.wav");
    writeToneFile(file, 440, 0.5, 30);
    return sinkaudio::Playback(file);
}

void pump(int milliseconds)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < milliseconds)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

class AudioRecorderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("paplay")).isEmpty() ||
            QMediaDevices::defaultAudioInput().isNull())
            GTEST_SKIP() << "needs the PulseAudio of scripts/test-session.sh";
    }

    // Records until `seconds` of audio have reached the file.
    void recordAudio(double seconds)
    {
        ASSERT_TRUE(waitFor([&] { return recorder.recordedBytes() >= qint64(seconds * 32000); }))
            << "no audio arrived from the default input";
    }

    TempDataHome home;
    FakeScheduler scheduler;
    AudioRecorder recorder{scheduler};
};

} // namespace

// Captured as the device gives it (48 kHz float stereo here), written as 16 kHz mono: converted,
// not relabelled, which would move the tone.
TEST_F(AudioRecorderTest, ToneLiftsTheLevelAndIsConvertedToSixteenKilohertzMono)
{
    QAudioFormat native;
    native.setSampleRate(48000);
    native.setChannelCount(2);
    native.setSampleFormat(QAudioFormat::Float);
    recorder.setCaptureFormatOverride(native);
    const auto tone = playTone(home.path());

    const auto started = recorder.start();
    ASSERT_TRUE(started.ok()) << started.error().toStdString();
    ASSERT_EQ(recorder.captureFormat().sampleRate(), 48000); // else nothing was converted
    recordAudio(1.0);
    scheduler.advance(0.1);
    // −9 dBFS of sine power shows near full scale.
    EXPECT_GT(recorder.level(), 0.8);
    EXPECT_EQ(recorder.samples().size(), 20);
    EXPECT_EQ(recorder.samples().last(), recorder.level());
    scheduler.advance(1.9);

    const auto done = recorder.stop();
    ASSERT_TRUE(done.has_value());
    EXPECT_EQ(done->filePath, started.value());
    EXPECT_DOUBLE_EQ(done->duration, 2.0); // the clock of the scheduler
    EXPECT_EQ(recorder.level(), 0.0);

    const Wav wav = readWav(done->filePath);
    EXPECT_EQ(wav.rate, 16000u);
    EXPECT_EQ(wav.channels, 1);
    EXPECT_EQ(wav.bits, 16);
    EXPECT_EQ(wav.format, 1);
    EXPECT_EQ(qint64(wav.dataSize) + 44, wav.fileSize);
    EXPECT_EQ(wav.riffSize, wav.dataSize + 36);
    ASSERT_GT(wav.samples.size(), size_t(8000));
    const double p440 = tonePower(wav.samples, 440, 16000, 4000);
    EXPECT_GT(p440, 0.02); // amplitude 0.5 gives about 0.06
    EXPECT_GT(p440, 100 * tonePower(wav.samples, 146.7, 16000, 4000));
    EXPECT_GT(p440, 100 * tonePower(wav.samples, 1320, 16000, 4000));
}

TEST_F(AudioRecorderTest, FileLengthMatchesTheWallClockDuration)
{
    QtScheduler clock;
    AudioRecorder recorder(clock);
    ASSERT_TRUE(recorder.start().ok());
    // From start()'s return, which under PipeWire alone takes up to a tenth of a second.
    QElapsedTimer sinceStart;
    sinceStart.start();
    // The virtual source may take a moment to deliver its first block.
    ASSERT_TRUE(waitFor([&] { return recorder.recordedBytes() > 0; }));
    const double startup = sinceStart.elapsed() / 1000.0;
    pump(1500);
    const auto done = recorder.stop();
    const double wallClock = sinceStart.elapsed() / 1000.0;
    ASSERT_TRUE(done.has_value());
    const Wav wav = readWav(done->filePath);
    const double audio = wav.dataSize / 32000.0;
    EXPECT_NEAR(done->duration, wallClock, 0.1);
    EXPECT_LE(audio, done->duration + 0.15);
    EXPECT_GE(audio, done->duration - startup - 0.3);
}

TEST_F(AudioRecorderTest, StopAndCancelLeaveNoFileOrTimer)
{
    EXPECT_FALSE(recorder.stop().has_value()); // nothing recorded yet

    const auto first = recorder.start();
    ASSERT_TRUE(first.ok());
    EXPECT_TRUE(first.value().startsWith(AppPaths::temporaryRecordings() + QLatin1Char('/')));
    ASSERT_TRUE(recorder.stop().has_value());
    EXPECT_FALSE(recorder.stop().has_value()); // twice: nothing the second time
    EXPECT_TRUE(QFile::exists(first.value()));
    // The stopped file is still the recorder's output, so a cancel removes it.
    recorder.cancel();
    EXPECT_FALSE(QFile::exists(first.value()));

    const auto second = recorder.start();
    ASSERT_TRUE(second.ok());
    EXPECT_NE(second.value(), first.value());
    scheduler.advance(0.5);
    recorder.cancel();
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_FALSE(QFile::exists(second.value()));
    EXPECT_EQ(recorder.level(), 0.0);
    EXPECT_EQ(recorder.samples(), QList<double>(20, AudioRecorder::idleSample));
    EXPECT_EQ(scheduler.activeCount(), 0); // the meter timer went with the recording
}

TEST_F(AudioRecorderTest, SilenceSitsAtTheFloorAndTheLoudestTenthTellsItFromSoftSpeech)
{
    ASSERT_TRUE(recorder.start().ok());
    recordAudio(1.0);
    scheduler.advance(3.0);
    EXPECT_EQ(recorder.level(), 0.015);
    ASSERT_EQ(recorder.samples().size(), 20);
    for (double v : recorder.samples())
        EXPECT_EQ(v, 0.015);
    const auto silence = recorder.stop();
    ASSERT_TRUE(silence && silence->loudestPower);
    // The window survives a stop.
    EXPECT_EQ(recorder.samples().last(), 0.015);

    // Said 30 dB below espeak-ng's level: a quiet speaker some way from the microphone.
    const QString speech = home.path() + QStringLiteral("/soft.wav");
    ASSERT_TRUE(sinkaudio::writeSpeech(speech, QStringLiteral("Meet me at the station at nine."), -30))
        << "needs espeak-ng";
    ASSERT_TRUE(recorder.start().ok());
    recordAudio(0.05);
    sinkaudio::Playback playback(speech);
    ASSERT_TRUE(playback.waitUntilPlayed());
    const qint64 played = recorder.recordedBytes();
    ASSERT_TRUE(sinkaudio::waitFor([&] { return recorder.recordedBytes() >= played + 6400; }));
    const auto soft = recorder.stop();
    ASSERT_TRUE(soft && soft->loudestPower);

    std::cout << "loudest tenth: silence " << *silence->loudestPower << " dBFS, soft speech " << *soft->loudestPower
              << " dBFS, silence level " << silenceLevel << " dBFS\n";
    EXPECT_TRUE(silence->isSilent());
    EXPECT_FALSE(soft->isSilent());
    EXPECT_GT(*soft->loudestPower, silenceLevel + 6); // room to spare
    EXPECT_LT(*soft->loudestPower, -30.0);            // and soft indeed
}

// The sound server moves a stream whose device went away onto another source without an error,
// and Qt 6.4 does not signal the changed list: the recorder's own ticks must notice.
TEST_F(AudioRecorderTest, OnlyTheLossOfTheRecordingsOwnMicrophoneIsReportedAndOnlyOnce)
{
    QStringList failures;
    recorder.onFailure = [&](const QString &message) { failures << message; };
    const auto ticking = [&](const std::function<bool()> &condition, int milliseconds) {
        return waitFor(
            [&] {
                scheduler.advance(AudioRecorder::meterInterval);
                return condition();
            },
            milliseconds);
    };
    const auto listed = [](const char *id) {
        const auto inputs = QMediaDevices::audioInputs();
        return std::any_of(inputs.begin(), inputs.end(), [id](const QAudioDevice &d) { return d.id() == id; });
    };
    const QStringList lost{QStringLiteral("Orvel Raza could not access the microphone.")};

    ASSERT_TRUE(recorder.start().ok());
    recordAudio(0.05);
    {
        // The user picks another microphone while this one records: not a loss.
        sinkaudio::SecondMicrophone other;
        ASSERT_TRUE(other.loaded());
        ASSERT_TRUE(waitFor([&] { return listed(sinkaudio::SecondMicrophone::name); }));
        ticking([] { return false; }, 300);
    }
    ASSERT_TRUE(waitFor([&] { return !listed(sinkaudio::SecondMicrophone::name); }));
    ticking([] { return false; }, 300);
    EXPECT_TRUE(failures.isEmpty()) << "another microphone coming or going was taken for this one's loss";
    EXPECT_TRUE(recorder.isRecording());

    {
        sinkaudio::UnpluggedMicrophone gone;
        ASSERT_TRUE(gone.unplugged());
        EXPECT_TRUE(ticking([&] { return !failures.isEmpty(); }, 10000)) << "the lost microphone was not reported";
        ticking([] { return false; }, 300);
        EXPECT_EQ(failures, lost);
        recorder.cancel();
        EXPECT_FALSE(recorder.isRecording());
        EXPECT_EQ(scheduler.activeCount(), 0);

        // With no microphone at all a new recording is refused, and leaves no file.
        const auto refused = recorder.start();
        ASSERT_FALSE(refused.ok());
        EXPECT_EQ(refused.error(), lost.first());
        EXPECT_TRUE(QDir(AppPaths::temporaryRecordings()).isEmpty());
    }

    // Plugged back in, it records again; gone while nothing records, nobody is told.
    ASSERT_TRUE(waitFor([] { return QMediaDevices::defaultAudioInput().id() == "orvel_test_mic"; }));
    ASSERT_TRUE(recorder.start().ok());
    recordAudio(0.05);
    ASSERT_TRUE(recorder.stop().has_value());
    {
        sinkaudio::UnpluggedMicrophone gone;
        ASSERT_TRUE(gone.unplugged());
        ASSERT_TRUE(waitFor([&] { return !listed("orvel_test_mic"); }));
        pump(300);
    }
    EXPECT_EQ(failures, lost);
    ASSERT_TRUE(waitFor([] { return QMediaDevices::defaultAudioInput().id() == "orvel_test_mic"; }));
}

TEST_F(AudioRecorderTest, StartFailsWhenTheFoldersCannotBeMade)
{
    QDir().mkpath(QFileInfo(AppPaths::root()).absolutePath());
    QFile blocker(AppPaths::root());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const auto started = recorder.start();
    ASSERT_FALSE(started.ok());
    EXPECT_TRUE(started.error().contains(QStringLiteral("could not be created")));
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(scheduler.activeCount(), 0);
}

TEST(AudioRecorderCleanup, RemovesEveryEntryOfTheTemporaryFolder)
{
    TempDataHome home;
    ASSERT_TRUE(AppPaths::prepare().ok());
    const QString dir = AppPaths::temporaryRecordings();
    for (const char *name : {"A.wav", ".hidden", "B.wav"}) {
        QFile f(dir + QLatin1Char('/') + QLatin1String(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QDir().mkpath(dir + QStringLiteral("/left-over"));
    QFile kept(AppPaths::recordings() + QStringLiteral("/kept.wav"));
    ASSERT_TRUE(kept.open(QIODevice::WriteOnly));
    kept.close();

    FakeScheduler scheduler;
    AudioRecorder(scheduler).cleanupTemporaryRecordings();
    EXPECT_TRUE(QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
    EXPECT_TRUE(kept.exists());
}

// Each test runs in its own process under ctest, so the audio backend has not looked for a
// server yet when this one points it nowhere.
TEST(AudioRecorderWithoutAudioServer, StartFailsWithTheMicrophoneMessageAndLeavesNoFile)
{
    qputenv("PULSE_SERVER", "unix:/nonexistent/orvel-no-pulse");
    if (!QMediaDevices::audioInputs().isEmpty())
        GTEST_SKIP() << "the audio backend was already connected in this process";
    TempDataHome home;
    FakeScheduler scheduler;
    AudioRecorder recorder(scheduler);
    const auto started = recorder.start();
    ASSERT_FALSE(started.ok());
    EXPECT_EQ(started.error(), QStringLiteral("Orvel Raza could not access the microphone."));
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_FALSE(recorder.stop().has_value());
    EXPECT_TRUE(QDir(AppPaths::temporaryRecordings()).isEmpty());
    EXPECT_EQ(scheduler.activeCount(), 0);
}
