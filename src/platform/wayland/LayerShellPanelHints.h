#pragma once

#include "platform/FloatingPanelHints.h"

#include <QObject>

#include <map>
#include <memory>

class LayerSurfacePanel;
class WaylandDisplay;

// Floating panels on a Wayland compositor that offers wlr-layer-shell (KWin, Sway, Hyprland): each
// is a surface of the overlay layer that can never have the keyboard focus, placed where the
// widget says. A toplevel window would be activated by KWin and tiled and focused by Sway.
class LayerShellPanelHints final : public QObject, public FloatingPanelHints {
    Q_OBJECT

public:
    // Null when WAYLAND_DISPLAY names no compositor or it has no layer shell (GNOME's Mutter).
    static std::unique_ptr<LayerShellPanelHints> open();
    ~LayerShellPanelHints() override;

    void show(QWidget &panel) override;
    // Whether the compositor is showing this panel on its layer surface now.
    bool isPresented(const QWidget &panel) const;

private:
    explicit LayerShellPanelHints(std::unique_ptr<WaylandDisplay> display);
    void fallBackToWindows();

    std::unique_ptr<WaylandDisplay> m_display;
    std::map<const QWidget *, std::unique_ptr<LayerSurfacePanel>> m_panels;
};
