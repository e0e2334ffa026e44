#include "LayerShellPanelHints.h"

#include "LayerSurfacePanel.h"
#include "WaylandDisplay.h"

#include <QWidget>

std::unique_ptr<LayerShellPanelHints> LayerShellPanelHints::open()
{
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return nullptr;
    auto display = WaylandDisplay::open();
    if (!display)
        return nullptr;
    return std::unique_ptr<LayerShellPanelHints>(new LayerShellPanelHints(std::move(display)));
}

LayerShellPanelHints::LayerShellPanelHints(std::unique_ptr<WaylandDisplay> display) : m_display(std::move(display))
{
    connect(m_display.get(), &WaylandDisplay::connectionLost, this, &LayerShellPanelHints::fallBackToWindows);
}

LayerShellPanelHints::~LayerShellPanelHints()
{
    // The surfaces go before the connection they were made on.
    m_panels.clear();
}

void LayerShellPanelHints::show(QWidget &panel)
{
    if (m_display->failed()) {
        panel.show();
        return;
    }
    auto &surface = m_panels[&panel];
    if (!surface) {
        surface = std::make_unique<LayerSurfacePanel>(*m_display, panel);
        connect(&panel, &QObject::destroyed, this, [this, key = &panel] { m_panels.erase(key); });
        // Shown to the toolkit, which lays it out and asks for repaints, but never mapped by it.
        if (panel.isVisible())
            panel.hide();
        panel.setAttribute(Qt::WA_DontShowOnScreen);
    }
    if (panel.isVisible())
        surface->map();
    else
        panel.show(); // the surface maps on the show event
}

bool LayerShellPanelHints::isPresented(const QWidget &panel) const
{
    const auto found = m_panels.find(&panel);
    return found != m_panels.end() && found->second->isPresented();
}

void LayerShellPanelHints::fallBackToWindows()
{
    // Without the compositor's connection the panels are ordinary windows again: visible, if
    // no longer kept from the focus.
    for (auto &[panel, surface] : m_panels) {
        auto *widget = const_cast<QWidget *>(panel);
        const bool visible = widget->isVisible();
        surface.reset();
        widget->hide();
        widget->setAttribute(Qt::WA_DontShowOnScreen, false);
        if (visible)
            widget->show();
    }
    m_panels.clear();
}
