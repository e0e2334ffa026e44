#pragma once

#include <QColor>
#include <QPalette>

class QWidget;

// The product colours (sRGB, opaque). The accent is orvelSignal.
namespace Palette {
QColor orvel();
QColor orvelSignal();
QColor orvelPaper();
QColor orvelError();
QColor orvelCoral();
} // namespace Palette

// The surfaces and text colours of one appearance. Dark follows the desktop: a dark window
// colour in the application palette means the dark appearance.
struct Theme {
    bool dark = false;
    QColor window;
    QColor sidebar;
    QColor card;
    QColor cardBorder;
    QColor text;
    QColor secondaryText;
    QColor accent;
    // Text drawn on an accent fill.
    QColor onAccent;
    QColor selection;
    QColor separator;

    static Theme light();
    static Theme darkTheme();
    static Theme from(const QPalette &palette);
    // The appearance of the widget's window (its "orvelDark" property), else the desktop's.
    static Theme of(const QWidget *widget);
    static constexpr const char *appearanceProperty = "orvelDark";
    // The application palette that goes with this appearance (for widgets that use the style).
    QPalette palette() const;
};
