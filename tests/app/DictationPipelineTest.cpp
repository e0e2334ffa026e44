// Dictation's failure paths through the real recorder (PulseAudio of the test session), the real
// runner (the stand-in engine) and the real history file; DictationEndToEndTest walks the normal run.
#include "AgentFlowFixture.h"
#include "FakeDictation.h"
#include "FakePorts.h"
#include "FakeScheduler.h"
#include "SinkAudio.h"
#include "TempDataHome.h"
#include "app/AppState.h"
#include "speech/AppPaths.h"
#include "speech/AudioRecorder.h"
#include "speech/HistoryStore.h"
#include "speech/ModelStore.h"
#include "speech/WhisperRunner.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMediaDevices>

#include <gtest/gtest.h>

namespace {

// Command with every collaborator faked but the recorder.
class CommandPipelineTest : public AgentFlowTest {
protected:
    void SetUp() override
    {
        if (QMediaDevices::defaultAudioInput().isNull())
            GTEST_SKIP() << "needs the audio of scripts/test-session.sh";
        AgentFlowTest::SetUp();
    }
    void addServices(AppState::Services &s) override
    {
        AgentFlowTest::addServices(s);
        s.recorder = &microphone;
    }
    AudioRecorder microphone{scheduler};
};

class DictationPipelineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QMediaDevices::defaultAudioInput().isNull())
            GTEST_SKIP() << "needs the audio of scripts/test-session.sh";
        // The stand-in under its real name; set-up may have put the real engine beside the program.
        setEnv("ORVEL_WHISPER_CLI_PATH", qEnvironmentVariable("ORVEL_TEST_SUPPORT_DIR") + QStringLiteral("/engines/whisper-cli"));
        setEnv("ORVEL_FAKE_ENGINE_ARGV", home.path() + QStringLiteral("/argv.json"));
        qunsetenv("ORVEL_FAKE_ENGINE_SCRIPT");

        // The engine stand-in refuses a model file that is not there, as the real one does.
        QDir().mkpath(AppPaths::models());
        QFile model(ModelStore::installedPath(SpeechModel::catalog()[0]));
        ASSERT_TRUE(model.open(QIODevice::WriteOnly));
        model.write("model");
        model.close();

        modelStore = std::make_unique<ModelStore>();
        history = std::make_unique<HistoryStore>();
        recorder = std::make_unique<AudioRecorder>(scheduler);
        AppState::Services s;
        s.scheduler = &scheduler;
        s.pasteboard = &pasteboard;
        s.keys = &keys;
        s.workspace = &workspace;
        s.accessibility = &accessibility;
        s.permissions = &permissions;
        s.sounds = &sounds;
        s.recorder = recorder.get();
        s.runner = &runner;
        s.history = history.get();
        s.overlay = &overlay;
        s.mainWindow = &mainWindow;
        s.cancelShortcut = &cancelShortcut;
        state = std::make_unique<AppState>(s);
    }
    void TearDown() override
    {
        state.reset();
        for (const auto &[name, value] : saved) {
            if (value.isNull())
                qunsetenv(name);
            else
                qputenv(name, value);
        }
    }
    void setEnv(const char *name, const QString &value)
    {
        saved.emplace_back(name, qgetenv(name));
        qputenv(name, value.toUtf8());
    }
    static bool waitFor(const std::function<bool()> &condition)
    {
        QElapsedTimer t;
        t.start();
        while (!condition()) {
            if (t.elapsed() > 15000)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }
    QStringList temporaryRecordings() const
    {
        return QDir(AppPaths::temporaryRecordings()).entryList(QDir::Files | QDir::Hidden);
    }
    // Starts a run and says a sentence into the microphone, gainDb below espeak-ng's level.
    void dictateAloud(double gainDb)
    {
        const QString speech = home.path() + QStringLiteral("/speech.wav");
        ASSERT_TRUE(sinkaudio::writeSpeech(speech, QStringLiteral("Meet me at the station at nine."), gainDb))
            << "needs espeak-ng";
        state->toggleRecording();
        ASSERT_EQ(state->status().kind, CaptureStatus::Kind::recording) << state->status().text.toStdString();
        // The virtual source takes a moment to deliver its first block.
        ASSERT_TRUE(waitFor([&] { return recorder->recordedBytes() > 0; }));
        sinkaudio::Playback playback(speech);
        ASSERT_TRUE(playback.waitUntilPlayed());
        const qint64 played = recorder->recordedBytes();
        ASSERT_TRUE(waitFor([&] { return recorder->recordedBytes() >= played + 6400; })); // the tail
    }
    bool engineRan() const { return QFile::exists(home.path() + QStringLiteral("/argv.json")); }

    TempDataHome home;
    std::vector<std::pair<const char *, QByteArray>> saved;
    FakeScheduler scheduler;
    FakePasteboard pasteboard;
    FakeKeySynthesizer keys;
    FakeWorkspace workspace;
    FakeAccessibility accessibility;
    FakePermissions permissions;
    FakeSoundPlayer sounds;
    WhisperRunner runner;
    FakeOverlay overlay;
    FakeMainWindow mainWindow;
    FakeCancelShortcut cancelShortcut;
    std::unique_ptr<ModelStore> modelStore;
    std::unique_ptr<HistoryStore> history;
    std::unique_ptr<AudioRecorder> recorder;
    std::unique_ptr<AppState> state;
};

} // namespace

TEST_F(DictationPipelineTest, EngineFailureShowsItsMessageAndKeepsNothing)
{
    state->setAutomaticPaste(false);
    const QString script = home.path() + QStringLiteral("/script");
    QFile f(script);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("stderr whisper_init_from_file: failed to load model\\n\nstderr error: failed to initialize whisper context\\n\nexit 3\n");
    f.close();
    setEnv("ORVEL_FAKE_ENGINE_SCRIPT", script);
    ASSERT_NO_FATAL_FAILURE(dictateAloud(0));
    state->toggleRecording();
    ASSERT_TRUE(waitFor([&] { return !state->status().isBusy(); }));
    EXPECT_EQ(state->status().kind, CaptureStatus::Kind::error);
    EXPECT_EQ(state->status().text,
              QStringLiteral("whisper_init_from_file: failed to load model error: failed to initialize whisper context"));
    EXPECT_FALSE(QFile::exists(AppPaths::history()));
    EXPECT_TRUE(temporaryRecordings().isEmpty());
}

TEST_F(DictationPipelineTest, SilenceIsNoSpeechAndNeverReachesTheEngineAndCancelKeepsNothing)
{
    state->setAutomaticPaste(false);
    state->toggleRecording();
    ASSERT_TRUE(waitFor([&] { return recorder->recordedBytes() >= 32000; })); // a second
    state->toggleRecording();
    EXPECT_EQ(state->status(), CaptureStatus::error(QStringLiteral("No speech was detected.")));
    EXPECT_FALSE(engineRan());
    EXPECT_TRUE(temporaryRecordings().isEmpty());
    EXPECT_FALSE(QFile::exists(AppPaths::history()));

    scheduler.advance(10);
    state->toggleRecording();
    ASSERT_TRUE(waitFor([&] { return recorder->recordedBytes() > 0; }));
    state->cancelRecording();
    EXPECT_EQ(state->status().kind, CaptureStatus::Kind::idle);
    EXPECT_TRUE(temporaryRecordings().isEmpty());
    EXPECT_FALSE(QFile::exists(AppPaths::history()));
}

TEST_F(DictationPipelineTest, MicrophoneUnpluggedMidRecordingEndsItWithTheRecordersMessage)
{
    state->setAutomaticPaste(false);
    state->toggleRecording();
    ASSERT_EQ(state->status().kind, CaptureStatus::Kind::recording) << state->status().text.toStdString();
    ASSERT_TRUE(waitFor([&] { return recorder->recordedBytes() > 0; }));
    {
        sinkaudio::UnpluggedMicrophone gone;
        ASSERT_TRUE(gone.unplugged());
        // The recorder looks for its device on the meter's ticks, which run on the scheduler.
        EXPECT_TRUE(waitFor([&] {
            if (state->status().kind != CaptureStatus::Kind::recording)
                return true;
            scheduler.advance(AudioRecorder::meterInterval);
            return false;
        })) << "the recording went on without its microphone";
        EXPECT_EQ(state->status(), CaptureStatus::error(QStringLiteral("Orvel Raza could not access the microphone.")));
        EXPECT_FALSE(recorder->isRecording());
        EXPECT_TRUE(temporaryRecordings().isEmpty());
        EXPECT_TRUE(overlay.visible);
        scheduler.advance(2.3); // the error's time on screen
        EXPECT_EQ(state->status().kind, CaptureStatus::Kind::idle);
        EXPECT_FALSE(overlay.visible);
    }
    EXPECT_FALSE(engineRan());
    EXPECT_FALSE(QFile::exists(AppPaths::history()));

    // With the microphone back the next dictation records again.
    ASSERT_TRUE(waitFor([] { return QMediaDevices::defaultAudioInput().id() == "orvel_test_mic"; }));
    state->toggleRecording();
    EXPECT_EQ(state->status().kind, CaptureStatus::Kind::recording) << state->status().text.toStdString();
    EXPECT_TRUE(waitFor([&] { return recorder->recordedBytes() > 0; }));
    state->cancelRecording();
    EXPECT_TRUE(temporaryRecordings().isEmpty());
}

TEST_F(CommandPipelineTest, MicrophoneUnpluggedWhileTheInstructionIsSpokenRunsNothing)
{
    state->toggleAgentRecording(false);
    drain();
    scheduler.advance(0.61); // the selection's copy fallback
    drain();
    ASSERT_EQ(phase(), AgentPhase::listening) << state->agentPhaseDetail().toStdString();
    ASSERT_TRUE(sinkaudio::waitFor([&] { return microphone.recordedBytes() > 0; }));
    {
        sinkaudio::UnpluggedMicrophone gone;
        ASSERT_TRUE(gone.unplugged());
        EXPECT_TRUE(sinkaudio::waitFor([&] {
            if (phase() != AgentPhase::listening)
                return true;
            scheduler.advance(AudioRecorder::meterInterval);
            return false;
        })) << "the instruction went on without its microphone";
    }
    EXPECT_EQ(phase(), AgentPhase::error);
    EXPECT_EQ(state->agentPhaseDetail(), QStringLiteral("Orvel Raza could not access the microphone."));
    EXPECT_FALSE(microphone.isRecording());
    EXPECT_TRUE(QDir(AppPaths::temporaryRecordings()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    EXPECT_TRUE(runner.calls.empty());
    EXPECT_TRUE(runtime.requests.isEmpty());
    EXPECT_FALSE(cancelShortcut.registered);
    EXPECT_TRUE(sinkaudio::waitFor([] { return QMediaDevices::defaultAudioInput().id() == "orvel_test_mic"; }));
}
