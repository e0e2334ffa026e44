#pragma once

#include "WaylandDisplay.h"

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>

#include <list>

class QScreen;
class QWidget;

// Where a panel sits on a layer surface: anchored to the screen's nearer horizontal and vertical
// edges, at the distances from them that the widget's geometry gives.
struct LayerPlacement {
    uint32_t anchor = 0;
    int top = 0, right = 0, bottom = 0, left = 0;

    static uint32_t nearestEdges(const QRect &frame, const QRect &screen);
    static LayerPlacement of(const QRect &frame, const QRect &screen, uint32_t anchor);
};

// One panel widget on a layer surface of the overlay layer. The widget is never mapped by the
// toolkit (it is shown off screen): it is rendered into shared memory whenever it asks to be
// repainted, its moves and resizes become the surface's margins and size, and the pointer's
// events on the surface are sent to it as mouse events. The surface never takes the keyboard.
class LayerSurfacePanel final : public QObject, public PointerReceiver {
public:
    LayerSurfacePanel(WaylandDisplay &display, QWidget &panel);
    ~LayerSurfacePanel() override;

    void map();
    void unmap();
    // Mapped and shown by the compositor (it has configured the surface).
    bool isPresented() const { return m_layerSurface && m_configured; }

    bool eventFilter(QObject *watched, QEvent *event) override;

    void pointerEntered(const QPointF &at) override;
    void pointerMoved(const QPointF &at) override;
    void pointerButton(Qt::MouseButton button, bool pressed) override;
    void pointerLeft() override;

private:
    struct Buffer {
        wl_buffer *buffer = nullptr;
        void *data = nullptr;
        size_t bytes = 0;
        QSize pixels;
        bool busy = false;
    };

    QScreen *screen() const;
    void applyGeometry();
    void queueRender();
    void render();
    Buffer *freeBuffer(const QSize &pixels);
    void dropBuffers(bool all);
    QWidget *widgetAt(const QPointF &at) const;
    void sendMouse(int type, Qt::MouseButton button);
    void setHovered(QWidget *widget);

    static void configured(void *data, zwlr_layer_surface_v1 *, uint32_t serial, uint32_t width, uint32_t height);
    static void closed(void *data, zwlr_layer_surface_v1 *);
    static void frameDone(void *data, wl_callback *callback, uint32_t);
    static void released(void *data, wl_buffer *buffer);

    WaylandDisplay &m_display;
    QWidget &m_panel;
    wl_surface *m_surface = nullptr;
    zwlr_layer_surface_v1 *m_layerSurface = nullptr;
    wl_callback *m_frameCallback = nullptr;
    std::list<Buffer> m_buffers;
    uint32_t m_anchor = 0;
    bool m_configured = false;
    bool m_renderQueued = false;
    bool m_renderWanted = false;
    QPointF m_pointerAt;
    Qt::MouseButtons m_buttons;
    QPointer<QWidget> m_grab;
    QPointer<QWidget> m_hovered;
};
