// Global shortcuts against the real X server of the test session.
#include "../app/AppStateFixture.h"
#include "app/HotKeyManager.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11HotKeyBackend.h"

#include <QTest>

#include <xcb/xtest.h>

#include <cstdlib>

namespace {

constexpr uint32_t kSpace = 0x20, kEscape = 0xff1b, kControl = 0xffe3, kAlt = 0xffe9, kShift = 0xffe1,
                   kNumLock = 0xff7f;
// Window managers commonly keep ⌥Space (the window menu) for themselves, openbox among them, so
// the tests toggle with ⌃⇧Space.
constexpr uint16_t kToggleMask = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT;

// Waits for X events to arrive and be handled; gives up after two seconds.
template <typename Pred>
bool waitFor(Pred pred) { return QTest::qWaitFor(pred, 2000); }

void key(X11Connection &x11, uint32_t keysym, bool down)
{
    xcb_test_fake_input(x11.connection(), down ? XCB_KEY_PRESS : XCB_KEY_RELEASE, x11.keycodeForKeysym(keysym),
                        XCB_CURRENT_TIME, x11.root(), 0, 0, 0);
    x11.flush();
}
void chord(X11Connection &x11, std::initializer_list<uint32_t> keys)
{
    for (uint32_t k : keys)
        key(x11, k, true);
    for (auto it = std::rbegin(keys); it != std::rend(keys); ++it)
        key(x11, *it, false);
}

// A second X client, as another program on the desktop would be.
class OtherClient {
public:
    bool grab(uint32_t keysym, uint16_t modifiers)
    {
        auto *c = m_x11.connection();
        auto cookie = xcb_grab_key_checked(c, 1, m_x11.root(), modifiers, m_x11.keycodeForKeysym(keysym),
                                           XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        xcb_generic_error_t *error = xcb_request_check(c, cookie);
        free(error);
        return error == nullptr;
    }
    void ungrab(uint32_t keysym, uint16_t modifiers)
    {
        xcb_ungrab_key(m_x11.connection(), m_x11.keycodeForKeysym(keysym), m_x11.root(), modifiers);
        xcb_flush(m_x11.connection());
    }
    X11Connection m_x11;
};

class X11HotKeyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!x11.isValid() || !x11.hasXTest())
            GTEST_SKIP() << "needs an X server with XTEST";
        backend.setHandler([this](uint32_t id, bool pressed) { events.emplace_back(id, pressed); });
    }
    void key(uint32_t keysym, bool down) { ::key(x11, keysym, down); }
    void chord(std::initializer_list<uint32_t> keys) { ::chord(x11, keys); }

    bool numLockOn()
    {
        auto *pointer = xcb_query_pointer_reply(x11.connection(), xcb_query_pointer(x11.connection(), x11.root()), nullptr);
        const bool on = pointer && (pointer->mask & x11.numLockMask());
        free(pointer);
        return on;
    }
    // The server applies faked keys from its input queue, so the lock is read back until it shows.
    bool setNumLock(bool on)
    {
        if (numLockOn() != on)
            chord({kNumLock});
        return waitFor([&] { return numLockOn() == on; });
    }

    X11Connection x11;
    X11HotKeyBackend backend{x11};
    std::vector<std::pair<uint32_t, bool>> events;
};

const HotKeyBackend::Modifiers kToggleMods{false, false, true, true};
const HotKeyBackend::Modifiers kControlAltMods{false, true, true, false};

} // namespace

TEST_F(X11HotKeyTest, GrabbedCombinationDeliversPressAndRelease)
{
    ASSERT_TRUE(backend.registerHotKey(1, 49, kToggleMods));
    ASSERT_TRUE(backend.registerHotKey(2, 49, kControlAltMods));
    chord({kControl, kShift, kSpace});
    ASSERT_TRUE(waitFor([&] { return events.size() >= 2; }));
    EXPECT_EQ(events, (std::vector<std::pair<uint32_t, bool>>{{1, true}, {1, false}}));

    // Hold-to-talk: the modifiers go first, the release still arrives.
    events.clear();
    key(kControl, true);
    key(kAlt, true);
    key(kSpace, true);
    key(kControl, false);
    key(kAlt, false);
    ASSERT_TRUE(waitFor([&] { return events.size() >= 1; }));
    key(kSpace, false);
    ASSERT_TRUE(waitFor([&] { return events.size() >= 2; }));
    EXPECT_EQ(events, (std::vector<std::pair<uint32_t, bool>>{{2, true}, {2, false}}));

    // Space alone is not ours.
    events.clear();
    backend.unregisterHotKey(2);
    chord({kControl, kAlt, kSpace});
    chord({kSpace});
    chord({kControl, kShift, kSpace});
    ASSERT_TRUE(waitFor([&] { return events.size() >= 2; }));
    EXPECT_EQ(events, (std::vector<std::pair<uint32_t, bool>>{{1, true}, {1, false}}));
}

TEST_F(X11HotKeyTest, NumLockOnStillWorks)
{
    ASSERT_NE(x11.numLockMask(), 0);
    ASSERT_TRUE(backend.registerHotKey(1, 49, kToggleMods));
    ASSERT_TRUE(setNumLock(true));
    chord({kControl, kShift, kSpace});
    const bool arrived = waitFor([&] { return events.size() >= 2; });
    // Left on, it would turn the next run's toggle into "off".
    EXPECT_TRUE(setNumLock(false));
    EXPECT_TRUE(arrived);
}

TEST_F(X11HotKeyTest, CombinationHeldByAnotherClientIsRefusedAndAnUnregisteredOneIsFreed)
{
    OtherClient other;
    ASSERT_TRUE(other.grab(kSpace, kToggleMask));
    EXPECT_FALSE(backend.registerHotKey(1, 49, kToggleMods));
    // Nothing of the refused combination stays grabbed by us.
    other.ungrab(kSpace, kToggleMask);
    OtherClient third;
    EXPECT_TRUE(third.grab(kSpace, kToggleMask | XCB_MOD_MASK_LOCK));
    // Another combination is unaffected, held while registered and free once unregistered.
    ASSERT_TRUE(backend.registerHotKey(2, 49, kControlAltMods));
    EXPECT_FALSE(other.grab(kSpace, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1));
    backend.unregisterHotKey(2);
    EXPECT_TRUE(other.grab(kSpace, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1));
}

// The state with the real backend: Esc is taken from other programs only while recording.
class X11ShortcutStateTest : public AppStateTest {
protected:
    void SetUp() override
    {
        if (!x11.isValid() || !x11.hasXTest())
            GTEST_SKIP() << "needs an X server with XTEST";
        AppStateTest::SetUp();
        hotKeyBackend = &backend;
        state.reset();
        state = makeState();
        KeyboardShortcutSetting toggle = KeyboardShortcutSetting::defaultToggle();
        toggle.option = false;
        toggle.control = toggle.shift = true;
        state->setToggleShortcut(toggle);
    }
    void TearDown() override { state.reset(); }
    void key(uint32_t keysym, bool down) { ::key(x11, keysym, down); }
    void tap(std::initializer_list<uint32_t> keys) { ::chord(x11, keys); }
    bool escapeIsFree()
    {
        OtherClient probe;
        const bool free = probe.grab(kEscape, 0);
        if (free)
            probe.ungrab(kEscape, 0);
        return free;
    }

    X11Connection x11;
    X11HotKeyBackend backend{x11};
};

TEST_F(X11ShortcutStateTest, ToggleFromTheKeyboardAndEscOnlyWhileRecording)
{
    EXPECT_TRUE(escapeIsFree());
    tap({kControl, kShift, kSpace});
    ASSERT_TRUE(waitFor([&] { return kind() == CaptureStatus::Kind::recording; }));
    EXPECT_FALSE(escapeIsFree());

    tap({kEscape});
    ASSERT_TRUE(waitFor([&] { return kind() == CaptureStatus::Kind::idle; }));
    EXPECT_EQ(recorder.cancels, 1);
    EXPECT_TRUE(escapeIsFree());

    // Held ⌃⌥Space records for as long as it is held.
    for (uint32_t k : {kControl, kAlt, kSpace})
        key(k, true);
    ASSERT_TRUE(waitFor([&] { return kind() == CaptureStatus::Kind::recording; }));
    for (uint32_t k : {kSpace, kAlt, kControl})
        key(k, false);
    ASSERT_TRUE(waitFor([&] { return kind() == CaptureStatus::Kind::processing; }));
    EXPECT_TRUE(escapeIsFree());
}
