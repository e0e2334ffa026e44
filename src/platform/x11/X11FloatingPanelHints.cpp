#include "X11FloatingPanelHints.h"

#include "X11Connection.h"

#include <xcb/xcb_icccm.h>

#include <QWidget>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {
constexpr uint32_t kAllDesktops = 0xFFFFFFFF;

std::vector<xcb_atom_t> wantedStates(xcb_ewmh_connection_t *e)
{
    return {e->_NET_WM_STATE_ABOVE, e->_NET_WM_STATE_STICKY, e->_NET_WM_STATE_SKIP_TASKBAR,
            e->_NET_WM_STATE_SKIP_PAGER};
}
} // namespace

void X11FloatingPanelHints::show(QWidget &panel)
{
    prepare(uint64_t(panel.winId()));
    panel.show();
    shown(uint64_t(panel.winId()));
}

void X11FloatingPanelHints::prepare(uint64_t windowId)
{
    xcb_connection_t *c = m_x11.connection();
    xcb_ewmh_connection_t *e = m_x11.ewmh();
    if (!c || !e || !windowId)
        return;
    const auto window = xcb_window_t(windowId);

    // Merged with what the toolkit already put there, which it merges in turn when it maps.
    std::vector<xcb_atom_t> states;
    xcb_ewmh_get_atoms_reply_t current;
    if (xcb_ewmh_get_wm_state_reply(e, xcb_ewmh_get_wm_state(e, window), &current, nullptr)) {
        states.assign(current.atoms, current.atoms + current.atoms_len);
        xcb_ewmh_get_atoms_reply_wipe(&current);
    }
    for (xcb_atom_t atom : wantedStates(e))
        if (std::find(states.begin(), states.end(), atom) == states.end())
            states.push_back(atom);
    xcb_ewmh_set_wm_state(e, window, uint32_t(states.size()), states.data());
    xcb_ewmh_set_wm_desktop(e, window, kAllDesktops);

    xcb_icccm_wm_hints_t hints = {};
    xcb_icccm_get_wm_hints_reply(c, xcb_icccm_get_wm_hints(c, window), &hints, nullptr);
    xcb_icccm_wm_hints_set_input(&hints, 0);
    xcb_icccm_set_wm_hints(c, window, &hints);

    // The toolkit maps on its own connection: these must have reached the server before it does.
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

void X11FloatingPanelHints::shown(uint64_t windowId)
{
    xcb_ewmh_connection_t *e = m_x11.ewmh();
    if (!e || !windowId)
        return;
    const auto window = xcb_window_t(windowId);
    const int screen = m_x11.screenNumber();
    xcb_ewmh_request_change_wm_state(e, screen, window, XCB_EWMH_WM_STATE_ADD, e->_NET_WM_STATE_ABOVE,
                                     e->_NET_WM_STATE_STICKY, XCB_EWMH_CLIENT_SOURCE_TYPE_NORMAL);
    xcb_ewmh_request_change_wm_state(e, screen, window, XCB_EWMH_WM_STATE_ADD, e->_NET_WM_STATE_SKIP_TASKBAR,
                                     e->_NET_WM_STATE_SKIP_PAGER, XCB_EWMH_CLIENT_SOURCE_TYPE_NORMAL);
    xcb_ewmh_request_change_wm_desktop(e, screen, window, kAllDesktops, XCB_EWMH_CLIENT_SOURCE_TYPE_NORMAL);
    m_x11.flush();
}

bool X11FloatingPanelHints::translucencyWorks() const
{
    xcb_connection_t *c = m_x11.connection();
    xcb_ewmh_connection_t *e = m_x11.ewmh();
    if (!c || !e)
        return true;
    // A compositing manager owns _NET_WM_CM_Sn of its screen.
    const xcb_atom_t selection = e->_NET_WM_CM_Sn[m_x11.screenNumber()];
    xcb_get_selection_owner_reply_t *owner =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
    const bool composited = owner && owner->owner != XCB_NONE;
    free(owner);
    return composited;
}
