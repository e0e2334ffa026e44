#pragma once

#include "app/KeyboardShortcutSetting.h"
#include "components/Components.h"

#include <QIcon>
#include <QString>

class QBoxLayout;
class QFrame;
class QLabel;
class QScrollArea;
class QVBoxLayout;
class QWidget;

// Page-building helpers for the settings and model screens, made of the shared components:
// page heading, titled sections, cards with rows of icon, title, explanation and control, and
// notes. Sizes follow the font.
namespace ScreenLayout {

// An icon for one of the program's symbol names, in the desktop appearance's text colour.
QIcon symbol(const QString &name);
// The shortcut as the desktop writes it.
QString shortcutName(const KeyboardShortcutSetting &shortcut);

// A scrolling page (a ScreenColumn filling the screen); content goes into the returned column.
QVBoxLayout *page(QWidget *screen, QScrollArea **scroll = nullptr);
QWidget *heading(const QString &caption, const QString &title, const QString &subtitle);
QLabel *sectionTitle(const QString &text);
// A rounded card whose rows go into its layout.
CardBackground *card(QVBoxLayout **rows);
// Icon (may be empty), title and explanation (may be empty) on the left, the control on the right.
QWidget *row(const QString &symbolName, const QString &title, const QString &explanation, QWidget *control);
// A short text with an icon in front (when the theme has it); the label goes to `label`.
QWidget *note(const QString &symbolName, const QString &text, QLabel **label = nullptr);
QLabel *caption(const QString &text);
QLabel *wrapping(const QString &text);
// A thin line between the rows of a card.
QFrame *divider();

} // namespace ScreenLayout
