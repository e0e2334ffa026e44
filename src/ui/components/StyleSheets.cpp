#include "StyleSheets.h"

#include "Palette.h"

namespace {
QString rgba(const QColor &c)
{
    return QStringLiteral("rgba(%1,%2,%3,%4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alphaF(), 0, 'f', 3);
}
} // namespace

namespace StyleSheets {

QString mainWindow(const Theme &t, const QFont &baseFont)
{
    const qreal base = baseFont.pointSizeF() > 0 ? baseFont.pointSizeF() : 10.0;
    auto pt = [base](qreal factor) { return QString::number(base * factor, 'f', 1) + QStringLiteral("pt"); };
    QColor accentSoft = t.accent;
    accentSoft.setAlphaF(t.dark ? 0.16f : 0.55f);
    QColor pressed = t.accent.darker(115);
    QColor quietHover = t.selection;
    QColor disabledFill = t.secondaryText;
    disabledFill.setAlphaF(0.25f);

    QString s;
    s += QStringLiteral("QWidget#windowRoot, QWidget#content, QScrollArea, QScrollArea > QWidget > QWidget#screen { background: %1; }\n")
             .arg(rgba(t.window));
    s += QStringLiteral("QWidget { color: %1; }\n").arg(rgba(t.text));
    s += QStringLiteral("QWidget#sidebar { background: %1; }\n").arg(rgba(t.sidebar));
    s += QStringLiteral("QLabel[role=\"brandName\"] { font-size: %1; font-weight: 700; }\n").arg(pt(1.15));
    s += QStringLiteral("QLabel[role=\"eyebrow\"] { color: %1; font-size: %2; font-weight: 600; letter-spacing: 1px; }\n")
             .arg(rgba(t.secondaryText), pt(0.8));
    s += QStringLiteral("QLabel[role=\"brandCaption\"] { color: %1; font-size: %2; font-weight: 600; }\n")
             .arg(rgba(t.secondaryText), pt(0.72));
    s += QStringLiteral("QLabel[role=\"title\"] { font-size: %1; font-weight: 700; }\n").arg(pt(2.0));
    s += QStringLiteral("QLabel[role=\"hero\"] { font-size: %1; font-weight: 800; }\n").arg(pt(3.2));
    s += QStringLiteral("QLabel[role=\"subtitle\"], QLabel[role=\"secondary\"], QLabel[role=\"hint\"] { color: %1; }\n")
             .arg(rgba(t.secondaryText));
    s += QStringLiteral("QLabel[role=\"hint\"] { font-size: %1; }\n").arg(pt(0.9));
    s += QStringLiteral("QLabel[role=\"heading\"] { font-size: %1; font-weight: 700; }\n").arg(pt(1.3));
    s += QStringLiteral("QLabel[role=\"statValue\"] { font-size: %1; font-weight: 700; }\n").arg(pt(1.25));
    s += QStringLiteral("QLabel[role=\"stepNumber\"] { color: %1; font-size: %2; font-weight: 700; }\n")
             .arg(rgba(t.secondaryText), pt(1.1));
    s += QStringLiteral("QLabel[role=\"error\"] { color: %1; }\n").arg(rgba(Palette::orvelError()));
    s += QStringLiteral("QLabel[role=\"badge\"] { background: %1; color: %2; border-radius: 9px; padding: 3px 10px; font-size: %3; font-weight: 700; }\n")
             .arg(rgba(accentSoft), rgba(t.dark ? t.accent : t.text), pt(0.8));
    s += QStringLiteral("QLabel[role=\"plainBadge\"] { background: %1; color: %2; border-radius: 9px; padding: 3px 10px; font-size: %3; font-weight: 700; }\n")
             .arg(rgba(t.selection), rgba(t.secondaryText), pt(0.8));
    s += QStringLiteral("QLabel[role=\"keyHint\"] { background: %1; border: 1px solid %2; border-radius: 8px; padding: 6px 10px; }\n")
             .arg(rgba(t.card), rgba(t.cardBorder));

    // Buttons: a plain button looks like a quiet one; the roles below are more specific.
    s += QStringLiteral("QPushButton { background: %1; border: 1px solid %2; border-radius: 8px; padding: 5px 12px; }\n")
             .arg(rgba(t.card), rgba(t.cardBorder));
    s += QStringLiteral("QPushButton:hover { background: %1; }\n").arg(rgba(quietHover));
    s += QStringLiteral("QPushButton:focus { border: 1px solid %1; }\n").arg(rgba(t.dark ? t.accent : t.text));
    s += QStringLiteral("QPushButton:disabled { color: %1; }\n").arg(rgba(t.secondaryText));
    s += QStringLiteral("QPushButton[role=\"primary\"] { background: %1; color: %2; border: none; border-radius: 10px; padding: 9px 18px; font-weight: 700; }\n")
             .arg(rgba(t.accent), rgba(t.onAccent));
    s += QStringLiteral("QPushButton[role=\"primary\"]:hover { background: %1; }\n").arg(rgba(t.accent.lighter(106)));
    s += QStringLiteral("QPushButton[role=\"primary\"]:pressed { background: %1; }\n").arg(rgba(pressed));
    s += QStringLiteral("QPushButton[role=\"primary\"]:disabled { background: %1; color: %2; }\n")
             .arg(rgba(disabledFill), rgba(t.secondaryText));
    s += QStringLiteral("QPushButton[role=\"primary\"]:focus, QPushButton[role=\"quiet\"]:focus { outline: none; border: 2px solid %1; }\n")
             .arg(rgba(t.dark ? t.accent : t.text));
    s += QStringLiteral("QPushButton[role=\"quiet\"] { background: transparent; border: 1px solid %1; border-radius: 9px; padding: 6px 12px; }\n")
             .arg(rgba(t.cardBorder));
    s += QStringLiteral("QPushButton[role=\"quiet\"]:hover { background: %1; }\n").arg(rgba(quietHover));
    s += QStringLiteral("QPushButton[role=\"quiet\"]:disabled { color: %1; }\n").arg(rgba(t.secondaryText));
    s += QStringLiteral("QPushButton[role=\"icon\"] { background: transparent; border: none; border-radius: 6px; padding: 4px; }\n");
    s += QStringLiteral("QPushButton[role=\"icon\"]:hover, QPushButton[role=\"icon\"]:focus { background: %1; }\n").arg(rgba(quietHover));

    // Sidebar rows
    s += QStringLiteral("QPushButton[role=\"sidebarRow\"] { text-align: left; background: transparent; border: none; border-radius: 9px; padding: 8px 10px; }\n");
    s += QStringLiteral("QPushButton[role=\"sidebarRow\"]:hover { background: %1; }\n").arg(rgba(t.selection));
    s += QStringLiteral("QPushButton[role=\"sidebarRow\"]:checked { background: %1; color: %2; font-weight: 700; }\n")
             .arg(rgba(t.accent), rgba(t.onAccent));
    s += QStringLiteral("QPushButton[role=\"sidebarRow\"]:focus { border: 1px solid %1; }\n").arg(rgba(t.dark ? t.accent : t.text));

    // Segmented picker
    s += QStringLiteral("QPushButton[role=\"segment\"] { background: %1; border: 1px solid %2; padding: 6px 12px; }\n")
             .arg(rgba(t.card), rgba(t.cardBorder));
    s += QStringLiteral("QPushButton[role=\"segment\"]:checked { background: %1; color: %2; font-weight: 700; }\n")
             .arg(rgba(t.accent), rgba(t.onAccent));
    s += QStringLiteral("QPushButton[role=\"segment\"][segment=\"first\"] { border-radius: 0; border-top-left-radius: 8px; border-bottom-left-radius: 8px; }\n");
    s += QStringLiteral("QPushButton[role=\"segment\"][segment=\"last\"] { border-radius: 0; border-top-right-radius: 8px; border-bottom-right-radius: 8px; border-left: none; }\n");
    s += QStringLiteral("QPushButton[role=\"segment\"]:focus { border: 1px solid %1; }\n").arg(rgba(t.dark ? t.accent : t.text));

    // A shortcut another program holds: red text on the button's own surface; on dark a lighter
    // red on a red-tinted card, so it neither glares nor drowns.
    if (t.dark) {
        QColor takenFill = Palette::orvelError();
        takenFill.setAlphaF(0.22f);
        s += QStringLiteral("QPushButton[taken=\"true\"] { color: %1; background: %2; border: 1px solid %3; }\n")
                 .arg(rgba(QColor(0xff, 0x8a, 0x7a)), rgba(takenFill), rgba(Palette::orvelError()));
    } else {
        s += QStringLiteral("QPushButton[taken=\"true\"] { color: #d9483b; }\n");
    }

    // Inputs and lists
    s += QStringLiteral("QLineEdit { background: %1; border: 1px solid %2; border-radius: 9px; padding: 6px 10px; selection-background-color: %3; selection-color: %4; }\n")
             .arg(rgba(t.card), rgba(t.cardBorder), rgba(t.accent), rgba(t.onAccent));
    s += QStringLiteral("QLineEdit:focus { border: 1px solid %1; }\n").arg(rgba(t.dark ? t.accent : t.text));
    s += QStringLiteral("QPlainTextEdit, QTextEdit { background: %1; border: 1px solid %2; border-radius: 9px; padding: 4px; selection-background-color: %3; selection-color: %4; }\n")
             .arg(rgba(t.card), rgba(t.cardBorder), rgba(t.accent), rgba(t.onAccent));
    s += QStringLiteral("QPlainTextEdit:focus, QTextEdit:focus { border: 1px solid %1; }\n").arg(rgba(t.dark ? t.accent : t.text));
    s += QStringLiteral("QFrame[role=\"divider\"] { background: %1; border: none; }\n").arg(rgba(t.separator));
    s += QStringLiteral("QLabel[role=\"rowTitle\"] { font-weight: 600; }\n");
    // Slim scroll bars without arrow buttons.
    QColor handle = t.secondaryText;
    handle.setAlphaF(0.45f);
    s += QStringLiteral("QScrollBar:vertical { background: transparent; width: 10px; margin: 2px; }\n");
    s += QStringLiteral("QScrollBar::handle:vertical { background: %1; border-radius: 3px; min-height: 32px; }\n").arg(rgba(handle));
    s += QStringLiteral("QScrollBar::add-line, QScrollBar::sub-line { height: 0; width: 0; }\n");
    s += QStringLiteral("QScrollBar::add-page, QScrollBar::sub-page { background: transparent; }\n");
    s += QStringLiteral("QListView { background: transparent; border: none; outline: none; }\n");
    s += QStringLiteral("QProgressBar { background: %1; border: none; border-radius: 3px; max-height: 6px; }\n").arg(rgba(t.selection));
    s += QStringLiteral("QProgressBar::chunk { background: %1; border-radius: 3px; }\n").arg(rgba(t.dark ? t.accent : t.text));
    s += QStringLiteral("QScrollArea { border: none; }\n");
    return s;
}

} // namespace StyleSheets
