#pragma once

#include "platform/ScreenCapture.h"

class X11Connection;

// The managed windows in stacking order (EWMH client list) and xcb_get_image of one of them.
// Without a compositor a window's covered parts are not kept, so only what shows is captured;
// the target is the window in front, so that is normally all of it.
class X11ScreenCapture final : public ScreenCapture {
public:
    explicit X11ScreenCapture(X11Connection &x11) : m_x11(x11) {}
    QList<CapturableWindow> shareableWindows() override;
    std::optional<QImage> capture(const CapturableWindow &window, QSize pixelSize) override;

private:
    X11Connection &m_x11;
};
