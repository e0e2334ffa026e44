// The panel under the session's window manager: it floats on every desktop, and showing,
// clicking and dragging it leave the keyboard focus with the application the user writes in.
#include "OverlayFixture.h"
#include "ProgramRun.h"

#include "platform/x11/X11Ports.h"

#include <QProcess>
#include <QSignalSpy>

#include <xcb/xcb_ewmh.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <cstdlib>

namespace {

class FocusTest : public OverlayTest {
protected:
    void TearDown() override
    {
        ProgramRun::stop(field);
        OverlayTest::TearDown();
    }

    void pointer(uint8_t type, uint8_t detail, QPoint at = {})
    {
        xcb_test_fake_input(x11.connection(), type, detail, XCB_CURRENT_TIME, type == XCB_MOTION_NOTIFY ? x11.root() : 0,
                            int16_t(at.x()), int16_t(at.y()), 0);
        x11.flush();
        settle(40);
    }

    bool fieldIsInFront() const
    {
        const auto front = workspace.frontmostApplication();
        return front && front->processIdentifier == field.processId();
    }

    bool onEveryDesktop()
    {
        // Window managers that keep no sticky state (openbox) say "every desktop" this way.
        uint32_t desktop = 0;
        return xcb_ewmh_get_wm_desktop_reply(x11.ewmh(), xcb_ewmh_get_wm_desktop(x11.ewmh(), xcb_window_t(panel().winId())),
                                             &desktop, nullptr) &&
               desktop == 0xFFFFFFFFu;
    }

    bool focusIsOnThePanel()
    {
        xcb_get_input_focus_reply_t *focus =
            xcb_get_input_focus_reply(x11.connection(), xcb_get_input_focus(x11.connection()), nullptr);
        const bool onPanel = focus && focus->focus == xcb_window_t(panel().winId());
        free(focus);
        return onPanel;
    }

    QProcess field;
    X11Workspace workspace{x11};
};

} // namespace

TEST_F(FocusTest, FloatsOnEveryDesktopAndLeavesTheFocusWhereItWas)
{
    ASSERT_TRUE(x11.isValid());
    field.start(qEnvironmentVariable("ORVEL_TEST_SUPPORT_DIR") + QStringLiteral("/orvel-text-field"), {});
    ASSERT_TRUE(field.waitForStarted());
    ASSERT_TRUE(QTest::qWaitFor([&] { return fieldIsInFront(); }, 10000)) << "the text field never came to the front";

    QSignalSpy taps(&panel(), &OverlayPanel::tapped);
    forward.show();
    settle(400);
    EXPECT_TRUE(fieldIsInFront()) << "showing took the focus";
    EXPECT_FALSE(focusIsOnThePanel());

    // What the window manager was told, read back from the server.
    xcb_ewmh_connection_t *e = x11.ewmh();
    const auto window = xcb_window_t(panel().winId());
    xcb_ewmh_get_atoms_reply_t states;
    ASSERT_TRUE(xcb_ewmh_get_wm_state_reply(e, xcb_ewmh_get_wm_state(e, window), &states, nullptr));
    const std::vector<xcb_atom_t> atoms(states.atoms, states.atoms + states.atoms_len);
    xcb_ewmh_get_atoms_reply_wipe(&states);
    EXPECT_NE(std::find(atoms.begin(), atoms.end(), e->_NET_WM_STATE_ABOVE), atoms.end());
    EXPECT_TRUE(onEveryDesktop());

    // A real click, through the server and the window manager.
    const QPoint centre = panel().mapToGlobal(panel().rect().center());
    pointer(XCB_MOTION_NOTIFY, 0, centre);
    pointer(XCB_BUTTON_PRESS, 1);
    pointer(XCB_BUTTON_RELEASE, 1);
    settle(300);
    EXPECT_EQ(taps.count(), 1);
    EXPECT_TRUE(fieldIsInFront()) << "a click took the focus";
    EXPECT_FALSE(focusIsOnThePanel());

    // A drag moves the panel, is remembered, and is no tap.
    const QPoint start = panel().pos();
    pointer(XCB_BUTTON_PRESS, 1);
    for (int step = 1; step <= 4; ++step)
        pointer(XCB_MOTION_NOTIFY, 0, centre + QPoint(15 * step, -10 * step));
    pointer(XCB_BUTTON_RELEASE, 1);
    settle(300);
    EXPECT_EQ(panel().pos(), start + QPoint(60, -40));
    EXPECT_EQ(savedOrigin().x(), start.x() + 60);
    EXPECT_EQ(taps.count(), 1);
    EXPECT_TRUE(fieldIsInFront()) << "a drag took the focus";
    EXPECT_FALSE(focusIsOnThePanel());

    // Shown again after a hide, it is still on every desktop.
    forward.hide();
    settle(200);
    forward.show();
    settle(400);
    EXPECT_TRUE(onEveryDesktop());
    EXPECT_TRUE(fieldIsInFront());
}

TEST_F(FocusTest, CornersAreCutToTheCardOnlyWithoutACompositor)
{
    ASSERT_TRUE(x11.isValid());
    // The session's window manager composites nothing: clear corners would paint black.
    forward.show();
    settle();
    const QRect inside = panel().rect();
    EXPECT_FALSE(panel().mask().isEmpty());
    EXPECT_FALSE(panel().mask().contains(QPoint(1, 1)));
    EXPECT_TRUE(panel().mask().contains(inside.center()));
    forward.hide();

    // A compositor owns its screen's selection; then the window keeps its whole shape.
    xcb_connection_t *c = x11.connection();
    const xcb_window_t owner = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, owner, x11.root(), 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_set_selection_owner(c, owner, x11.ewmh()->_NET_WM_CM_Sn[x11.screenNumber()], XCB_CURRENT_TIME);
    x11.flush();
    forward.show();
    settle();
    EXPECT_TRUE(panel().mask().isEmpty());
    forward.hide();
    xcb_destroy_window(c, owner);
    x11.flush();
}
