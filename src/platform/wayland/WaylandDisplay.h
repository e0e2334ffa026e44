#pragma once

#include <wayland-client.h>

// The layer shell names an argument "namespace", which C++ reserves.
#define namespace layer_namespace
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace

#include <QObject>
#include <QPointF>
#include <QString>

#include <memory>
#include <vector>

class QSocketNotifier;
struct wl_cursor_theme;

// What a surface of ours does with the seat's pointer. Positions are surface-local.
class PointerReceiver {
public:
    virtual void pointerEntered(const QPointF &at) = 0;
    virtual void pointerMoved(const QPointF &at) = 0;
    virtual void pointerButton(Qt::MouseButton button, bool pressed) = 0;
    virtual void pointerLeft() = 0;

protected:
    ~PointerReceiver() = default;
};

// A connection of our own to the compositor, beside the toolkit's: Qt 6.4 gives no public access
// to its own, and layer surfaces need only a compositor, shared memory, the layer shell and the
// pointer. Its events are read on the main thread from the toolkit's event loop.
class WaylandDisplay final : public QObject {
    Q_OBJECT

public:
    // Null when there is no compositor to reach or it offers no layer shell.
    static std::unique_ptr<WaylandDisplay> open();
    ~WaylandDisplay() override;

    wl_compositor *compositor() const { return m_compositor; }
    wl_shm *shm() const { return m_shm; }
    zwlr_layer_shell_v1 *layerShell() const { return m_layerShell; }
    // The output the toolkit knows by this name, or null (the compositor then chooses).
    wl_output *output(const QString &name) const;

    // Sends what was asked; called after every batch of requests, since nothing else flushes.
    void flush();
    bool failed() const { return m_failed; }

    // A surface's pointer events go to its user data, which must be a PointerReceiver or null.
    void forget(PointerReceiver *receiver);

signals:
    // The compositor went away or refused a request: every surface of this connection is gone.
    void connectionLost();

private:
    struct Output {
        wl_output *output = nullptr;
        uint32_t id = 0;
        QString name;
    };

    explicit WaylandDisplay(wl_display *display);
    void readEvents();
    void checkError();

    static void global(void *data, wl_registry *registry, uint32_t id, const char *interface, uint32_t version);
    static void globalRemove(void *data, wl_registry *registry, uint32_t id);
    static void seatCapabilities(void *data, wl_seat *seat, uint32_t capabilities);
    static void pointerEnter(void *data, wl_pointer *, uint32_t serial, wl_surface *surface, wl_fixed_t x, wl_fixed_t y);
    static void pointerLeave(void *data, wl_pointer *, uint32_t serial, wl_surface *surface);
    static void pointerMotion(void *data, wl_pointer *, uint32_t time, wl_fixed_t x, wl_fixed_t y);
    static void pointerButton(void *data, wl_pointer *, uint32_t serial, uint32_t time, uint32_t button, uint32_t state);
    void setCursor(uint32_t serial);

    wl_display *m_display;
    wl_registry *m_registry = nullptr;
    wl_compositor *m_compositor = nullptr;
    wl_shm *m_shm = nullptr;
    zwlr_layer_shell_v1 *m_layerShell = nullptr;
    wl_seat *m_seat = nullptr;
    wl_pointer *m_pointer = nullptr;
    std::vector<std::unique_ptr<Output>> m_outputs;
    PointerReceiver *m_pointerFocus = nullptr;
    wl_cursor_theme *m_cursorTheme = nullptr;
    wl_surface *m_cursorSurface = nullptr;
    QSocketNotifier *m_notifier = nullptr;
    bool m_failed = false;
};
