#pragma once

class QWidget;

// How a small panel floats above every window, on every desktop, and is never given the keyboard
// focus. The widgets set the toolkit's own flags; the window system may need more than those
// (X11), or another kind of surface altogether (a Wayland layer surface).
class FloatingPanelHints {
public:
    virtual ~FloatingPanelHints() = default;
    // Puts the panel on screen; hiding it is the widget's own hide().
    virtual void show(QWidget &panel) = 0;
    // Whether see-through pixels show what lies below; without a compositor they paint black.
    virtual bool translucencyWorks() const { return true; }
};
