#include "WaylandDisplay.h"

#include <wayland-cursor.h>

#include <QSocketNotifier>

#include <linux/input-event-codes.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace {

// What the program uses; older layer shells lack nothing it asks for.
constexpr uint32_t kCompositorVersion = 4;
constexpr uint32_t kLayerShellVersion = 3;
constexpr uint32_t kSeatVersion = 5;
constexpr uint32_t kOutputVersion = 4;

} // namespace

std::unique_ptr<WaylandDisplay> WaylandDisplay::open()
{
    wl_display *display = wl_display_connect(nullptr);
    if (!display)
        return nullptr;
    std::unique_ptr<WaylandDisplay> self(new WaylandDisplay(display));
    // Two round trips: the globals, then what the seat and outputs announce.
    if (wl_display_roundtrip(display) < 0 || wl_display_roundtrip(display) < 0)
        return nullptr;
    if (!self->m_compositor || !self->m_shm || !self->m_layerShell)
        return nullptr;
    self->m_notifier = new QSocketNotifier(wl_display_get_fd(display), QSocketNotifier::Read, self.get());
    QObject::connect(self->m_notifier, &QSocketNotifier::activated, self.get(), &WaylandDisplay::readEvents);
    return self;
}

WaylandDisplay::WaylandDisplay(wl_display *display) : m_display(display)
{
    static const wl_registry_listener registryListener = {&WaylandDisplay::global, &WaylandDisplay::globalRemove};
    m_registry = wl_display_get_registry(m_display);
    wl_registry_add_listener(m_registry, &registryListener, this);
}

WaylandDisplay::~WaylandDisplay()
{
    delete m_notifier;
    if (m_cursorSurface)
        wl_surface_destroy(m_cursorSurface);
    if (m_cursorTheme)
        wl_cursor_theme_destroy(m_cursorTheme);
    if (m_pointer)
        wl_pointer_destroy(m_pointer);
    if (m_seat)
        wl_seat_destroy(m_seat);
    for (const auto &output : m_outputs)
        wl_output_destroy(output->output);
    if (m_layerShell)
        zwlr_layer_shell_v1_destroy(m_layerShell);
    if (m_shm)
        wl_shm_destroy(m_shm);
    if (m_compositor)
        wl_compositor_destroy(m_compositor);
    wl_registry_destroy(m_registry);
    wl_display_flush(m_display);
    wl_display_disconnect(m_display);
}

wl_output *WaylandDisplay::output(const QString &name) const
{
    for (const auto &output : m_outputs)
        if (!name.isEmpty() && output->name == name)
            return output->output;
    return nullptr;
}

void WaylandDisplay::flush()
{
    if (m_failed)
        return;
    // A full socket is drained by the next read; only a real failure ends the connection.
    if (wl_display_flush(m_display) < 0 && errno != EAGAIN)
        checkError();
}

void WaylandDisplay::forget(PointerReceiver *receiver)
{
    if (m_pointerFocus == receiver)
        m_pointerFocus = nullptr;
}

void WaylandDisplay::readEvents()
{
    if (m_failed)
        return;
    if (wl_display_prepare_read(m_display) == 0) {
        if (wl_display_read_events(m_display) < 0) {
            checkError();
            return;
        }
    }
    if (wl_display_dispatch_pending(m_display) < 0) {
        checkError();
        return;
    }
    flush();
}

void WaylandDisplay::checkError()
{
    if (m_failed)
        return;
    const int error = wl_display_get_error(m_display);
    if (error == 0 && errno == EAGAIN)
        return;
    m_failed = true;
    m_notifier->setEnabled(false);
    m_pointerFocus = nullptr;
    qWarning("The connection to the Wayland compositor for the floating panels failed: %s",
             strerror(error ? error : errno));
    emit connectionLost();
}

void WaylandDisplay::global(void *data, wl_registry *registry, uint32_t id, const char *interface, uint32_t version)
{
    auto *self = static_cast<WaylandDisplay *>(data);
    const auto bind = [&](const wl_interface *wanted, uint32_t most) {
        return wl_registry_bind(registry, id, wanted, std::min(version, most));
    };
    if (!strcmp(interface, wl_compositor_interface.name) && !self->m_compositor) {
        self->m_compositor = static_cast<wl_compositor *>(bind(&wl_compositor_interface, kCompositorVersion));
    } else if (!strcmp(interface, wl_shm_interface.name) && !self->m_shm) {
        self->m_shm = static_cast<wl_shm *>(bind(&wl_shm_interface, 1));
    } else if (!strcmp(interface, zwlr_layer_shell_v1_interface.name) && !self->m_layerShell) {
        self->m_layerShell = static_cast<zwlr_layer_shell_v1 *>(bind(&zwlr_layer_shell_v1_interface, kLayerShellVersion));
    } else if (!strcmp(interface, wl_seat_interface.name) && !self->m_seat) {
        static const wl_seat_listener seatListener = {
            &WaylandDisplay::seatCapabilities, [](void *, wl_seat *, const char *) {}};
        self->m_seat = static_cast<wl_seat *>(bind(&wl_seat_interface, kSeatVersion));
        wl_seat_add_listener(self->m_seat, &seatListener, self);
    } else if (!strcmp(interface, wl_output_interface.name)) {
        static const wl_output_listener outputListener = {
            [](void *, wl_output *, int32_t, int32_t, int32_t, int32_t, int32_t, const char *, const char *, int32_t) {},
            [](void *, wl_output *, uint32_t, int32_t, int32_t, int32_t) {},
            [](void *, wl_output *) {},
            [](void *, wl_output *, int32_t) {},
            [](void *data, wl_output *, const char *name) { static_cast<Output *>(data)->name = QString::fromUtf8(name); },
            [](void *, wl_output *, const char *) {},
        };
        auto output = std::make_unique<Output>();
        output->id = id;
        output->output = static_cast<wl_output *>(bind(&wl_output_interface, kOutputVersion));
        wl_output_add_listener(output->output, &outputListener, output.get());
        self->m_outputs.push_back(std::move(output));
    }
}

void WaylandDisplay::globalRemove(void *data, wl_registry *, uint32_t id)
{
    auto *self = static_cast<WaylandDisplay *>(data);
    // A layer surface on a removed output is closed by the compositor; the proxy just goes.
    auto &outputs = self->m_outputs;
    const auto gone = std::find_if(outputs.begin(), outputs.end(), [id](const auto &o) { return o->id == id; });
    if (gone == outputs.end())
        return;
    wl_output_destroy((*gone)->output);
    outputs.erase(gone);
}

void WaylandDisplay::seatCapabilities(void *data, wl_seat *seat, uint32_t capabilities)
{
    auto *self = static_cast<WaylandDisplay *>(data);
    const bool hasPointer = capabilities & WL_SEAT_CAPABILITY_POINTER;
    if (hasPointer && !self->m_pointer) {
        static const wl_pointer_listener pointerListener = {
            &WaylandDisplay::pointerEnter,
            &WaylandDisplay::pointerLeave,
            &WaylandDisplay::pointerMotion,
            &WaylandDisplay::pointerButton,
            [](void *, wl_pointer *, uint32_t, uint32_t, wl_fixed_t) {},
            [](void *, wl_pointer *) {},
            [](void *, wl_pointer *, uint32_t) {},
            [](void *, wl_pointer *, uint32_t, uint32_t) {},
            [](void *, wl_pointer *, uint32_t, int32_t) {},
            [](void *, wl_pointer *, uint32_t, int32_t) {},
        };
        self->m_pointer = wl_seat_get_pointer(seat);
        wl_pointer_add_listener(self->m_pointer, &pointerListener, self);
    } else if (!hasPointer && self->m_pointer) {
        wl_pointer_release(self->m_pointer);
        self->m_pointer = nullptr;
        if (auto *focus = std::exchange(self->m_pointerFocus, nullptr))
            focus->pointerLeft();
    }
}

void WaylandDisplay::pointerEnter(void *data, wl_pointer *, uint32_t serial, wl_surface *surface, wl_fixed_t x,
                                  wl_fixed_t y)
{
    auto *self = static_cast<WaylandDisplay *>(data);
    // A surface destroyed meanwhile arrives as null; the cursor's own surface has no user data.
    self->m_pointerFocus = surface ? static_cast<PointerReceiver *>(wl_surface_get_user_data(surface)) : nullptr;
    if (!self->m_pointerFocus)
        return;
    self->setCursor(serial);
    self->m_pointerFocus->pointerEntered(QPointF(wl_fixed_to_double(x), wl_fixed_to_double(y)));
}

void WaylandDisplay::pointerLeave(void *data, wl_pointer *, uint32_t, wl_surface *)
{
    auto *self = static_cast<WaylandDisplay *>(data);
    if (auto *focus = std::exchange(self->m_pointerFocus, nullptr))
        focus->pointerLeft();
}

void WaylandDisplay::pointerMotion(void *data, wl_pointer *, uint32_t, wl_fixed_t x, wl_fixed_t y)
{
    auto *self = static_cast<WaylandDisplay *>(data);
    if (self->m_pointerFocus)
        self->m_pointerFocus->pointerMoved(QPointF(wl_fixed_to_double(x), wl_fixed_to_double(y)));
}

void WaylandDisplay::pointerButton(void *data, wl_pointer *, uint32_t, uint32_t, uint32_t button, uint32_t state)
{
    auto *self = static_cast<WaylandDisplay *>(data);
    if (!self->m_pointerFocus)
        return;
    Qt::MouseButton which = Qt::NoButton;
    switch (button) {
    case BTN_LEFT:
        which = Qt::LeftButton;
        break;
    case BTN_RIGHT:
        which = Qt::RightButton;
        break;
    case BTN_MIDDLE:
        which = Qt::MiddleButton;
        break;
    default:
        return;
    }
    self->m_pointerFocus->pointerButton(which, state == WL_POINTER_BUTTON_STATE_PRESSED);
}

void WaylandDisplay::setCursor(uint32_t serial)
{
    // Without it the pointer keeps whatever picture the window it came from set.
    if (!m_cursorTheme) {
        const QByteArray theme = qgetenv("XCURSOR_THEME");
        const int size = qEnvironmentVariableIntValue("XCURSOR_SIZE");
        m_cursorTheme = wl_cursor_theme_load(theme.isEmpty() ? nullptr : theme.constData(), size > 0 ? size : 24, m_shm);
    }
    wl_cursor *cursor = m_cursorTheme ? wl_cursor_theme_get_cursor(m_cursorTheme, "left_ptr") : nullptr;
    if (!cursor)
        cursor = m_cursorTheme ? wl_cursor_theme_get_cursor(m_cursorTheme, "default") : nullptr;
    if (!cursor || cursor->image_count == 0)
        return;
    wl_cursor_image *image = cursor->images[0];
    if (!m_cursorSurface)
        m_cursorSurface = wl_compositor_create_surface(m_compositor);
    wl_pointer_set_cursor(m_pointer, serial, m_cursorSurface, int32_t(image->hotspot_x), int32_t(image->hotspot_y));
    wl_surface_attach(m_cursorSurface, wl_cursor_image_get_buffer(image), 0, 0);
    wl_surface_damage(m_cursorSurface, 0, 0, int32_t(image->width), int32_t(image->height));
    wl_surface_commit(m_cursorSurface);
}
