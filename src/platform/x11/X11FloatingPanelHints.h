#pragma once

#include "platform/FloatingPanelHints.h"

#include <cstdint>

class X11Connection;

// _NET_WM_STATE above, sticky and kept out of the task bar and pager; _NET_WM_DESKTOP on all
// desktops; an input hint of false.
class X11FloatingPanelHints final : public FloatingPanelHints {
public:
    explicit X11FloatingPanelHints(X11Connection &x11) : m_x11(x11) {}
    void show(QWidget &panel) override;
    bool translucencyWorks() const override;

private:
    // Before the panel is mapped: the window manager reads these when it takes the window on.
    void prepare(uint64_t windowId);
    // After the panel is mapped: asks the window manager again, for one that reset them on unmap.
    void shown(uint64_t windowId);

    X11Connection &m_x11;
};
