// Where the desktop has no system tray, a start "in the tray" would leave the user nothing to
// click; the program then opens its window. Run against the session's X server and window manager.
#include "ProgramRun.h"
#include "platform/x11/X11Connection.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace {

xcb_atom_t atom(xcb_connection_t *c, const QByteArray &name)
{
    auto *reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, name.size(), name.constData()), nullptr);
    const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return a;
}

// Owns the tray selection of the screen, as a panel's notification area does, and notices the
// program asking to dock its icon.
class StandInTray {
public:
    explicit StandInTray(int screen) : m_c(xcb_connect(nullptr, nullptr))
    {
        const xcb_screen_t *s = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
        m_window = xcb_generate_id(m_c);
        xcb_create_window(m_c, XCB_COPY_FROM_PARENT, m_window, s->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
        m_selection = atom(m_c, "_NET_SYSTEM_TRAY_S" + QByteArray::number(screen));
        m_opcode = atom(m_c, "_NET_SYSTEM_TRAY_OPCODE");
        xcb_set_selection_owner(m_c, m_window, m_selection, XCB_CURRENT_TIME);
        xcb_flush(m_c);
    }
    ~StandInTray()
    {
        xcb_destroy_window(m_c, m_window);
        xcb_disconnect(m_c);
    }
    bool owns()
    {
        auto *r = xcb_get_selection_owner_reply(m_c, xcb_get_selection_owner(m_c, m_selection), nullptr);
        const bool ours = r && r->owner == m_window;
        free(r);
        return ours;
    }
    bool dockRequested()
    {
        while (xcb_generic_event_t *e = xcb_poll_for_event(m_c)) {
            if ((e->response_type & 0x7f) == XCB_CLIENT_MESSAGE &&
                reinterpret_cast<xcb_client_message_event_t *>(e)->type == m_opcode)
                m_docked = true;
            free(e);
        }
        return m_docked;
    }

private:
    xcb_connection_t *m_c;
    xcb_window_t m_window = 0;
    xcb_atom_t m_selection = XCB_ATOM_NONE, m_opcode = XCB_ATOM_NONE;
    bool m_docked = false;
};

class StartWithoutTrayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!x11.isValid() || !x11.ewmh())
            GTEST_SKIP() << "needs the test session's X server and window manager";
        program = ProgramRun::program();
        ASSERT_TRUE(QFile::exists(program)) << program.toStdString();
        const QProcessEnvironment env = ProgramRun::environment(dir.path(), QStringLiteral("unused"));
        orvel.setProcessEnvironment(env);
        orvel.setProcessChannelMode(QProcess::ForwardedChannels);
    }
    void TearDown() override
    {
        ProgramRun::stop(orvel);
    }

    // Whether the window manager manages a window of the program.
    bool programWindowShown()
    {
        auto *ewmh = x11.ewmh();
        xcb_ewmh_get_windows_reply_t list;
        if (!xcb_ewmh_get_client_list_reply(ewmh, xcb_ewmh_get_client_list(ewmh, x11.screenNumber()), &list, nullptr))
            return false;
        bool found = false;
        for (uint32_t i = 0; i < list.windows_len && !found; ++i) {
            uint32_t pid = 0;
            found = xcb_ewmh_get_wm_pid_reply(ewmh, xcb_ewmh_get_wm_pid(ewmh, list.windows[i]), &pid, nullptr) &&
                    int64_t(pid) == orvel.processId();
        }
        xcb_ewmh_get_windows_reply_wipe(&list);
        return found;
    }

    X11Connection x11;
    QTemporaryDir dir;
    QString program;
    QProcess orvel;
};

} // namespace

TEST_F(StartWithoutTrayTest, HiddenStartShowsTheWindowWhenThereIsNoTray)
{
    orvel.start(program, {QStringLiteral("--hidden")});
    ASSERT_TRUE(orvel.waitForStarted());
    EXPECT_TRUE(QTest::qWaitFor([&] { return programWindowShown(); }, 15000)) << "no window to reach the program by";
}

TEST_F(StartWithoutTrayTest, HiddenStartStaysInTheTrayWhenThereIsOne)
{
    StandInTray tray(x11.screenNumber());
    ASSERT_TRUE(tray.owns()) << "another tray holds the selection";
    orvel.start(program, {QStringLiteral("--hidden")});
    ASSERT_TRUE(orvel.waitForStarted());
    ASSERT_TRUE(QTest::qWaitFor([&] { return tray.dockRequested(); }, 15000)) << "the icon never asked to dock";
    // The window would be mapped right after the icon asked; give the window manager time to list it.
    QTest::qWait(1500);
    EXPECT_FALSE(programWindowShown());
}
