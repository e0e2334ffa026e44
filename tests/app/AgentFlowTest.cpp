#include "AgentFlowFixture.h"

#include "RunTask.h"
#include "command/AgentContextCaptureService.h"
#include "command/AgentPasteCoordinator.h"
#include "platform/KeySynthesizer.h"

#include <QFileInfo>

namespace {
const std::pair<uint16_t, uint64_t> kPaste{KeySynthesizer::keyV, KeySynthesizer::commandFlag};
}

TEST_F(AgentFlowTest, StartChecksFailInOrderBeforeAnythingIsCapturedOrRecorded)
{
    struct Case {
        const char *name;
        std::function<void()> arrange;
        QString message;
        std::optional<AppSection> section;
        bool screenshot = false;
    };
    const QString keyMessage =
        QStringLiteral("Add your OpenAI API key in Models → Command before using an OpenAI model.");
    const std::vector<Case> cases = {
        {"microphone", [&] { permissions.microphone = false; }, QStringLiteral("Microphone access is required."),
         std::nullopt},
        {"accessibility", [&] { accessibility.trusted = false; },
         QStringLiteral("Accessibility access is required for context and automatic paste."), AppSection::agent},
        {"unknown model", [&] { changeSettings([](AgentSettings &s) { s.selectedModelID = QStringLiteral("gone"); }); },
         QStringLiteral("Choose a writing model."), AppSection::agent},
        {"text-only model", [] {}, QStringLiteral("Switch to an image-capable model to include a screenshot."),
         std::nullopt, true},
        {"no cloud key", [&] { changeSettings([](AgentSettings &s) { s.writingProvider = AgentWritingProvider::openAI; }); },
         keyMessage, AppSection::models},
        {"not downloaded",
         [&] { changeSettings([](AgentSettings &s) { s.selectedModelID = QStringLiteral("qwen3-4b-q4"); }); },
         QStringLiteral("Download Qwen Writer before using it."), AppSection::agent},
        {"speech model missing",
         [&] { changeSettings([](AgentSettings &s) { s.speechModelID = QStringLiteral("studio"); }); },
         QStringLiteral("Download the selected speech model first."), AppSection::agent},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        c.arrange();
        const int raises = mainWindow.raises;
        const int starts = recorder.starts;
        state->toggleAgentRecording(c.screenshot);
        drain();
        EXPECT_EQ(phase(), AgentPhase::error);
        EXPECT_EQ(state->agentPhaseDetail(), c.message);
        EXPECT_EQ(recorder.starts, starts);
        EXPECT_TRUE(keys.posted.empty());
        EXPECT_EQ(mainWindow.raises - raises, c.section ? 1 : 0);
        if (c.section) {
            EXPECT_EQ(state->selectedSection(), *c.section);
        }
        // The message stays for three seconds.
        scheduler.advance(2.9);
        EXPECT_TRUE(overlay.visible);
        scheduler.advance(0.2);
        EXPECT_FALSE(overlay.visible);
    }
}

TEST_F(AgentFlowTest, SpokenInstructionRunsReplacesTheSelectionAndKeepsTheUsersClipboard)
{
    const PasteboardContents before = pasteboard.items;
    EXPECT_EQ(runtime.ensures, 1); // warmed at start

    state->toggleAgentRecording(false);
    drain();
    EXPECT_EQ(phase(), AgentPhase::listening);
    EXPECT_EQ(state->targetApplicationName(), QStringLiteral("Editor"));
    EXPECT_TRUE(cancelShortcut.registered);
    // The selection came from the element: the clipboard was not touched.
    EXPECT_EQ(pasteboard.clears, 0);

    state->toggleAgentRecording(false);
    EXPECT_EQ(phase(), AgentPhase::transcribing);
    runner.finish(QStringLiteral("  Make it polite \n"));
    drain();

    ASSERT_EQ(runtime.requests.size(), 1);
    const AgentRuntimeRequest &request = runtime.requests[0];
    EXPECT_EQ(request.instruction, QStringLiteral("Make it polite"));
    EXPECT_EQ(request.model->id, QStringLiteral("apple-system"));
    EXPECT_FALSE(request.openAIAPIKey);
    ASSERT_EQ(request.attachments.size(), 1);
    EXPECT_EQ(request.attachments[0].text, QStringLiteral("we are late"));
    EXPECT_EQ(phase(), AgentPhase::loadingModel);
    EXPECT_FALSE(QFileInfo::exists(recorder.filePath));

    const AgentConversation created = onlyConversation();
    EXPECT_EQ(created.id, request.conversationID);
    EXPECT_EQ(created.title, QStringLiteral("Make it polite"));
    EXPECT_EQ(state->activeAgentConversationID(), created.id);

    // Deltas stream.
    runtime.emitEvent(AgentProtocolEventKind::phase, AgentPhase::generating, QStringLiteral("Writing"));
    EXPECT_EQ(state->agentPhaseDetail(), QStringLiteral("Writing"));
    runtime.emitEvent(AgentProtocolEventKind::delta, std::nullopt, QStringLiteral("We are "));
    runtime.emitEvent(AgentProtocolEventKind::delta, std::nullopt, QStringLiteral("running late."));
    EXPECT_EQ(state->agentStreamedText(), QStringLiteral("We are running late."));

    runtime.finish(QStringLiteral("We are running late."));
    drain();
    EXPECT_TRUE(keys.posted.empty()); // the target gets time to come forward first
    scheduler.advance(0.09);
    ASSERT_EQ(keys.posted.size(), 1u);
    EXPECT_EQ(keys.posted[0], kPaste);
    EXPECT_EQ(workspace.activated.size(), 1u);
    scheduler.advance(0.08);
    drain();

    EXPECT_EQ(phase(), AgentPhase::completed);
    EXPECT_EQ(state->agentResultText(), QStringLiteral("We are running late."));
    EXPECT_FALSE(state->agentResultNeedsPaste());
    EXPECT_FALSE(cancelShortcut.registered);
    EXPECT_EQ(results.results, 1);
    EXPECT_EQ(sounds.played.size(), 1u);
    // Copy is on by default, so the result stays on the clipboard.
    EXPECT_EQ(pasteboard.string(), QStringLiteral("We are running late."));
    EXPECT_NE(pasteboard.items, before);

    const AgentConversation done = onlyConversation();
    EXPECT_EQ(done.messages.size(), 2);
    EXPECT_EQ(done.lastPastedText, QStringLiteral("We are running late."));
    EXPECT_EQ(state->agentFlow().paste().lastTarget()->selectedRange, (TextRange{11, 20}));

    scheduler.advance(1.2);
    EXPECT_FALSE(overlay.visible);
}

TEST_F(AgentFlowTest, CommandAndDictationExcludeEachOtherAndEmptyInstructionsCreateNothing)
{
    state->toggleRecording();
    ASSERT_EQ(state->status().kind, CaptureStatus::Kind::recording);
    state->toggleAgentRecording(false);
    drain();
    EXPECT_EQ(phase(), AgentPhase::idle);
    state->cancelRecording();

    // Dictation refused while Command listens is walked by the dictation state tests.
    speak(QStringLiteral(" \n "));
    EXPECT_EQ(phase(), AgentPhase::error);
    EXPECT_EQ(state->agentPhaseDetail(), QStringLiteral("No instruction was detected."));

    // Silence never reaches the engine, which would make an instruction up.
    recorder.loudestPower = -70.0;
    scheduler.advance(5.0);
    const auto transcriptions = runner.calls.size();
    state->toggleAgentRecording(false);
    drain();
    scheduler.advance(0.61);
    drain();
    ASSERT_EQ(phase(), AgentPhase::listening);
    state->toggleAgentRecording(false);
    drain();
    EXPECT_EQ(phase(), AgentPhase::error);
    EXPECT_EQ(state->agentPhaseDetail(), QStringLiteral("No instruction was detected."));
    EXPECT_EQ(runner.calls.size(), transcriptions);
    EXPECT_TRUE(conversations->conversations().isEmpty());
    EXPECT_TRUE(runtime.requests.isEmpty());
}

TEST_F(AgentFlowTest, CancelDuringGenerationDropsLateEventsAndText)
{
    speak(QStringLiteral("Shorten it"));
    runtime.emitEvent(AgentProtocolEventKind::phase, AgentPhase::generating);
    runtime.emitEvent(AgentProtocolEventKind::delta, std::nullopt, QStringLiteral("Short"));
    ASSERT_TRUE(cancelShortcut.registered);
    state->cancelRecording();
    EXPECT_EQ(phase(), AgentPhase::cancelled);
    EXPECT_EQ(runtime.cancelled, (QList<QUuid>{runtime.requests[0].requestID}));
    EXPECT_FALSE(cancelShortcut.registered);

    runtime.emitEvent(AgentProtocolEventKind::delta, std::nullopt, QStringLiteral(" and late"));
    runtime.finish(QStringLiteral("Short and late"));
    drain();
    scheduler.advance(1.0);
    EXPECT_EQ(phase(), AgentPhase::cancelled);
    EXPECT_EQ(state->agentStreamedText(), QStringLiteral("Short"));
    EXPECT_TRUE(state->agentResultText().isEmpty());
    EXPECT_TRUE(keys.posted.empty());
    EXPECT_EQ(onlyConversation().messages.size(), 1);
    EXPECT_EQ(pasteboard.string(), QStringLiteral("mine"));
}

// Replacing the earlier result only while it is unchanged is walked by CommandEndToEndTest.
TEST_F(AgentFlowTest, TypedRefinementsContinueOneAtATimeAndAManualPasteGoesToTheTarget)
{
    speak(QStringLiteral("Make it polite"));
    answer(QStringLiteral("We are running late."));
    const QUuid id = *state->activeAgentConversationID();

    state->submitAgentFollowUp(QStringLiteral("  even shorter "));
    ASSERT_EQ(runtime.requests.size(), 2);
    EXPECT_EQ(runtime.requests[1].command, AgentProtocolCommand::continue_);
    EXPECT_EQ(runtime.requests[1].instruction, QStringLiteral("even shorter"));
    EXPECT_EQ(runtime.requests[1].conversationID, id);
    state->submitAgentFollowUp(QStringLiteral("again")); // while one runs: ignored
    EXPECT_EQ(runtime.requests.size(), 2);

    // The field never took the first paste (a fake), so the earlier result is not there to replace.
    answer(QStringLiteral("Late, sorry."));
    EXPECT_EQ(keys.posted.size(), 1u);
    EXPECT_TRUE(state->agentResultNeedsPaste());
    EXPECT_EQ(onlyConversation().lastPastedText, std::nullopt);
    EXPECT_EQ(onlyConversation().messages.size(), 4);
    state->pasteAgentResult();
    scheduler.advance(0.09);
    EXPECT_EQ(keys.posted.size(), 2u);
    EXPECT_FALSE(state->agentResultNeedsPaste());
}

TEST_F(AgentFlowTest, OnWaylandTheElementTakesTheTextElseTheClipboardWithoutKeys)
{
    wayland = true;
    SetUp();
    field->editable = true;
    speak(QStringLiteral("Make it polite"));
    answer(QStringLiteral("we are running late"));
    EXPECT_EQ(field->text, QStringLiteral("Dear team, we are running late."));
    EXPECT_FALSE(state->agentResultNeedsPaste());

    // A refinement replaces exactly the earlier result, wherever the caret went since.
    field->text = QStringLiteral("Dear team, we are running late. Bye");
    field->range = TextRange{35, 0};
    state->submitAgentFollowUp(QStringLiteral("shorter"));
    answer(QStringLiteral("Late, sorry"));
    EXPECT_EQ(field->text, QStringLiteral("Dear team, Late, sorry. Bye"));
    EXPECT_EQ(onlyConversation().lastPastedText, QStringLiteral("Late, sorry"));

    // An element that refuses the edit: no key can reach the application, the user pastes.
    field->editable = false;
    state->submitAgentFollowUp(QStringLiteral("warmer"));
    answer(QStringLiteral("So sorry we are late."));
    EXPECT_TRUE(state->agentResultNeedsPaste());
    EXPECT_EQ(pasteboard.string(), QStringLiteral("So sorry we are late."));
    EXPECT_EQ(field->text, QStringLiteral("Dear team, Late, sorry. Bye"));
    EXPECT_TRUE(keys.posted.empty());

    // The capture sees XWayland's windows only: without the target's, the screenshot shortcut
    // goes on and says it attached none, and the conversation's camera tells why.
    state->setOpenAIAPIKeyConfigured(true);
    changeSettings([](AgentSettings &s) { s.writingProvider = AgentWritingProvider::openAI; });
    state->toggleAgentRecording(true);
    drain();
    scheduler.advance(0.61); // the copy fallback finds no selection
    drain();
    EXPECT_EQ(phase(), AgentPhase::listening);
    EXPECT_EQ(state->agentPhaseDetail(), QStringLiteral("No screenshot attached (Wayland)"));
    state->cancelRecording();
    const auto missing = runTask(state->captureAgentScreenshotAttachment());
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().description(), AgentContextCaptureService::unseenWindow);
    // An X11 application's window is still there to capture.
    screenCapture.windows = {CapturableWindow{9, 4242, QRectF(0, 0, 300, 200), true}};
    EXPECT_TRUE(runTask(state->captureAgentScreenshotAttachment()).ok());
}

TEST_F(AgentFlowTest, ANewRunGoesToItsOwnTargetAndTerminalsGetTheShiftedChord)
{
    speak(QStringLiteral("Fix it"));
    answer(QStringLiteral("Fixed."));
    workspace.front = RunningApplication{5151, QStringLiteral("XTerm"), 88};
    workspace.terminals = {5151};
    accessibility.focused.reset();
    // Waiting for the shortcut's key to be let go is walked by CommandEndToEndTest.
    speak(QStringLiteral("Explain it"));
    answer(QStringLiteral("It lists files."));
    ASSERT_EQ(workspace.activated.size(), 2u);
    EXPECT_EQ(workspace.activated[1].processIdentifier, 5151);
    // The copy fallback used Ctrl+Shift+C there, and the paste Ctrl+Shift+V.
    const uint64_t shifted = KeySynthesizer::commandFlag | KeySynthesizer::shiftFlag;
    EXPECT_EQ(keys.posted[1], (std::pair<uint16_t, uint64_t>{KeySynthesizer::keyC, shifted}));
    EXPECT_EQ(keys.posted[2], (std::pair<uint16_t, uint64_t>{KeySynthesizer::keyV, shifted}));
    EXPECT_EQ(conversations->conversations().size(), 2);

    // The window manager never brings the target forward: no keys go to whatever has the focus.
    workspace.activationWorks = false;
    speak(QStringLiteral("Shorter"));
    workspace.front = RunningApplication{workspace.ownPid, QStringLiteral("Orvel Raza"), 1};
    const auto posted = keys.posted.size();
    answer(QStringLiteral("ls."));
    scheduler.advance(2.0);
    drain();
    EXPECT_EQ(keys.posted.size(), posted);
    EXPECT_TRUE(state->agentResultNeedsPaste());
    EXPECT_EQ(pasteboard.string(), QStringLiteral("ls."));
}

TEST_F(AgentFlowTest, CloudRunWithScreenshotSendsTheKeyAndStoresTheWindowWithTheConversation)
{
    secrets.items[{QStringLiteral("com.orvel.plus.openai-api"), QStringLiteral("OPENAI_API_KEY")}] = "sk-test-key-0123456789";
    state->setOpenAIAPIKeyConfigured(true);
    changeSettings([](AgentSettings &s) { s.writingProvider = AgentWritingProvider::openAI; });
    screenCapture.windows = {CapturableWindow{9, 4242, QRectF(0, 0, 3000, 1600), true}};

    state->toggleAgentRecording(true);
    drain();
    EXPECT_EQ(screenCapture.lastSize, QSize(4096, 3200));
    state->toggleAgentRecording(true);
    runner.finish(QStringLiteral("Describe the window"));
    drain();
    drain();

    ASSERT_EQ(runtime.requests.size(), 1);
    const AgentRuntimeRequest &request = runtime.requests[0];
    EXPECT_EQ(request.openAIAPIKey, QStringLiteral("sk-test-key-0123456789"));
    ASSERT_EQ(request.attachments.size(), 2);
    const QString shot = *request.attachments[1].filePath;
    EXPECT_EQ(QFileInfo(shot).dir().dirName(), request.conversationID->toString(QUuid::WithoutBraces).toUpper());
    EXPECT_TRUE(QFileInfo::exists(shot));
    EXPECT_EQ(request.attachments[1].displayName, QStringLiteral("Editor window"));
}

TEST_F(AgentFlowTest, WithoutAnyTargetTheResultIsCopiedOnlyWhenAskedAndWaitsForPaste)
{
    conversations->createConversation(QUuid::createUuid(), QStringLiteral("Earlier"), QStringLiteral("Mail"), {});
    const QUuid id = conversations->conversations()[0].id;
    state->openAgentConversation(id);
    EXPECT_TRUE(state->agentPanelVisible());
    EXPECT_EQ(results.panels, 1);

    changeSettings([](AgentSettings &s) { s.copyResult = false; });
    state->submitAgentFollowUp(QStringLiteral("Again"));
    answer(QStringLiteral("Again, better."));
    EXPECT_EQ(pasteboard.string(), QStringLiteral("mine"));
    EXPECT_TRUE(state->agentResultNeedsPaste());

    changeSettings([](AgentSettings &s) { s.copyResult = true; s.automaticPaste = false; });
    state->submitAgentFollowUp(QStringLiteral("Once more"));
    // Control characters from the model never reach the clipboard or the history.
    answer(QStringLiteral("Once more,\u0000 best.\u0007\n"));
    EXPECT_EQ(pasteboard.string(), QStringLiteral("Once more, best.\n"));
    EXPECT_EQ(conversations->conversations()[0].messages.back().text, QStringLiteral("Once more, best.\n"));
    EXPECT_FALSE(state->agentResultNeedsPaste());
    EXPECT_TRUE(keys.posted.empty());
}
