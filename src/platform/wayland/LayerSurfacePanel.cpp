#include "LayerSurfacePanel.h"

#include <QApplication>
#include <QEnterEvent>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QScreen>
#include <QWidget>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// KWin gives a layer surface the window type its namespace names, and activates a window of the
// ordinary type when it is clicked, keyboard or not; a dock it leaves alone.
constexpr const char *kNamespace = "dock";
// Buffers kept for one size: one on screen, one being drawn.
constexpr size_t kMostBuffers = 3;

} // namespace

uint32_t LayerPlacement::nearestEdges(const QRect &frame, const QRect &screen)
{
    const QPointF centre = QRectF(frame).center();
    const QPointF middle = QRectF(screen).center();
    return (centre.x() > middle.x() ? ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT : ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT) |
           (centre.y() > middle.y() ? ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM : ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP);
}

LayerPlacement LayerPlacement::of(const QRect &frame, const QRect &screen, uint32_t anchor)
{
    LayerPlacement p;
    p.anchor = anchor;
    // Margins count from the edges of the area the desktop's own panels leave free, as the
    // toolkit's available geometry would if Wayland told it where those panels are.
    p.left = frame.x() - screen.x();
    p.top = frame.y() - screen.y();
    p.right = screen.x() + screen.width() - (frame.x() + frame.width());
    p.bottom = screen.y() + screen.height() - (frame.y() + frame.height());
    return p;
}

LayerSurfacePanel::LayerSurfacePanel(WaylandDisplay &display, QWidget &panel) : m_display(display), m_panel(panel)
{
    m_panel.installEventFilter(this);
}

LayerSurfacePanel::~LayerSurfacePanel()
{
    m_panel.removeEventFilter(this);
    unmap();
}

QScreen *LayerSurfacePanel::screen() const
{
    if (QScreen *at = QGuiApplication::screenAt(m_panel.geometry().center()))
        return at;
    return QGuiApplication::primaryScreen();
}

void LayerSurfacePanel::map()
{
    if (m_layerSurface || m_display.failed())
        return;
    static const zwlr_layer_surface_v1_listener listener = {&LayerSurfacePanel::configured, &LayerSurfacePanel::closed};
    QScreen *on = screen();
    m_surface = wl_compositor_create_surface(m_display.compositor());
    wl_surface_set_user_data(m_surface, static_cast<PointerReceiver *>(this));
    // The overlay layer: above ordinary and full-screen windows and the desktop's own panels.
    m_layerSurface = zwlr_layer_shell_v1_get_layer_surface(m_display.layerShell(), m_surface,
                                                           on ? m_display.output(on->name()) : nullptr,
                                                           ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, kNamespace);
    zwlr_layer_surface_v1_add_listener(m_layerSurface, &listener, this);
    zwlr_layer_surface_v1_set_keyboard_interactivity(m_layerSurface, ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
    zwlr_layer_surface_v1_set_exclusive_zone(m_layerSurface, 0);
    // Anchored once per showing: a drag across the middle of the screen must not jump.
    m_anchor = on ? LayerPlacement::nearestEdges(m_panel.geometry(), on->geometry())
                  : ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT;
    applyGeometry();
    wl_surface_commit(m_surface);
    m_display.flush();
}

void LayerSurfacePanel::unmap()
{
    m_display.forget(this);
    m_grab = nullptr;
    m_hovered = nullptr;
    m_buttons = {};
    if (m_frameCallback)
        wl_callback_destroy(std::exchange(m_frameCallback, nullptr));
    if (m_layerSurface)
        zwlr_layer_surface_v1_destroy(std::exchange(m_layerSurface, nullptr));
    if (m_surface)
        wl_surface_destroy(std::exchange(m_surface, nullptr));
    dropBuffers(true);
    m_configured = false;
    m_renderWanted = false;
    m_display.flush();
}

void LayerSurfacePanel::applyGeometry()
{
    if (!m_layerSurface)
        return;
    QScreen *on = screen();
    const QRect frame = m_panel.geometry();
    const LayerPlacement p = LayerPlacement::of(frame, on ? on->geometry() : QRect(QPoint(), frame.size()), m_anchor);
    zwlr_layer_surface_v1_set_anchor(m_layerSurface, p.anchor);
    zwlr_layer_surface_v1_set_size(m_layerSurface, uint32_t(frame.width()), uint32_t(frame.height()));
    zwlr_layer_surface_v1_set_margin(m_layerSurface, p.top, p.right, p.bottom, p.left);
}

bool LayerSurfacePanel::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != &m_panel)
        return false;
    switch (event->type()) {
    case QEvent::Show:
        map();
        break;
    case QEvent::Hide:
        unmap();
        break;
    case QEvent::Move:
    case QEvent::Resize:
        if (m_layerSurface) {
            applyGeometry();
            if (event->type() == QEvent::Resize)
                queueRender();
            else if (m_configured) {
                wl_surface_commit(m_surface);
                m_display.flush();
            }
        }
        break;
    case QEvent::UpdateRequest:
        // The toolkit paints into a backing store nobody sees; the surface gets its own picture.
        queueRender();
        break;
    default:
        break;
    }
    return false;
}

void LayerSurfacePanel::queueRender()
{
    if (m_renderQueued || !m_layerSurface)
        return;
    m_renderQueued = true;
    QMetaObject::invokeMethod(this, [this] {
        m_renderQueued = false;
        render();
    }, Qt::QueuedConnection);
}

void LayerSurfacePanel::render()
{
    if (!m_layerSurface || !m_configured || m_display.failed())
        return;
    // One picture per frame of the compositor; the latest state is drawn when it asks.
    if (m_frameCallback) {
        m_renderWanted = true;
        return;
    }
    QScreen *on = screen();
    const int scale = on ? std::max(1, int(std::ceil(on->devicePixelRatio()))) : 1;
    const QSize pixels = m_panel.size() * scale;
    if (pixels.isEmpty())
        return;
    Buffer *buffer = freeBuffer(pixels);
    if (!buffer) {
        m_renderWanted = true;
        return;
    }
    m_renderWanted = false;
    QImage image(static_cast<uchar *>(buffer->data), pixels.width(), pixels.height(), pixels.width() * 4,
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::transparent);
    m_panel.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);

    static const wl_callback_listener frameListener = {&LayerSurfacePanel::frameDone};
    m_frameCallback = wl_surface_frame(m_surface);
    wl_callback_add_listener(m_frameCallback, &frameListener, this);
    wl_surface_set_buffer_scale(m_surface, scale);
    wl_surface_attach(m_surface, buffer->buffer, 0, 0);
    wl_surface_damage(m_surface, 0, 0, m_panel.width(), m_panel.height());
    buffer->busy = true;
    wl_surface_commit(m_surface);
    m_display.flush();
}

LayerSurfacePanel::Buffer *LayerSurfacePanel::freeBuffer(const QSize &pixels)
{
    // Buffers of another size are of no more use once the compositor has let them go.
    for (auto it = m_buffers.begin(); it != m_buffers.end();) {
        if (!it->busy && it->pixels != pixels) {
            wl_buffer_destroy(it->buffer);
            munmap(it->data, it->bytes);
            it = m_buffers.erase(it);
        } else {
            ++it;
        }
    }
    for (Buffer &b : m_buffers)
        if (!b.busy)
            return &b;
    if (m_buffers.size() >= kMostBuffers)
        return nullptr;

    const int stride = pixels.width() * 4;
    const size_t bytes = size_t(stride) * size_t(pixels.height());
    const int fd = memfd_create("orvel-raza-panel", MFD_CLOEXEC);
    if (fd < 0)
        return nullptr;
    void *data = ftruncate(fd, off_t(bytes)) == 0 ? mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                                                  : MAP_FAILED;
    if (data == MAP_FAILED) {
        close(fd);
        return nullptr;
    }
    wl_shm_pool *pool = wl_shm_create_pool(m_display.shm(), fd, int32_t(bytes));
    wl_buffer *buffer =
        wl_shm_pool_create_buffer(pool, 0, pixels.width(), pixels.height(), stride, WL_SHM_FORMAT_ARGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);
    static const wl_buffer_listener bufferListener = {&LayerSurfacePanel::released};
    wl_buffer_add_listener(buffer, &bufferListener, this);
    m_buffers.push_back({buffer, data, bytes, pixels, false});
    return &m_buffers.back();
}

void LayerSurfacePanel::dropBuffers(bool all)
{
    for (auto it = m_buffers.begin(); it != m_buffers.end();) {
        if (all || !it->busy) {
            wl_buffer_destroy(it->buffer);
            munmap(it->data, it->bytes);
            it = m_buffers.erase(it);
        } else {
            ++it;
        }
    }
}

void LayerSurfacePanel::configured(void *data, zwlr_layer_surface_v1 *surface, uint32_t serial, uint32_t, uint32_t)
{
    auto *self = static_cast<LayerSurfacePanel *>(data);
    zwlr_layer_surface_v1_ack_configure(surface, serial);
    // The size is ours to choose; only the first configure lets the surface be drawn.
    const bool first = !self->m_configured;
    self->m_configured = true;
    if (first)
        self->render();
}

void LayerSurfacePanel::closed(void *data, zwlr_layer_surface_v1 *)
{
    // Its output went away: the panel comes back on the output the compositor picks.
    auto *self = static_cast<LayerSurfacePanel *>(data);
    self->unmap();
    QMetaObject::invokeMethod(self, [self] {
        if (self->m_panel.isVisible())
            self->map();
    }, Qt::QueuedConnection);
}

void LayerSurfacePanel::frameDone(void *data, wl_callback *callback, uint32_t)
{
    auto *self = static_cast<LayerSurfacePanel *>(data);
    wl_callback_destroy(callback);
    self->m_frameCallback = nullptr;
    if (self->m_renderWanted)
        self->render();
}

void LayerSurfacePanel::released(void *data, wl_buffer *buffer)
{
    auto *self = static_cast<LayerSurfacePanel *>(data);
    for (Buffer &b : self->m_buffers)
        if (b.buffer == buffer)
            b.busy = false;
    if (self->m_renderWanted && !self->m_frameCallback)
        self->render();
}

QWidget *LayerSurfacePanel::widgetAt(const QPointF &at) const
{
    QWidget *child = m_panel.childAt(at.toPoint());
    return child ? child : &m_panel;
}

void LayerSurfacePanel::sendMouse(int type, Qt::MouseButton button)
{
    QWidget *target = m_grab ? m_grab.data() : widgetAt(m_pointerAt);
    const QPointF local = target->mapFrom(&m_panel, m_pointerAt);
    // The toolkit's global coordinates: the panel's place plus the point on it, so a drag moves
    // the panel by exactly what the pointer moved.
    const QPointF global = QPointF(m_panel.pos()) + m_pointerAt;
    QMouseEvent event(QEvent::Type(type), local, m_pointerAt, global, button, m_buttons,
                      QGuiApplication::keyboardModifiers());
    QApplication::sendEvent(target, &event);
}

void LayerSurfacePanel::setHovered(QWidget *widget)
{
    if (m_hovered == widget)
        return;
    if (m_hovered) {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(m_hovered, &leave);
    }
    m_hovered = widget;
    if (widget) {
        const QPointF local = widget->mapFrom(&m_panel, m_pointerAt);
        QEnterEvent enter(local, m_pointerAt, QPointF(m_panel.pos()) + m_pointerAt);
        QApplication::sendEvent(widget, &enter);
    }
}

void LayerSurfacePanel::pointerEntered(const QPointF &at)
{
    m_pointerAt = at;
    setHovered(widgetAt(at));
}

void LayerSurfacePanel::pointerMoved(const QPointF &at)
{
    m_pointerAt = at;
    if (!m_grab)
        setHovered(widgetAt(at));
    sendMouse(QEvent::MouseMove, Qt::NoButton);
}

void LayerSurfacePanel::pointerButton(Qt::MouseButton button, bool pressed)
{
    // The widget pressed keeps the pointer until the last button is let go, as the toolkit's own
    // windows do; the compositor keeps sending to this surface meanwhile.
    if (pressed) {
        if (!m_buttons)
            m_grab = widgetAt(m_pointerAt);
        m_buttons |= button;
        sendMouse(QEvent::MouseButtonPress, button);
    } else {
        if (!(m_buttons & button))
            return;
        m_buttons &= ~button;
        sendMouse(QEvent::MouseButtonRelease, button);
        if (!m_buttons)
            m_grab = nullptr;
    }
}

void LayerSurfacePanel::pointerLeft()
{
    setHovered(nullptr);
}
