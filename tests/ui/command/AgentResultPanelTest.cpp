#include "../overlay/OverlayFixture.h"
#include "FakeAgent.h"

#include "command/AgentConversationStore.h"
#include "ui/command/AgentConversationPanelView.h"
#include "ui/command/AgentResultPanelController.h"
#include "ui/command/AgentResultToast.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>

namespace {

class Forwarding final : public AgentResultPresenter {
public:
    void showResult() override { to->showResult(); }
    void hideResult() override { to->hideResult(); }
    void showConversationPanel() override { to->showConversationPanel(); }
    AgentResultPresenter *to = nullptr;
};

class ResultPanelTest : public OverlayTest {
protected:
    ResultPanelTest()
    {
        agentRuntime = &runtime;
        agentResults = &forwarding;
    }
    void SetUp() override
    {
        OverlayTest::SetUp();
        panels = std::make_unique<AgentResultPanelController>(*state, scheduler, &hints);
        forwarding.to = panels.get();
    }
    void TearDown() override
    {
        panels.reset();
        OverlayTest::TearDown();
    }

    AgentResultToast &toast() { return *panels->resultPanel(); }
    AgentConversationPanelView &view() { return *panels->conversationView(); }

    FakeAgentRuntime runtime;
    Forwarding forwarding;
    std::unique_ptr<AgentResultPanelController> panels;
};

} // namespace

TEST_F(ResultPanelTest, ToastStaysFiveSecondsAfterTheLatestResult)
{
    panels->showResult();
    ASSERT_TRUE(toast().isVisible());
    const QRect visible = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(visible.contains(toast().geometry()));
    EXPECT_FALSE(toast().pasteButton()->isVisibleTo(&toast())) << "nothing waits to be pasted";

    scheduler.advance(3);
    panels->showResult();
    scheduler.advance(3);
    EXPECT_TRUE(toast().isVisible()) << "the second result restarts the time";
    scheduler.advance(2.1);
    EXPECT_FALSE(toast().isVisible());
    EXPECT_FALSE(panels->hidePending());

    panels->showResult();
    toast().dismissButton()->click();
    EXPECT_FALSE(toast().isVisible());
    EXPECT_FALSE(panels->hidePending());
}

TEST_F(ResultPanelTest, ConversationStreamsTheAnswerAndTheComposerClearsAtOnce)
{
    AgentSettings local = state->agentSettings();
    local.writingProvider = AgentWritingProvider::local;
    local.selectedModelID = QStringLiteral("apple-system");
    state->setAgentSettings(local);
    const QUuid id = QUuid::createUuid();
    state->agentConversationStore().createConversation(id, QStringLiteral("Make it friendlier"),
                                                      QStringLiteral("Editor"), {});
    state->openAgentConversation(id);
    QWidget *window = panels->conversationPanel();
    ASSERT_TRUE(window->isVisible());
    EXPECT_TRUE(state->agentPanelVisible());
    EXPECT_EQ(view().shownTexts(), QStringList{QStringLiteral("YOU: Make it friendlier")});

    // The built-in model takes no pictures: no camera, and asking anyway says why.
    EXPECT_FALSE(view().cameraButton()->isVisibleTo(&view()));
    view().attachScreenshot();
    drain();
    ASSERT_TRUE(view().attachmentError().has_value());
    EXPECT_TRUE(view().attachments().isEmpty());
    AgentSettings vision = local;
    vision.selectedModelID = QStringLiteral("qwen25-vl-3b-q4");
    state->setAgentSettings(vision);
    EXPECT_TRUE(view().cameraButton()->isVisibleTo(&view()));
    state->setAgentSettings(local);

    view().followUpField()->setPlainText(QStringLiteral("Shorter, please"));
    view().sendButton()->click();
    EXPECT_TRUE(view().followUpField()->toPlainText().isEmpty()) << "the field empties before any answer";
    ASSERT_EQ(runtime.requests.size(), 1);
    EXPECT_EQ(view().shownTexts().last(), QStringLiteral("Loading model")) << "a progress row before the first text";

    runtime.emitEvent(AgentProtocolEventKind::phase, AgentPhase::generating, std::nullopt);
    EXPECT_EQ(view().shownTexts().last(), QStringLiteral("Writing"));
    runtime.emitEvent(AgentProtocolEventKind::delta, std::nullopt, QStringLiteral("Sure, "));
    runtime.emitEvent(AgentProtocolEventKind::delta, std::nullopt, QStringLiteral("short."));
    EXPECT_EQ(view().shownTexts(), (QStringList{QStringLiteral("YOU: Make it friendlier"),
                                                QStringLiteral("YOU: Shorter, please"),
                                                QStringLiteral("ORVEL: Sure, short.")}));

    // Done: the stored answer replaces the live one, and the card offers to paste it.
    runtime.finish(AgentRunResult(QStringLiteral("Sure, short.")));
    drain();
    EXPECT_EQ(view().shownTexts().size(), 3);
    ASSERT_TRUE(toast().isVisible());
    EXPECT_EQ(toast().shownResult(), QStringLiteral("Sure, short."));
    EXPECT_TRUE(toast().pasteButton()->isVisibleTo(&toast()));

    // Pictures for people to look at, beside the overlay's.
    const QString shots = QCoreApplication::applicationDirPath() + QStringLiteral("/overlay-shots");
    QDir().mkpath(shots);
    EXPECT_TRUE(window->grab().save(shots + QStringLiteral("/conversation.png")));
    for (OverlayAppearance look : {OverlayAppearance::light, OverlayAppearance::dark}) {
        state->setOverlayAppearance(look);
        EXPECT_TRUE(toast().grab().save(shots + (look == OverlayAppearance::dark ? QStringLiteral("/toast-dark.png")
                                                                                   : QStringLiteral("/toast-light.png"))));
    }

    // The buttons hand the answer over: copy puts it on the clipboard, paste also sends the chord.
    pasteboard.setString(QStringLiteral("unrelated"));
    view().copyButton()->click();
    EXPECT_EQ(pasteboard.string(), QStringLiteral("Sure, short."));
    pasteboard.setString(QStringLiteral("unrelated"));
    keys.posted.clear();
    toast().pasteButton()->click();
    scheduler.advance(1);
    EXPECT_EQ(pasteboard.string(), QStringLiteral("Sure, short."));
    ASSERT_EQ(keys.posted.size(), 1u);
    EXPECT_EQ(keys.posted.front().first, KeySynthesizer::keyV);
    EXPECT_FALSE(state->agentResultNeedsPaste());
    EXPECT_FALSE(toast().pasteButton()->isVisibleTo(&toast())) << "nothing waits to be pasted any more";

    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(state->agentPanelVisible());

    state->openAgentConversation(id);
    state->agentConversationStore().deleteConversation(id);
    EXPECT_TRUE(view().showsUnavailable());
}

