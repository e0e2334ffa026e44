#include "AppStateFixture.h"

#include <QFileInfo>

using Kind = CaptureStatus::Kind;

TEST_F(AppStateTest, ToggleRunsTheWholeDictation)
{
    workspace.front = RunningApplication{42, QStringLiteral("Editor"), 7};
    state->setVocabulary({QStringLiteral("Orvel")});
    state->setCompletionSound(CompletionSound::gentleTap);
    state->toggleRecording();
    EXPECT_EQ(kind(), Kind::recording);
    EXPECT_TRUE(cancelShortcut.registered);
    EXPECT_TRUE(overlay.visible);

    state->toggleRecording();
    EXPECT_EQ(kind(), Kind::processing);
    EXPECT_FALSE(cancelShortcut.registered);
    EXPECT_EQ(runner.lastModel.id, QStringLiteral("pocket"));
    EXPECT_EQ(runner.lastModelPath, AppPaths::models() + QStringLiteral("/ggml-tiny.en-q5_1.bin"));
    EXPECT_EQ(runner.lastVocabulary, QStringList{QStringLiteral("Orvel")});

    runner.finish(QStringLiteral("Hello there"));
    drain();
    EXPECT_EQ(state->status(), CaptureStatus::success(QStringLiteral("Hello there")));
    EXPECT_EQ(pasteboard.string(), QStringLiteral("Hello there"));
    EXPECT_FALSE(QFileInfo::exists(recorder.filePath));
    ASSERT_EQ(history.list.size(), 1);
    EXPECT_EQ(history.list.front().text, QStringLiteral("Hello there"));
    EXPECT_DOUBLE_EQ(history.list.front().duration, 2.5);
    EXPECT_EQ(history.list.front().modelID, QStringLiteral("pocket"));
    EXPECT_FALSE(history.list.front().audioFileName.has_value());
    // The chosen sound, after stopping one still playing.
    ASSERT_EQ(sounds.played.size(), 1u);
    EXPECT_EQ(sounds.played[0].first, QStringLiteral("Tink"));
    EXPECT_EQ(sounds.stops, 1);
    EXPECT_EQ(sounds.beeps, 0);

    // The target comes forward first; the paste follows once it has.
    ASSERT_EQ(workspace.activated.size(), 1u);
    EXPECT_EQ(workspace.activated.front().processIdentifier, 42);
    EXPECT_TRUE(keys.posted.empty());
    scheduler.advance(0.1);
    ASSERT_EQ(keys.posted.size(), 1u);
    EXPECT_EQ(keys.posted.front(), std::make_pair(uint16_t(9), uint64_t(0x100000)));

    // Success hides and returns to idle.
    scheduler.advance(1.2);
    EXPECT_FALSE(overlay.visible);
    EXPECT_EQ(kind(), Kind::idle);
    EXPECT_DOUBLE_EQ(state->transcriptionProgress(), 0);

    // Without the sound file there is still the beep.
    sounds.available.clear();
    state->playCompletionSound();
    EXPECT_EQ(sounds.beeps, 1);

    // A transcript the history could not save is still delivered, and the overlay says why.
    history.saveError = QStringLiteral("Your Dictation history could not be saved.");
    dictate(QStringLiteral("Not lost"));
    EXPECT_EQ(state->status(), CaptureStatus::error(*history.saveError));
    EXPECT_TRUE(overlay.visible);
    EXPECT_EQ(pasteboard.string(), QStringLiteral("Not lost"));
    EXPECT_EQ(history.list.front().text, QStringLiteral("Not lost"));
}

TEST_F(AppStateTest, OnWaylandTheFieldFocusedAtTheStartTakesTheTextElseTheOverlaySaysNeedsPaste)
{
    wayland = true;
    state = makeState();
    auto field = std::make_shared<FakeAccessibleElement>();
    field->text = QStringLiteral("Hi ");
    field->range = TextRange{3, 0};
    field->editable = true;
    accessibility.focused = field;
    // The focus moves on while the run transcribes: the text still goes where the run started.
    startAndStop();
    auto elsewhere = std::make_shared<FakeAccessibleElement>(*field);
    accessibility.focused = elsewhere;
    runner.finish(QStringLiteral("there"));
    drain();
    EXPECT_EQ(field->text, QStringLiteral("Hi there"));
    EXPECT_EQ(elsewhere->text, QStringLiteral("Hi "));
    EXPECT_FALSE(state->status().needsPaste);

    // A field that takes no edit, and no keyboard to paste with: only the clipboard has it, and
    // the overlay says so instead of success.
    elsewhere->editable = false;
    dictate(QStringLiteral("again"));
    scheduler.advance(0.1);
    EXPECT_EQ(elsewhere->text, QStringLiteral("Hi "));
    EXPECT_EQ(pasteboard.string(), QStringLiteral("again"));
    EXPECT_TRUE(keys.posted.empty());
    EXPECT_EQ(kind(), CaptureStatus::Kind::success);
    EXPECT_TRUE(state->status().needsPaste);
}

TEST_F(AppStateTest, PasteSkippedWhenTrustIsLostOrAutomaticPasteIsOffAndOwnWindowIsNotReactivated)
{
    workspace.front = RunningApplication{workspace.ownPid, QStringLiteral("Orvel Raza"), 1};
    dictate(QStringLiteral("text"));
    EXPECT_TRUE(workspace.activated.empty());
    scheduler.advance(0.1);
    EXPECT_EQ(keys.posted.size(), 1u);
    keys.posted.clear();
    history.list.clear();

    scheduler.advance(2);
    startAndStop();
    accessibility.trusted = false; // revoked while transcribing
    runner.finish(QStringLiteral("kept"));
    drain();
    scheduler.advance(0.2);
    EXPECT_TRUE(keys.posted.empty());
    EXPECT_EQ(pasteboard.string(), QStringLiteral("kept"));
    EXPECT_EQ(history.list.size(), 1);

    scheduler.advance(2);
    state->setAutomaticPaste(false);
    dictate(QStringLiteral("again"));
    scheduler.advance(0.2);
    EXPECT_TRUE(keys.posted.empty());
    EXPECT_EQ(kind(), Kind::success);
}

TEST_F(AppStateTest, StartChecksPermissionsInOrder)
{
    const struct {
        bool automaticPaste, microphone, accessibility;
        const char *message; // nullptr: recording starts
        std::optional<PermissionAttention> attention;
    } cases[] = {
        {true, false, false, "Microphone and Accessibility access are required.", PermissionAttention::microphoneAndAccessibility},
        {true, false, true, "Microphone access is required.", PermissionAttention::microphone},
        {true, true, false, "Accessibility access is required for automatic paste.", PermissionAttention::accessibility},
        {false, true, false, nullptr, std::nullopt},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.message ? c.message : "starts");
        state->setAutomaticPaste(c.automaticPaste);
        permissions.microphone = c.microphone;
        accessibility.trusted = c.accessibility;
        state->startRecording();
        if (!c.message) {
            EXPECT_EQ(kind(), Kind::recording);
            EXPECT_FALSE(state->permissionAttention().has_value());
            continue;
        }
        EXPECT_EQ(state->status(), CaptureStatus::error(QString::fromUtf8(c.message)));
        EXPECT_EQ(state->permissionAttention(), c.attention);
        EXPECT_EQ(recorder.starts, 0);
        EXPECT_TRUE(overlay.visible);
        scheduler.advance(6.1);
        EXPECT_EQ(kind(), Kind::idle);
        EXPECT_FALSE(overlay.visible);
    }
}

TEST_F(AppStateTest, StartAndStopFailuresShowTheirMessageForTheirTime)
{
    // No usable model: Models section, main window forward, 2.2 s.
    state->setSelectedModelID(QStringLiteral("studio"));
    state->startRecording();
    EXPECT_EQ(state->status(), CaptureStatus::error(QStringLiteral("Choose a downloaded model.")));
    EXPECT_EQ(state->selectedSection(), AppSection::models);
    EXPECT_EQ(mainWindow.raises, 1);
    scheduler.advance(2.3);
    EXPECT_EQ(kind(), Kind::idle);

    // A recorder that cannot start: its own message, 2.2 s.
    state->setSelectedModelID(QStringLiteral("pocket"));
    recorder.failure = QStringLiteral("Orvel Raza could not access the microphone.");
    state->startRecording();
    EXPECT_EQ(state->status(), CaptureStatus::error(*recorder.failure));
    EXPECT_FALSE(cancelShortcut.registered);
    scheduler.advance(2.3);
    EXPECT_EQ(kind(), Kind::idle);
    recorder.failure.reset();

    // A stop without a recording, or with the model gone, does not stick in recording.
    recorder.handBackNothing = true;
    startAndStop();
    EXPECT_EQ(kind(), Kind::idle);
    EXPECT_FALSE(overlay.visible);
    EXPECT_FALSE(cancelShortcut.registered);
    EXPECT_TRUE(runner.calls.isEmpty());

    recorder.handBackNothing = false;
    state->toggleRecording();
    state->setSelectedModelID(QStringLiteral("no-such-model"));
    state->toggleRecording();
    EXPECT_EQ(state->status(), CaptureStatus::error(QStringLiteral("Download and select a speech model first.")));
    EXPECT_FALSE(QFileInfo::exists(recorder.filePath));
    EXPECT_TRUE(runner.calls.isEmpty());
    scheduler.advance(2.3);
    EXPECT_EQ(kind(), Kind::idle);
}

// A silent recording is walked with the real recorder by the dictation pipeline test.
TEST_F(AppStateTest, SoftSpeechReachesTheEngineAndNoSpeechKeepsNothing)
{
    // Soft speech, and a recording nobody measured, still go to the engine.
    for (const std::optional<double> loudest : {std::optional(-50.0), std::optional<double>()}) {
        recorder.loudestPower = loudest;
        startAndStop();
        EXPECT_EQ(kind(), Kind::processing);
        runner.finish(QStringLiteral("quiet words"));
        drain();
        EXPECT_EQ(kind(), Kind::success);
    }
    EXPECT_EQ(runner.calls.size(), 2);
    scheduler.advance(2);
    history.list.clear();
    sounds.played.clear();

    // The engine heard nothing: the recording goes, nothing is kept, the error hides after its delay.
    dictate(OrvelError::emptyTranscript());
    EXPECT_EQ(state->status(), CaptureStatus::error(QStringLiteral("No speech was detected.")));
    EXPECT_DOUBLE_EQ(state->transcriptionProgress(), 0);
    EXPECT_FALSE(QFileInfo::exists(recorder.filePath));
    EXPECT_TRUE(history.list.isEmpty());
    EXPECT_TRUE(sounds.played.empty());
    scheduler.advance(2.9);
    EXPECT_EQ(kind(), Kind::idle);
}

TEST_F(AppStateTest, StartsDoNothingWhileBusyAndHoldToTalkOnlyStopsWhatItStarted)
{
    startAndStop();
    state->toggleRecording(); // processing: not a new start
    EXPECT_EQ(kind(), Kind::processing);
    EXPECT_EQ(recorder.starts, 1);
    runner.finish(QStringLiteral("x"));
    drain();

    for (AgentPhase busy : {AgentPhase::listening, AgentPhase::transcribing, AgentPhase::loadingModel,
                            AgentPhase::generating}) {
        state->setAgentPhase(busy);
        state->toggleRecording();
        state->startRecording();
        state->handlePushToTalkBegan();
        state->handlePushToTalkEnded();
        EXPECT_EQ(recorder.starts, 1);
    }
    // A hold refused while Command is busy leaves nothing for its late release to stop.
    state->handlePushToTalkBegan();
    state->setAgentPhase(AgentPhase::completed);
    state->toggleRecording();
    EXPECT_EQ(kind(), Kind::recording);
    state->handlePushToTalkEnded();
    EXPECT_EQ(kind(), Kind::recording);

    // Held during a toggle recording: no second recording, and the release leaves it running.
    state->handlePushToTalkBegan();
    EXPECT_EQ(recorder.starts, 2);
    state->handlePushToTalkEnded();
    EXPECT_EQ(kind(), Kind::recording);

    // The toggle stops a held recording; the later release does nothing.
    state->cancelRecording();
    state->handlePushToTalkBegan();
    EXPECT_TRUE(state->pushToTalkActive());
    state->toggleRecording();
    EXPECT_EQ(kind(), Kind::processing);
    state->handlePushToTalkEnded();
    EXPECT_EQ(kind(), Kind::processing);
    EXPECT_EQ(recorder.stops, 2);
}

TEST_F(AppStateTest, CancelCasesInOrder)
{
    // Recording: idle at once, overlay hidden, no file, no history.
    state->toggleRecording();
    state->cancelRecording();
    EXPECT_EQ(kind(), Kind::idle);
    EXPECT_FALSE(overlay.visible);
    EXPECT_FALSE(cancelShortcut.registered);
    EXPECT_EQ(recorder.cancels, 1);
    EXPECT_FALSE(QFileInfo::exists(recorder.filePath));
    EXPECT_TRUE(history.list.isEmpty());

    // Processing is not cancellable.
    startAndStop();
    state->cancelRecording();
    EXPECT_EQ(kind(), Kind::processing);
    EXPECT_EQ(recorder.cancels, 1);
    runner.finish(QStringLiteral("done"));
    drain();

    // A Command recording wins over Dictation's status and hides after 0.5 s.
    state->setAgentPhase(AgentPhase::listening);
    overlay.show();
    state->cancelRecording();
    EXPECT_EQ(state->agentPhase(), AgentPhase::cancelled);
    EXPECT_DOUBLE_EQ(state->agentProgress(), 0);
    EXPECT_EQ(recorder.cancels, 2);
    scheduler.advance(0.4);
    EXPECT_TRUE(overlay.visible);
    scheduler.advance(0.11);
    EXPECT_FALSE(overlay.visible);

    // Nothing to cancel.
    const int cancels = recorder.cancels;
    state->cancelRecording();
    EXPECT_EQ(recorder.cancels, cancels);
}

TEST_F(AppStateTest, HideNeverFiresWhileBusyAndANewStartCancelsIt)
{
    dictate(QStringLiteral("first"));
    scheduler.advance(1.0);
    state->toggleRecording(); // a quick second run before the 1.25 s hide
    scheduler.advance(5);
    EXPECT_EQ(kind(), Kind::recording);
    EXPECT_TRUE(overlay.visible);

    // A hide scheduled by an earlier failure does not fire into a running transcription.
    state->toggleRecording();
    scheduler.advance(10);
    EXPECT_EQ(kind(), Kind::processing);
    runner.finish(QStringLiteral("second"));
    drain();
    EXPECT_EQ(kind(), Kind::success);
}

TEST_F(AppStateTest, ProgressClimbsToTheCapAndNeverGoesBack)
{
    startAndStop();
    scheduler.advance(0.18);
    EXPECT_GT(state->transcriptionProgress(), 0.03);

    double previous = state->transcriptionProgress();
    for (int i = 0; i < 2000; ++i) {
        scheduler.advance(0.18);
        ASSERT_GE(state->transcriptionProgress(), previous);
        previous = state->transcriptionProgress();
    }
    EXPECT_DOUBLE_EQ(state->transcriptionProgress(), 0.92);

    runner.reportProgress(0.5); // smaller than the estimate: ignored
    drain();
    EXPECT_DOUBLE_EQ(state->transcriptionProgress(), 0.92);
    runner.reportProgress(1.0); // the runner never reaches 1 before the result
    drain();
    EXPECT_DOUBLE_EQ(state->transcriptionProgress(), 0.97);
    runner.finish(QStringLiteral("ok"));
    drain();
    EXPECT_DOUBLE_EQ(state->transcriptionProgress(), 1.0);
    runner.reportProgress(0.4); // after the run: ignored
    drain();
    EXPECT_DOUBLE_EQ(state->transcriptionProgress(), 1.0);
}

// The Settings screen test walks what the request then highlights.
TEST_F(AppStateTest, OverlayTapRoutesOnlyPermissionProblems)
{
    dictate(QStringLiteral("ok"));
    state->handleOverlayTap();
    EXPECT_EQ(state->permissionAttentionRequest(), 0);

    scheduler.advance(2);
    permissions.microphone = false;
    state->startRecording();
    state->handleOverlayTap();
    EXPECT_EQ(state->selectedSection(), AppSection::settings);
    EXPECT_EQ(mainWindow.raises, 1);
    EXPECT_FALSE(overlay.visible);
    EXPECT_EQ(kind(), Kind::idle);
    EXPECT_FALSE(state->permissionAttention().has_value());
    scheduler.advance(10); // the cancelled hide does nothing later
    EXPECT_EQ(overlay.hides, 2);
}

TEST_F(AppStateTest, PermissionRequestsOpenSettingsWhenRefused)
{
    permissions.grantOnRequest = false;
    accessibility.trusted = false;
    state->requestMicrophone();
    state->requestAccessibility();
    EXPECT_EQ(accessibility.prompts, 1);
    scheduler.advance(0.41);
    ASSERT_EQ(permissions.opened.size(), 2);
    EXPECT_TRUE(permissions.opened.last().endsWith(QStringLiteral("Privacy_Accessibility")));

    permissions.grantOnRequest = true;
    state->requestScreenRecording();
    scheduler.advance(1);
    EXPECT_EQ(permissions.opened.size(), 2);
    EXPECT_TRUE(state->screenRecordingGranted());
}

TEST_F(AppStateTest, ConstructionPreparesFoldersAndDestroyedStateDropsLateResults)
{
    EXPECT_EQ(recorder.cleanups, 1);
    EXPECT_TRUE(QFileInfo(AppPaths::temporaryRecordings()).isDir());
    EXPECT_TRUE(QFileInfo(AppPaths::agentAttachments()).isDir());
    startAndStop();
    state.reset();
    runner.finish(QStringLiteral("late")); // must not touch the destroyed state
    drain();
    scheduler.advance(10);
    EXPECT_TRUE(history.list.isEmpty());
}
