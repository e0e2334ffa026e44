#pragma once

#include <QImage>
#include <QList>
#include <QRectF>
#include <QSize>

#include <cstdint>
#include <optional>

struct CapturableWindow {
    uint64_t windowId = 0;
    int64_t processIdentifier = 0;
    QRectF frame; // in points
    bool onScreen = true;
};

class ScreenCapture {
public:
    virtual ~ScreenCapture() = default;
    // On-screen windows, desktop windows excluded, front to back.
    virtual QList<CapturableWindow> shareableWindows() = 0;
    // One window alone at the given pixel size, without the cursor.
    virtual std::optional<QImage> capture(const CapturableWindow &window, QSize pixelSize) = 0;
};
