#include "app/KeyboardShortcutSetting.h"

#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace {

KeyboardShortcutSetting space(bool option, bool control, bool shift)
{
    KeyboardShortcutSetting s;
    s.keyCode = KeyboardShortcutSetting::spaceKeyCode;
    s.keyLabel = QStringLiteral("Space");
    s.option = option;
    s.control = control;
    s.shift = shift;
    return s;
}

} // namespace

KeyboardShortcutSetting KeyboardShortcutSetting::defaultToggle() { return space(true, false, false); }
KeyboardShortcutSetting KeyboardShortcutSetting::defaultPushToTalk() { return space(true, true, false); }
KeyboardShortcutSetting KeyboardShortcutSetting::defaultAgent() { return space(true, false, true); }
KeyboardShortcutSetting KeyboardShortcutSetting::defaultAgentScreenshot() { return space(true, true, true); }

KeyboardShortcutSetting KeyboardShortcutSetting::defaultCancel()
{
    KeyboardShortcutSetting s;
    s.keyCode = escapeKeyCode;
    s.keyLabel = QStringLiteral("Esc");
    return s;
}

QString KeyboardShortcutSetting::displayName() const
{
    // Linux desktops name a chord the way their own shortcut settings do: "Ctrl+Alt+Space".
    QStringList parts;
    if (control)
        parts << QStringLiteral("Ctrl");
    if (option)
        parts << QStringLiteral("Alt");
    if (shift)
        parts << QStringLiteral("Shift");
    if (command)
        parts << QStringLiteral("Super");
    parts << linuxKeyName(keyCode, keyLabel);
    return parts.join(QLatin1Char('+'));
}

QString linuxKeyName(uint32_t keyCode, const QString &keyLabel)
{
    // The keys whose stored label is a Mac name or an arrow glyph.
    switch (keyCode) {
    case 51: return QStringLiteral("Backspace");
    case 117: return QStringLiteral("Delete");
    case 123: return QStringLiteral("Left");
    case 124: return QStringLiteral("Right");
    case 125: return QStringLiteral("Down");
    case 126: return QStringLiteral("Up");
    default: return keyLabel;
    }
}

QByteArray KeyboardShortcutSetting::toJson() const
{
    QJsonObject o;
    o.insert(QStringLiteral("keyCode"), static_cast<qint64>(keyCode));
    o.insert(QStringLiteral("keyLabel"), keyLabel);
    o.insert(QStringLiteral("command"), command);
    o.insert(QStringLiteral("option"), option);
    o.insert(QStringLiteral("control"), control);
    o.insert(QStringLiteral("shift"), shift);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<KeyboardShortcutSetting> KeyboardShortcutSetting::fromJson(const QByteArray &data)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject o = doc.object();
    const QJsonValue code = o.value(QStringLiteral("keyCode"));
    if (!code.isDouble())
        return std::nullopt;
    const double number = code.toDouble();
    // An unsigned 32-bit integer, nothing else.
    if (number < 0 || number > 4294967295.0 || number != static_cast<double>(static_cast<uint64_t>(number)))
        return std::nullopt;
    const QJsonValue label = o.value(QStringLiteral("keyLabel"));
    if (!label.isString())
        return std::nullopt;
    KeyboardShortcutSetting s;
    s.keyCode = static_cast<uint32_t>(number);
    s.keyLabel = label.toString();
    for (auto [key, field] : {std::pair{"command", &s.command}, std::pair{"option", &s.option},
                              std::pair{"control", &s.control}, std::pair{"shift", &s.shift}}) {
        const QJsonValue v = o.value(QLatin1String(key));
        if (!v.isBool())
            return std::nullopt;
        *field = v.toBool();
    }
    return s;
}

QList<KeyboardShortcutSetting> KeyboardShortcutSetting::conflicts(const QList<KeyboardShortcutSetting> &shortcuts)
{
    QList<KeyboardShortcutSetting> result;
    for (qsizetype i = 0; i < shortcuts.size(); ++i) {
        if (result.contains(shortcuts[i]))
            continue;
        if (shortcuts.indexOf(shortcuts[i], i + 1) >= 0)
            result << shortcuts[i];
    }
    return result;
}

size_t qHash(const KeyboardShortcutSetting &s, size_t seed)
{
    return qHashMulti(seed, s.keyCode, s.keyLabel, s.command, s.option, s.control, s.shift);
}

QString shortcutKeyLabel(uint32_t keyCode, const QString &charactersIgnoringModifiers)
{
    switch (keyCode) {
    case 36: return QStringLiteral("Return");
    case 48: return QStringLiteral("Tab");
    case 49: return QStringLiteral("Space");
    case 51: return QStringLiteral("Delete");
    case 53: return QStringLiteral("Esc");
    case 76: return QStringLiteral("Enter");
    case 115: return QStringLiteral("Home");
    case 116: return QStringLiteral("Page Up");
    case 117: return QStringLiteral("Forward Delete");
    case 119: return QStringLiteral("End");
    case 121: return QStringLiteral("Page Down");
    case 123: return QStringLiteral("←");
    case 124: return QStringLiteral("→");
    case 125: return QStringLiteral("↓");
    case 126: return QStringLiteral("↑");
    default: break;
    }
    const QString label = charactersIgnoringModifiers.trimmed().toUpper();
    if (!label.isEmpty())
        return label;
    return QStringLiteral("Key ") + QString::number(keyCode);
}
