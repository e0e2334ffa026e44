#pragma once

#include "platform/Accessibility.h"
#include "platform/FloatingPanelHints.h"
#include "platform/KeySynthesizer.h"
#include "platform/Workspace.h"

// On Wayland the window system tells a client nothing about the others' windows (EWMH there
// knows only XWayland's), so the application in front is the one whose window the accessibility
// bus reports active.
class WaylandWorkspace final : public Workspace {
public:
    std::optional<RunningApplication> frontmostApplication() const override;
    // No client may raise another's window on Wayland. Our panels never take the focus, so the
    // target is normally still in front; delivery checks that before it sends keys.
    void activate(const RunningApplication &) override {}
    bool isCurrentApplication(const RunningApplication &application) const override;
    bool isTerminal(const RunningApplication &application) const override;
};

// The focused element of the desktop over AT-SPI. Nothing is asked of the user on Linux, so the
// process counts as trusted; what cannot be reached falls through to the clipboard.
class WaylandAccessibility final : public Accessibility {
public:
    bool isProcessTrusted(bool) override { return true; }
    std::shared_ptr<AccessibleElement> focusedElement() override;
    std::shared_ptr<AccessibleElement> desktopFocusedElement() override { return focusedElement(); }
};

// Without the portal's keyboard. XTEST would reach only XWayland's clients, and among them the one
// that last had the focus, not the application in front: a copy chord meant for the target
// could land in a terminal there and interrupt it.
class NoKeySynthesizer final : public KeySynthesizer {
public:
    void postKey(uint16_t, uint64_t) override {}
};

// Where the compositor offers no layer shell (GNOME's Mutter): the panels are the toolkit's own
// windows, which the compositor may activate. Delivery does not depend on the focus there: the
// target's focused element is taken when the run starts and text goes in over accessibility.
class ToplevelPanelHints final : public FloatingPanelHints {
public:
    void show(QWidget &panel) override;
};
