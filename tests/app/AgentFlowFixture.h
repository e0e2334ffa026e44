#pragma once

#include "AppStateFixture.h"
#include "FakeAgent.h"
#include "app/AgentFlow.h"
#include "command/AgentConversationStore.h"

// The state with every Command collaborator faked, a text field in front with a selection,
// and the Command speech model installed.
class AgentFlowTest : public AppStateTest {
protected:
    void SetUp() override
    {
        runtime.executables.insert(QStringLiteral("llama-server"), QStringLiteral("/opt/llama-server"));
        workspace.front = RunningApplication{4242, QStringLiteral("Editor"), 77};
        field = std::make_shared<FakeAccessibleElement>();
        field->text = QStringLiteral("Dear team, we are late.");
        field->selection = QStringLiteral("we are late");
        field->range = TextRange{11, 11};
        accessibility.focused = field;
        pasteboard.items.items = {{{QStringLiteral("text/plain"), "mine"}, {QStringLiteral("image/png"), "PNG"}}};
        permissions.microphone = accessibility.trusted = true;
        keychain = &keyStore;
        state.reset();
        conversations = std::make_unique<AgentConversationStore>();
        AppStateTest::SetUp();
        AgentSettings settings;
        settings.writingProvider = AgentWritingProvider::local;
        settings.selectedModelID = QStringLiteral("apple-system");
        state->setAgentSettings(settings);
    }
    // The state goes before the collaborators declared here do.
    void TearDown() override { state.reset(); }

    void addServices(AppState::Services &s) override
    {
        s.agentRuntime = &runtime;
        s.screenCapture = &screenCapture;
        s.agentConversations = conversations.get();
        s.agentResults = &results;
    }

    void changeSettings(const std::function<void(AgentSettings &)> &change)
    {
        AgentSettings settings = state->agentSettings();
        change(settings);
        state->setAgentSettings(settings);
    }

    // Shortcut, capture, shortcut again, and the spoken instruction.
    void speak(const QString &instruction, bool screenshot = false)
    {
        state->toggleAgentRecording(screenshot);
        drain();
        scheduler.advance(0.61); // a copy fallback's longest wait
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

    std::shared_ptr<FakeAccessibleElement> field;
    FakeAgentRuntime runtime;
    FakeScreenCapture screenCapture;
    FakeSecretStore secrets;
    OpenAIKeychainStore keyStore{secrets};
    FakeResultPresenter results;
    std::unique_ptr<AgentConversationStore> conversations;
};
