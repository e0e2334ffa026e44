#pragma once

class AppState;
class QWidget;

// Where the desktop grants no global shortcuts (most Wayland sessions without the portal), the
// commands the user can bind in the desktop's own keyboard settings, each with a copy button.
// Nothing when every shortcut is registered.
QWidget *makeDesktopShortcutCommands(AppState &state);
