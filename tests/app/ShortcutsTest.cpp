#include "AppStateFixture.h"
#include "app/HotKeyManager.h"
#include "app/ShortcutRecorder.h"

using Kind = CaptureStatus::Kind;
using Mods = HotKeyBackend::Modifiers;

class ShortcutsTest : public AppStateTest {
protected:
    void SetUp() override
    {
        AppStateTest::SetUp();
        hotKeyBackend = &backend;
        state.reset();
        state = makeState();
    }
    // The backend goes before the base's members do.
    void TearDown() override { state.reset(); }
    // Two hops: the manager's and the state's.
    static void settle()
    {
        for (int i = 0; i < 4; ++i)
            QCoreApplication::processEvents();
    }
    void tap(uint32_t id)
    {
        backend.press(id, true);
        backend.press(id, false);
        settle();
    }
    bool registered(uint32_t id) const { return backend.registered.contains(id); }

    FakeHotKeyBackend backend;
};

TEST_F(ShortcutsTest, CancelKeyExistsOnlyWhileRecording)
{
    ASSERT_TRUE(backend.handler);
    EXPECT_EQ(backend.registered.size(), 4u);
    EXPECT_FALSE(registered(HotKeyManager::cancel));
    tap(HotKeyManager::toggle);
    EXPECT_EQ(kind(), Kind::recording);
    ASSERT_TRUE(registered(HotKeyManager::cancel));
    EXPECT_EQ(backend.registered.at(HotKeyManager::cancel).first, 53);
    EXPECT_FALSE(state->cancelKeyRefused());

    // A refresh during the recording keeps it.
    state->refreshHotKeys();
    EXPECT_TRUE(registered(HotKeyManager::cancel));

    tap(HotKeyManager::cancel);
    EXPECT_EQ(kind(), Kind::idle);
    EXPECT_FALSE(registered(HotKeyManager::cancel));

    tap(HotKeyManager::toggle);
    tap(HotKeyManager::toggle);
    EXPECT_EQ(kind(), Kind::processing);
    EXPECT_FALSE(registered(HotKeyManager::cancel));
    // Esc while processing reaches nothing: it is not ours.
    EXPECT_EQ(backend.registered.size(), 4u);
    EXPECT_FALSE(state->cancelKeyRefused());

    // A desktop that will not take a bare Esc (a portal is never given one): nothing may offer it.
    runner.finish(QStringLiteral("hello"));
    drain();
    backend.refused = {53};
    tap(HotKeyManager::toggle);
    ASSERT_EQ(kind(), Kind::recording);
    EXPECT_TRUE(state->cancelKeyRefused());
}

TEST_F(ShortcutsTest, HoldToTalkActsOnPressAndReleaseToggleOnPressOnly)
{
    backend.press(HotKeyManager::pushToTalk, true);
    settle();
    EXPECT_EQ(kind(), Kind::recording);
    backend.press(HotKeyManager::pushToTalk, false);
    settle();
    EXPECT_EQ(kind(), Kind::processing);
    runner.finish(QStringLiteral("held"));
    settle();
    EXPECT_EQ(kind(), Kind::success);

    backend.press(HotKeyManager::toggle, true);
    settle();
    EXPECT_EQ(kind(), Kind::recording);
    backend.press(HotKeyManager::toggle, false);
    settle();
    EXPECT_EQ(kind(), Kind::recording);
    EXPECT_EQ(recorder.starts, 2);
}

TEST_F(ShortcutsTest, RefusedCombinationLeavesTheOthersActiveAndListenersSeeWhatWasGranted)
{
    // What the main window reads when it hears of a change.
    QList<bool> toggleReady;
    QObject::connect(state.get(), &AppState::shortcutsChanged,
                     [&] { toggleReady << state->hotKey().isRegistered(HotKeyManager::toggle); });
    KeyboardShortcutSetting taken;
    taken.keyCode = 12;
    taken.keyLabel = QStringLiteral("Q");
    taken.control = true;
    backend.refused << 12;
    state->setToggleShortcut(taken);
    EXPECT_FALSE(registered(HotKeyManager::toggle));
    EXPECT_TRUE(registered(HotKeyManager::pushToTalk));
    EXPECT_TRUE(registered(HotKeyManager::agent));
    EXPECT_TRUE(registered(HotKeyManager::agentScreenshot));
    EXPECT_EQ(state->toggleShortcut(), taken);
    ASSERT_FALSE(toggleReady.isEmpty());
    EXPECT_FALSE(toggleReady.last());

    // A changed shortcut is registered with its own key and modifiers.
    KeyboardShortcutSetting d;
    d.keyCode = 2;
    d.keyLabel = QStringLiteral("D");
    d.command = true;
    d.shift = true;
    state->setPushToTalkShortcut(d);
    EXPECT_EQ(backend.registered.at(HotKeyManager::pushToTalk), std::make_pair(uint16_t(2), Mods{true, false, false, true}));

    // Set through the recorder, the combination is registered only once the capture ends.
    toggleReady.clear();
    ShortcutRecorder recorder([&](const KeyboardShortcutSetting &s) { state->setToggleShortcut(s); }, true,
                              [&](bool capturing) { state->shortcutCaptureDidChange(capturing); }, [] {});
    recorder.startCapturing();
    recorder.handleKeyDown(*ShortcutRecorder::fromQtKey(Qt::Key_D, false, false, true, true, false));
    ASSERT_TRUE(registered(HotKeyManager::toggle));
    ASSERT_FALSE(toggleReady.isEmpty());
    EXPECT_TRUE(toggleReady.last());
}

TEST_F(ShortcutsTest, RecordingAShortcutSuspendsEveryGlobalShortcutEscIncluded)
{
    KeyboardShortcutSetting recorded;
    ShortcutRecorder recorder(
        [&](const KeyboardShortcutSetting &s) { state->setToggleShortcut(s); }, true,
        [&](bool capturing) { state->shortcutCaptureDidChange(capturing); }, [] {});
    recorder.startCapturing();
    EXPECT_TRUE(state->hotKeysSuspended());
    EXPECT_TRUE(backend.registered.empty());
    EXPECT_FALSE(backend.handler);

    // Pressing the current toggle combination records it instead of starting Dictation.
    auto event = ShortcutRecorder::fromQtKey(Qt::Key_Space, false, true, false, false, false);
    ASSERT_TRUE(event);
    EXPECT_TRUE(recorder.handleKeyDown(*event));
    settle();
    EXPECT_EQ(kind(), Kind::idle);
    EXPECT_FALSE(recorder.isCapturing());
    EXPECT_FALSE(state->hotKeysSuspended());
    EXPECT_EQ(backend.registered.size(), 4u);
    EXPECT_EQ(state->toggleShortcut(), KeyboardShortcutSetting::defaultToggle());

    // A recording started during a capture takes Esc only after it.
    state->shortcutCaptureDidChange(true);
    state->toggleRecording();
    ASSERT_EQ(kind(), Kind::recording);
    EXPECT_TRUE(backend.registered.empty());
    state->shortcutCaptureDidChange(false);
    EXPECT_TRUE(registered(HotKeyManager::cancel));
    EXPECT_EQ(backend.registered.size(), 5u);
}

TEST_F(ShortcutsTest, EventsAfterTheStateIsGoneAreDropped)
{
    backend.press(HotKeyManager::toggle, true);
    state.reset();
    EXPECT_FALSE(backend.handler);
    settle();
    EXPECT_EQ(recorder.starts, 0);
}

TEST(ShortcutRecorderTest, RequiresAModifierOnlyWhenAskedAndIgnoresRepeats)
{
    std::optional<KeyboardShortcutSetting> assigned;
    QList<bool> changes;
    int beeps = 0;
    ShortcutRecorder r([&](const KeyboardShortcutSetting &s) { assigned = s; }, true,
                       [&](bool c) { changes << c; }, [&] { ++beeps; });
    EXPECT_FALSE(r.handleKeyDown({}));
    r.startCapturing();
    auto plainK = ShortcutRecorder::fromQtKey(Qt::Key_K, false, false, false, false, false);
    EXPECT_TRUE(r.handleKeyDown(*plainK));
    EXPECT_EQ(r.validationMessage(), QStringLiteral("Add ⌘, ⌥, ⌃, or ⇧"));
    EXPECT_EQ(beeps, 1);
    EXPECT_TRUE(r.isCapturing());

    auto repeat = ShortcutRecorder::fromQtKey(Qt::Key_K, true, false, false, false, true);
    EXPECT_TRUE(r.handleKeyDown(*repeat));
    EXPECT_FALSE(assigned);

    // Shift+1 arrives as "!" and is still the 1 key.
    auto bang = ShortcutRecorder::fromQtKey(Qt::Key_Exclam, false, false, true, true, false);
    EXPECT_TRUE(r.handleKeyDown(*bang));
    ASSERT_TRUE(assigned);
    EXPECT_EQ(assigned->keyCode, 18u);
    EXPECT_EQ(assigned->displayName(), QStringLiteral("Ctrl+Shift+1"));
    EXPECT_EQ(changes, (QList<bool>{true, false}));
    r.startCapturing();
    r.startCapturing();
    EXPECT_EQ(changes, (QList<bool>{true, false, true, false, true}));

    // Without the modifier rule Esc is an ordinary key.
    ShortcutRecorder cancel([&](const KeyboardShortcutSetting &s) { assigned = s; }, false, {}, {});
    cancel.startCapturing();
    cancel.handleKeyDown(*ShortcutRecorder::fromQtKey(Qt::Key_Escape, false, false, false, false, false));
    EXPECT_EQ(*assigned, KeyboardShortcutSetting::defaultCancel());
}

TEST_F(ShortcutsTest, ConflictsMatchKeyAndModifiersAndIgnoreTheCancelShortcut)
{
    const auto toggle = KeyboardShortcutSetting::defaultToggle();
    auto relabelled = toggle;
    relabelled.keyLabel = QStringLiteral("space");
    const auto conflicts =
        KeyboardShortcutSetting::conflicts({toggle, KeyboardShortcutSetting::defaultPushToTalk(), relabelled, toggle});
    EXPECT_EQ(conflicts, QList<KeyboardShortcutSetting>{toggle});
    EXPECT_TRUE(KeyboardShortcutSetting::conflicts({toggle, relabelled}).isEmpty());

    EXPECT_TRUE(state->agentShortcutConflicts().isEmpty());
    state->setCancelShortcut(toggle);
    EXPECT_TRUE(state->agentShortcutConflicts().isEmpty());
    state->setAgentShortcut(toggle);
    EXPECT_EQ(state->agentShortcutConflicts(), QList<KeyboardShortcutSetting>{toggle});
}
