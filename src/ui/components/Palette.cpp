#include "Palette.h"

#include <QApplication>
#include <QVariant>
#include <QWidget>

namespace Palette {
QColor orvel() { return QColor::fromRgbF(0.04f, 0.04f, 0.038f); }
QColor orvelSignal() { return QColor::fromRgbF(0.875f, 1.0f, 0.263f); }
QColor orvelPaper() { return QColor::fromRgbF(0.949f, 0.941f, 0.914f); }
QColor orvelError() { return QColor::fromRgbF(0.76f, 0.18f, 0.14f); }
QColor orvelCoral() { return orvelError(); }
} // namespace Palette

Theme Theme::light()
{
    Theme t;
    t.dark = false;
    t.window = Palette::orvelPaper();
    t.sidebar = QColor(233, 231, 223);
    t.card = QColor(255, 255, 252);
    t.cardBorder = QColor(0, 0, 0, 28);
    t.text = Palette::orvel();
    t.secondaryText = QColor(96, 96, 90);
    t.accent = Palette::orvelSignal();
    t.onAccent = Palette::orvel();
    t.selection = QColor(10, 10, 10, 22);
    t.separator = QColor(0, 0, 0, 30);
    return t;
}

Theme Theme::darkTheme()
{
    Theme t;
    t.dark = true;
    t.window = QColor(22, 22, 21);
    t.sidebar = QColor(14, 14, 13);
    t.card = QColor(34, 34, 32);
    t.cardBorder = QColor(255, 255, 255, 24);
    t.text = Palette::orvelPaper();
    t.secondaryText = QColor(168, 166, 158);
    t.accent = Palette::orvelSignal();
    t.onAccent = Palette::orvel();
    t.selection = QColor(255, 255, 255, 26);
    t.separator = QColor(255, 255, 255, 30);
    return t;
}

Theme Theme::from(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightness() < 128 ? darkTheme() : light();
}

Theme Theme::of(const QWidget *widget)
{
    // Style sheets rewrite a widget's own palette (a transparent background reads as black), so
    // the appearance is the one its window chose, else the desktop's.
    const QWidget *window = widget ? widget->window() : nullptr;
    const QVariant chosen = window ? window->property(appearanceProperty) : QVariant();
    if (chosen.isValid())
        return chosen.toBool() ? darkTheme() : light();
    return from(QApplication::palette());
}

QPalette Theme::palette() const
{
    QPalette p;
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, card);
    p.setColor(QPalette::AlternateBase, sidebar);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, card);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::PlaceholderText, secondaryText);
    p.setColor(QPalette::Highlight, accent);
    p.setColor(QPalette::HighlightedText, onAccent);
    // Links read on either surface: the desktop's blue is too dark on the dark cards.
    p.setColor(QPalette::Link, dark ? QColor(0x8a, 0xb4, 0xff) : QColor(0x1a, 0x5f, 0xb4));
    p.setColor(QPalette::LinkVisited, dark ? QColor(0xb8, 0x9c, 0xff) : QColor(0x5a, 0x3d, 0xa8));
    p.setColor(QPalette::ToolTipBase, card);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Disabled, QPalette::WindowText, secondaryText);
    p.setColor(QPalette::Disabled, QPalette::Text, secondaryText);
    p.setColor(QPalette::Disabled, QPalette::ButtonText, secondaryText);
    return p;
}
