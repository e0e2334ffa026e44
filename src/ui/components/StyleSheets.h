#pragma once

#include <QFont>
#include <QString>

struct Theme;

// Every style-sheet rule of the main window, in one place. Sizes are derived from the desktop's
// font, so the window follows its font size; roles are the "role" property of the widgets.
namespace StyleSheets {
QString mainWindow(const Theme &theme, const QFont &baseFont);
} // namespace StyleSheets
