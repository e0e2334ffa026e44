// Dictation's failure paths through the real recorder (PulseAudio of the test session), the real
// runner (the stand-in engine) and the real history file; DictationEndToEndTest walks the normal run.
#include "AgentFlowFixture.h"
#include "ScopedEnv.h"
#include "SinkAudio.h"
#include "speech/AudioRecorder.h"
#include "speech/HistoryStore.h"
#include "speech/WhisperRunner.h"

#include <QDir>
#include <QMediaDevices>

#include <list>

namespace {

bool noAudio() { return QMediaDevices::defaultAudioInput().isNull(); }

QStringList temporaryRecordings() { return QDir(AppPaths::temporaryRecordings()).entryList(QDir::Files | QDir::Hidden); }

// Command with every collaborator faked but the recorder.
class CommandPipelineTest : public AgentFlowTest {
protected:
    void SetUp() override
    {
        if (noAudio())
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

// Dictation with the real recorder, runner and history file; the base's fakes for the rest.
class DictationPipelineTest : public AppStateTest {
protected:
    void SetUp() override
    {
        if (noAudio())
            GTEST_SKIP() << "needs the audio of scripts/test-session.sh";
        // The stand-in under its real name; set-up may have put the real engine beside the program.
        env.emplace_back("ORVEL_WHISPER_CLI_PATH", qEnvironmentVariable("ORVEL_TEST_SUPPORT_DIR") + QStringLiteral("/engines/whisper-cli"));
        env.emplace_back("ORVEL_FAKE_ENGINE_ARGV", home.path() + QStringLiteral("/argv.json"));
        env.emplace_back("ORVEL_FAKE_ENGINE_SCRIPT", QString());
        // The base installs the model file, which the engine stand-in needs as the real one does.
        AppStateTest::SetUp();
        state->setAutomaticPaste(false);
    }
    // The state goes before the collaborators declared here do.
    void TearDown() override { state.reset(); }
    void addServices(AppState::Services &s) override
    {
        s.recorder = &microphone;
        s.runner = &engine;
        s.history = &historyFile;
    }
    static bool waitFor(const std::function<bool()> &condition) { return sinkaudio::waitFor(condition, 15000); }
    // Starts a run and says a sentence into the microphone, gainDb below espeak-ng's level.
    void dictateAloud(double gainDb)
    {
        const QString speech = home.path() + QStringLiteral("/speech.wav");
        ASSERT_TRUE(sinkaudio::writeSpeech(speech, QStringLiteral("Meet me at the station at nine."), gainDb))
            << "needs espeak-ng";
        state->toggleRecording();
        ASSERT_EQ(kind(), CaptureStatus::Kind::recording) << state->status().text.toStdString();
        // The virtual source takes a moment to deliver its first block.
        ASSERT_TRUE(waitFor([&] { return microphone.recordedBytes() > 0; }));
        sinkaudio::Playback playback(speech);
        ASSERT_TRUE(playback.waitUntilPlayed());
        const qint64 played = microphone.recordedBytes();
        ASSERT_TRUE(waitFor([&] { return microphone.recordedBytes() >= played + 6400; })); // the tail
    }
    bool engineRan() const { return QFile::exists(home.path() + QStringLiteral("/argv.json")); }

    std::list<ScopedEnv> env;
    AudioRecorder microphone{scheduler};
    WhisperRunner engine;
    HistoryStore historyFile;
};

} // namespace

TEST_F(DictationPipelineTest, EngineFailureShowsItsMessageAndKeepsNothing)
{
    const QString script = home.path() + QStringLiteral("/script");
    QFile f(script);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("stderr whisper_init_from_file: failed to load model\\n\nstderr error: failed to initialize whisper context\\n\nexit 3\n");
    f.close();
    const ScopedEnv scripted("ORVEL_FAKE_ENGINE_SCRIPT", script);
    ASSERT_NO_FATAL_FAILURE(dictateAloud(0));
    state->toggleRecording();
    ASSERT_TRUE(waitFor([&] { return !state->status().isBusy(); }));
    EXPECT_EQ(kind(), CaptureStatus::Kind::error);
    EXPECT_EQ(state->status().text,
              QStringLiteral("whisper_init_from_file: failed to load model error: failed to initialize whisper context"));
    EXPECT_FALSE(QFile::exists(AppPaths::history()));
    EXPECT_TRUE(temporaryRecordings().isEmpty());
}

TEST_F(DictationPipelineTest, SilenceIsNoSpeechAndNeverReachesTheEngineAndCancelKeepsNothing)
{
    state->toggleRecording();
    ASSERT_TRUE(waitFor([&] { return microphone.recordedBytes() >= 32000; })); // a second
    state->toggleRecording();
    EXPECT_EQ(state->status(), CaptureStatus::error(QStringLiteral("No speech was detected.")));
    EXPECT_FALSE(engineRan());
    EXPECT_TRUE(temporaryRecordings().isEmpty());
    EXPECT_FALSE(QFile::exists(AppPaths::history()));

    scheduler.advance(10);
    state->toggleRecording();
    ASSERT_TRUE(waitFor([&] { return microphone.recordedBytes() > 0; }));
    state->cancelRecording();
    EXPECT_EQ(kind(), CaptureStatus::Kind::idle);
    EXPECT_TRUE(temporaryRecordings().isEmpty());
    EXPECT_FALSE(QFile::exists(AppPaths::history()));
}

// Held to talk: the key let go after the loss must find nothing to stop.
TEST_F(DictationPipelineTest, MicrophoneUnpluggedMidRecordingEndsItWithTheRecordersMessage)
{
    state->handlePushToTalkBegan();
    ASSERT_EQ(kind(), CaptureStatus::Kind::recording) << state->status().text.toStdString();
    ASSERT_TRUE(waitFor([&] { return microphone.recordedBytes() > 0; }));
    {
        sinkaudio::UnpluggedMicrophone gone;
        ASSERT_TRUE(gone.unplugged());
        // The recorder looks for its device on the meter's ticks, which run on the scheduler.
        EXPECT_TRUE(waitFor([&] {
            if (kind() != CaptureStatus::Kind::recording)
                return true;
            scheduler.advance(AudioRecorder::meterInterval);
            return false;
        })) << "the recording went on without its microphone";
        EXPECT_EQ(state->status(), CaptureStatus::error(QStringLiteral("Orvel Raza could not access the microphone.")));
        EXPECT_FALSE(microphone.isRecording());
        EXPECT_TRUE(temporaryRecordings().isEmpty());
        EXPECT_FALSE(cancelShortcut.registered);
        EXPECT_FALSE(state->pushToTalkActive());
        EXPECT_TRUE(overlay.visible);
        state->handlePushToTalkEnded();
        scheduler.advance(2.3); // the error's time on screen
        EXPECT_EQ(kind(), CaptureStatus::Kind::idle);
        EXPECT_FALSE(overlay.visible);
    }
    EXPECT_FALSE(engineRan());
    EXPECT_FALSE(QFile::exists(AppPaths::history()));

    // Recording again once it is back is the recorder test's.
    EXPECT_TRUE(waitFor([] { return QMediaDevices::defaultAudioInput().id() == "orvel_test_mic"; }));
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
    EXPECT_TRUE(temporaryRecordings().isEmpty());
    EXPECT_TRUE(runner.calls.empty());
    EXPECT_TRUE(runtime.requests.isEmpty());
    EXPECT_FALSE(cancelShortcut.registered);
    EXPECT_TRUE(sinkaudio::waitFor([] { return QMediaDevices::defaultAudioInput().id() == "orvel_test_mic"; }));
}
