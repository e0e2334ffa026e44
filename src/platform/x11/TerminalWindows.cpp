#include "TerminalWindows.h"

#include <QSet>

bool isTerminalWindowClass(const QString &windowClass)
{
    static const QSet<QString> terminals = {
        QStringLiteral("xterm"),          QStringLiteral("uxterm"),     QStringLiteral("gnome-terminal"),
        QStringLiteral("gnome-terminal-server"), QStringLiteral("konsole"), QStringLiteral("xfce4-terminal"),
        QStringLiteral("mate-terminal"),  QStringLiteral("lxterminal"), QStringLiteral("qterminal"),
        QStringLiteral("terminator"),     QStringLiteral("tilix"),      QStringLiteral("alacritty"),
        QStringLiteral("kitty"),          QStringLiteral("urxvt"),      QStringLiteral("rxvt"),
        QStringLiteral("st"),             QStringLiteral("st-256color"), QStringLiteral("wezterm"),
        QStringLiteral("org.wezfurlong.wezterm"), QStringLiteral("foot"), QStringLiteral("terminology"),
        QStringLiteral("sakura"),         QStringLiteral("guake"),      QStringLiteral("tilda"),
        QStringLiteral("cool-retro-term"), QStringLiteral("ptyxis"),    QStringLiteral("org.gnome.ptyxis"),
        QStringLiteral("org.gnome.console"), QStringLiteral("kgx"),     QStringLiteral("x-terminal-emulator"),
    };
    return terminals.contains(windowClass.toLower());
}
