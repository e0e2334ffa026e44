#pragma once

class AppState;
class QWidget;

// Where the desktop binds the global shortcuts itself (the portal), the keys it really bound;
// where it grants none (most Wayland sessions without the portal), the commands the user can
// bind in the desktop's own keyboard settings, each with a copy button. Hidden while there is
// nothing to say; kept up to date as the desktop answers.
QWidget *makeDesktopShortcutCommands(AppState &state);
