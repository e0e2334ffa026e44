#pragma once

#include "FakeAgent.h"
#include "FakeDictation.h"
#include "FakePorts.h"
#include "FakeScheduler.h"
#include "TempDataHome.h"
#include "app/AgentFlow.h"
#include "app/AppState.h"
#include "command/AgentConversationStore.h"
#include "speech/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <memory>

// The state with every Command collaborator faked, a text field in front with a selection,
// and the Command speech model installed.
class AgentFlowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDir().mkpath(AppPaths::models());
        QFile model(AppPaths::models() + QLatin1Char('/') + SpeechModel::withID(QStringLiteral("pocket"))->fileName);
        ASSERT_TRUE(model.open(QIODevice::WriteOnly));
        model.write("model");
        recorder.filePath = home.path() + QStringLiteral("/instruction.wav");
        runtime.executables.insert(QStringLiteral("llama-server"), QStringLiteral("/opt/llama-server"));
        workspace.front = RunningApplication{4242, QStringLiteral("Editor"), 77};
        field = std::make_shared<FakeAccessibleElement>();
        field->text = QStringLiteral("Dear team, we are late.");
        field->selection = QStringLiteral("we are late");
        field->range = TextRange{11, 11};
        accessibility.focused = field;
        pasteboard.items.items = {{{QStringLiteral("text/plain"), "mine"}, {QStringLiteral("image/png"), "PNG"}}};
        permissions.microphone = accessibility.trusted = true;
        state.reset();
        conversations = std::make_unique<AgentConversationStore>();
        state = makeState();
        AgentSettings settings;
        settings.writingProvider = AgentWritingProvider::local;
        settings.selectedModelID = QStringLiteral("apple-system");
        state->setAgentSettings(settings);
    }

    // A Wayland session without the portal keyboard.
    bool wayland = false;

    std::unique_ptr<AppState> makeState()
    {
        AppState::Services s;
        s.scheduler = &scheduler;
        s.pasteboard = &pasteboard;
        s.keys = &keys;
        s.workspace = &workspace;
        s.accessibility = &accessibility;
        s.insertTextDirectly = wayland;
        s.keysReachApplications = !wayland;
        s.permissions = &permissions;
        s.sounds = &sounds;
        s.recorder = &recorder;
        s.runner = &runner;
        s.history = &history;
        s.overlay = &overlay;
        s.mainWindow = &mainWindow;
        s.cancelShortcut = &cancelShortcut;
        s.agentRuntime = &runtime;
        s.screenCapture = &screenCapture;
        s.openAIKeychain = &keyStore;
        s.agentConversations = conversations.get();
        s.agentResults = &results;
        return std::make_unique<AppState>(s);
    }

    void changeSettings(const std::function<void(AgentSettings &)> &change)
    {
        AgentSettings settings = state->agentSettings();
        change(settings);
        state->setAgentSettings(settings);
    }

    static void drain() { QCoreApplication::processEvents(); }

    // Shortcut, capture, shortcut again, and the spoken instruction.
    void speak(const QString &instruction, bool screenshot = false)
    {
        state->toggleAgentRecording(screenshot);
        drain();
        scheduler.advance(0.13); // a copy fallback's wait
        drain();
        ASSERT_EQ(state->agentPhase(), AgentPhase::listening);
        state->toggleAgentRecording(screenshot);
        runner.finish(instruction);
        drain();
    }

    // The model answers and the delivery's waits pass.
    void answer(const QString &text)
    {
        runtime.emitEvent(AgentProtocolEventKind::phase, AgentPhase::generating);
        runtime.emitEvent(AgentProtocolEventKind::delta, std::nullopt, text);
        runtime.finish(text);
        drain();
        scheduler.advance(0.2);
        drain();
    }

    AgentConversation onlyConversation() const
    {
        EXPECT_EQ(conversations->conversations().size(), 1);
        return conversations->conversations().value(0);
    }

    AgentPhase phase() const { return state->agentPhase(); }

    TempDataHome home;
    FakeScheduler scheduler;
    FakePasteboard pasteboard;
    FakeKeySynthesizer keys;
    FakeWorkspace workspace;
    FakeAccessibility accessibility;
    std::shared_ptr<FakeAccessibleElement> field;
    FakePermissions permissions;
    FakeSoundPlayer sounds;
    FakeRecorder recorder;
    FakeRunner runner;
    FakeHistory history;
    FakeOverlay overlay;
    FakeMainWindow mainWindow;
    FakeCancelShortcut cancelShortcut;
    FakeAgentRuntime runtime;
    FakeScreenCapture screenCapture;
    FakeSecretStore secrets;
    OpenAIKeychainStore keyStore{secrets};
    FakeResultPresenter results;
    std::unique_ptr<AgentConversationStore> conversations;
    std::unique_ptr<AppState> state;
};
