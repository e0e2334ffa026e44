#include "X11ScreenCapture.h"

#include "X11Connection.h"

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>

#include <cstdlib>
#include <memory>

namespace {
struct FreeReply {
    void operator()(void *p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeReply>;

bool hasAtom(xcb_ewmh_get_atoms_reply_t &atoms, xcb_atom_t atom)
{
    for (uint32_t i = 0; i < atoms.atoms_len; ++i)
        if (atoms.atoms[i] == atom)
            return true;
    return false;
}
} // namespace

QList<CapturableWindow> X11ScreenCapture::shareableWindows()
{
    QList<CapturableWindow> result;
    xcb_connection_t *c = m_x11.connection();
    xcb_ewmh_connection_t *ewmh = m_x11.ewmh();
    if (!c || !ewmh)
        return result;
    xcb_ewmh_get_windows_reply_t clients;
    if (!xcb_ewmh_get_client_list_stacking_reply(ewmh, xcb_ewmh_get_client_list_stacking(ewmh, m_x11.screenNumber()),
                                                 &clients, nullptr))
        return result;
    // The list runs bottom to top; callers want the front first.
    for (uint32_t i = clients.windows_len; i-- > 0;) {
        const xcb_window_t window = clients.windows[i];
        xcb_ewmh_get_atoms_reply_t types;
        if (xcb_ewmh_get_wm_window_type_reply(ewmh, xcb_ewmh_get_wm_window_type(ewmh, window), &types, nullptr)) {
            const bool desktop = hasAtom(types, ewmh->_NET_WM_WINDOW_TYPE_DESKTOP);
            xcb_ewmh_get_atoms_reply_wipe(&types);
            if (desktop)
                continue;
        }
        Reply<xcb_get_window_attributes_reply_t> attributes{
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr)};
        Reply<xcb_get_geometry_reply_t> geometry{xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr)};
        if (!attributes || !geometry)
            continue;
        Reply<xcb_translate_coordinates_reply_t> origin{xcb_translate_coordinates_reply(
            c, xcb_translate_coordinates(c, window, m_x11.root(), 0, 0), nullptr)};
        CapturableWindow w;
        w.windowId = window;
        uint32_t pid = 0;
        if (xcb_ewmh_get_wm_pid_reply(ewmh, xcb_ewmh_get_wm_pid(ewmh, window), &pid, nullptr))
            w.processIdentifier = pid;
        bool hidden = false;
        xcb_ewmh_get_atoms_reply_t states;
        if (xcb_ewmh_get_wm_state_reply(ewmh, xcb_ewmh_get_wm_state(ewmh, window), &states, nullptr)) {
            hidden = hasAtom(states, ewmh->_NET_WM_STATE_HIDDEN);
            xcb_ewmh_get_atoms_reply_wipe(&states);
        }
        w.onScreen = attributes->map_state == XCB_MAP_STATE_VIEWABLE && !hidden;
        w.frame = QRectF(origin ? origin->dst_x : geometry->x, origin ? origin->dst_y : geometry->y, geometry->width,
                         geometry->height);
        if (w.onScreen)
            result.append(w);
    }
    xcb_ewmh_get_windows_reply_wipe(&clients);
    return result;
}

std::optional<QImage> X11ScreenCapture::capture(const CapturableWindow &window, QSize pixelSize)
{
    xcb_connection_t *c = m_x11.connection();
    if (!c)
        return std::nullopt;
    const auto win = xcb_window_t(window.windowId);
    Reply<xcb_get_geometry_reply_t> geometry{xcb_get_geometry_reply(c, xcb_get_geometry(c, win), nullptr)};
    if (!geometry || geometry->width == 0 || geometry->height == 0)
        return std::nullopt;
    const int width = geometry->width, height = geometry->height;
    Reply<xcb_get_image_reply_t> image{xcb_get_image_reply(
        c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, win, 0, 0, uint16_t(width), uint16_t(height), ~0u), nullptr)};
    if (!image)
        return std::nullopt;
    // 24- and 32-bit visuals keep four bytes a pixel, blue first, which is Qt's RGB32.
    const int length = xcb_get_image_data_length(image.get());
    if (image->depth < 24 || length < width * height * 4)
        return std::nullopt;
    const QImage view(xcb_get_image_data(image.get()), width, height, width * 4, QImage::Format_RGB32);
    const QImage copy = view.copy();
    if (copy.size() == pixelSize)
        return copy;
    return copy.scaled(pixelSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}
