#pragma once

#include <QString>

// Terminals take Ctrl+Shift+V and Ctrl+Shift+C: Ctrl+C would interrupt the program running in
// them. Known by the class part of WM_CLASS.
bool isTerminalWindowClass(const QString &windowClass);
