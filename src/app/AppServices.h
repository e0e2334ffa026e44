#pragma once

// What the application state asks of the windows and of the shortcut layer. The widgets and the
// hot key manager implement these; tests use recording fakes.

class OverlayPresenter {
public:
    virtual ~OverlayPresenter() = default;
    // Sized for the current state, at the saved or default position, without taking focus.
    virtual void show() = 0;
    virtual void hide() = 0;
    // Back to the default place (bottom centre), at once when visible; that place is saved.
    virtual void setDefaultPosition() {}
};

class MainWindowPresenter {
public:
    virtual ~MainWindowPresenter() = default;
    // Activates the program and raises its first window that is not a floating panel.
    virtual void bringForward() = 0;
};

// The cancel shortcut exists only while something can be cancelled.
class CancelShortcutControl {
public:
    virtual ~CancelShortcutControl() = default;
    virtual void registerCancelHotKey() = 0;
    virtual void unregisterCancelHotKey() = 0;
};
