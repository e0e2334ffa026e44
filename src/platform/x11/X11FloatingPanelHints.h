#pragma once

#include "platform/FloatingPanelHints.h"

class X11Connection;

// _NET_WM_STATE above, sticky and kept out of the task bar and pager; _NET_WM_DESKTOP on all
// desktops; an input hint of false.
class X11FloatingPanelHints final : public FloatingPanelHints {
public:
    explicit X11FloatingPanelHints(X11Connection &x11) : m_x11(x11) {}
    void prepare(uint64_t windowId) override;
    void shown(uint64_t windowId) override;
    bool translucencyWorks() const override;

private:
    X11Connection &m_x11;
};
