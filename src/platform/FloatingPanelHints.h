#pragma once

#include <cstdint>

// What the window system must be told so a small panel floats above every window, on every
// desktop, and is never given the keyboard focus. The widgets set the toolkit's own flags; this
// adds what the toolkit cannot express.
class FloatingPanelHints {
public:
    virtual ~FloatingPanelHints() = default;
    // Before the panel is mapped: the window manager reads these when it takes the window on.
    virtual void prepare(uint64_t windowId) = 0;
    // After the panel is mapped: asks the window manager again, for one that reset them on unmap.
    virtual void shown(uint64_t windowId) = 0;
    // Whether see-through pixels show what lies below; without a compositor they paint black.
    virtual bool translucencyWorks() const { return true; }
};
