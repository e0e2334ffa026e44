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

// Esc held only while recording, and hold-to-talk, are walked with the real X11 backend
// (X11ShortcutStateTest); a tap is press and release, so the toggle acts on the press alone.
TEST_F(ShortcutsTest, CancelKeySurvivesARefreshAndOneTheDesktopRefusesIsNeverOffered)
{
    tap(HotKeyManager::toggle);
    ASSERT_EQ(kind(), Kind::recording);
    ASSERT_TRUE(registered(HotKeyManager::cancel));
    EXPECT_FALSE(state->cancelKeyRefused());
    state->refreshHotKeys();
    EXPECT_TRUE(registered(HotKeyManager::cancel));
    tap(HotKeyManager::cancel);
    EXPECT_EQ(kind(), Kind::idle);
    EXPECT_FALSE(registered(HotKeyManager::cancel));

    // A desktop that will not take a bare Esc (a portal is never given one): nothing may offer it.
    backend.refused = {53};
    tap(HotKeyManager::toggle);
    ASSERT_EQ(kind(), Kind::recording);
    EXPECT_TRUE(state->cancelKeyRefused());
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
    for (uint32_t id : {HotKeyManager::pushToTalk, HotKeyManager::agent, HotKeyManager::agentScreenshot})
        EXPECT_TRUE(registered(id)) << id;
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
}

// Suspending and restoring around a capture is walked by the Settings screen test.
TEST_F(ShortcutsTest, ARecordingStartedDuringAShortcutCaptureTakesEscOnlyAfterIt)
{
    state->shortcutCaptureDidChange(true);
    EXPECT_TRUE(backend.registered.empty());
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

// The bare-key refusal and the cancel key without a modifier are walked by the Settings screen test.
TEST(ShortcutRecorderTest, IgnoresRepeatsAndTakesShiftedDigitsAsTheirKey)
{
    std::optional<KeyboardShortcutSetting> assigned;
    QList<bool> changes;
    ShortcutRecorder r([&](const KeyboardShortcutSetting &s) { assigned = s; }, true,
                       [&](bool c) { changes << c; }, [] {});
    EXPECT_FALSE(r.handleKeyDown({}));
    r.startCapturing();
    EXPECT_TRUE(r.handleKeyDown(*ShortcutRecorder::fromQtKey(Qt::Key_K, true, false, false, false, true)));
    EXPECT_FALSE(assigned);

    // Shift+1 arrives as "!" and is still the 1 key.
    EXPECT_TRUE(r.handleKeyDown(*ShortcutRecorder::fromQtKey(Qt::Key_Exclam, false, false, true, true, false)));
    ASSERT_TRUE(assigned);
    EXPECT_EQ(assigned->keyCode, 18u);
    EXPECT_EQ(assigned->displayName(), QStringLiteral("Ctrl+Shift+1"));
    r.startCapturing();
    r.startCapturing();
    EXPECT_EQ(changes, (QList<bool>{true, false, true, false, true}));
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
