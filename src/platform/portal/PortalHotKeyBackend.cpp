#include "PortalHotKeyBackend.h"

#include "PortalRequest.h"
#include "platform/KeyCodes.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QKeySequence>
#include <QTimer>

#include <xkbcommon/xkbcommon.h>

#include <algorithm>

namespace {

const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

} // namespace

QDBusArgument &operator<<(QDBusArgument &argument, const PortalShortcut &shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, PortalShortcut &shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

namespace {

void registerTypes()
{
    static const bool once = [] {
        qDBusRegisterMetaType<PortalShortcut>();
        qDBusRegisterMetaType<QList<PortalShortcut>>();
        return true;
    }();
    (void)once;
}

} // namespace

PortalHotKeyBackend::PortalHotKeyBackend(QDBusConnection bus, QObject *parent) : QObject(parent), m_bus(std::move(bus))
{
    registerTypes();
    const auto signal = [this](const char *name, const char *slot) {
        if (!m_bus.connect(Portal::service, Portal::path, kInterface, QString::fromLatin1(name), this, slot))
            qWarning("portal: cannot listen to %s", name);
    };
    signal("Activated", SLOT(onActivated(QDBusMessage)));
    signal("Deactivated", SLOT(onDeactivated(QDBusMessage)));
}

PortalHotKeyBackend::~PortalHotKeyBackend() { Portal::closeSession(m_bus, m_session); }

bool PortalHotKeyBackend::isAvailable(QDBusConnection bus) { return Portal::hasInterface(bus, kInterface); }

QString PortalHotKeyBackend::shortcutId(uint32_t identifier)
{
    return QStringLiteral("orvel-%1").arg(identifier & 0xff);
}

QString PortalHotKeyBackend::preferredTrigger(uint16_t keyCode, Modifiers modifiers)
{
    const auto key = KeyCodes::byCode(keyCode);
    if (!key)
        return {};
    char name[64] = {};
    if (xkb_keysym_get_name(key->keysym, name, sizeof name) <= 0)
        return {};
    QStringList parts;
    if (modifiers.control)
        parts << QStringLiteral("CTRL");
    if (modifiers.option)
        parts << QStringLiteral("ALT");
    if (modifiers.shift)
        parts << QStringLiteral("SHIFT");
    if (modifiers.command)
        parts << QStringLiteral("LOGO");
    parts << QString::fromLatin1(name);
    return parts.join(QLatin1Char('+'));
}

bool PortalHotKeyBackend::registerHotKey(uint32_t identifier, uint16_t keyCode, Modifiers modifiers)
{
    // A portal shortcut stays bound for the whole session, and the desktop takes its key from
    // every application: a bare Esc or letter would stop working everywhere else. Function keys
    // are nobody's.
    const auto key = KeyCodes::byCode(keyCode);
    const bool bare = !modifiers.command && !modifiers.option && !modifiers.control && !modifiers.shift;
    if (bare && !(key && key->keysym >= XKB_KEY_F1 && key->keysym <= XKB_KEY_F35))
        return false;
    Entry &entry = m_entries[identifier];
    const bool changed = entry.keyCode != keyCode || !(entry.modifiers == modifiers);
    entry.keyCode = keyCode;
    entry.modifiers = modifiers;
    entry.active = true;
    if (changed)
        scheduleBind();
    return true;
}

void PortalHotKeyBackend::unregisterHotKey(uint32_t identifier)
{
    const auto it = m_entries.find(identifier);
    if (it != m_entries.end())
        it->second.active = false;
}

void PortalHotKeyBackend::scheduleBind()
{
    // Start-up registers every shortcut in one go: the desktop is asked once for all of them.
    if (m_bindScheduled)
        return;
    m_bindScheduled = true;
    QTimer::singleShot(0, this, [this] {
        m_bindScheduled = false;
        bind();
    });
}

void PortalHotKeyBackend::bind()
{
    if (m_binding) {
        // Asked again while the desktop answers: bind once more afterwards.
        scheduleBind();
        return;
    }
    QString key;
    for (const auto &[identifier, entry] : m_entries)
        key += shortcutId(identifier) + QLatin1Char('=') + preferredTrigger(entry.keyCode, entry.modifiers) + QLatin1Char(';');
    if (key == m_boundKey && m_bound)
        return;
    // A session's shortcuts are bound once; a changed set needs a new session.
    Portal::closeSession(m_bus, m_session);
    m_session.clear();
    m_bound = false;
    m_binding = true;
    m_boundKey = key;
    // Plasma 5.27 implements the portal's earlier draft: it registers only the shortcuts given
    // here, answers with them, and BindShortcuts would open System Settings. The final interface
    // ignores this option and binds in BindShortcuts. The session token names the shortcuts'
    // group in KDE's settings, so it stays the same from start to start.
    QVariantMap options{{QStringLiteral("session_handle_token"), sessionToken},
                        {QStringLiteral("shortcuts"), QVariant::fromValue(portalShortcuts())}};
    Portal::call(m_bus, kInterface, QStringLiteral("CreateSession"), {}, options, this,
                 [this](uint response, const QVariantMap &results) {
                     const QString session = results.value(QStringLiteral("session_handle")).toString();
                     if (response != Portal::success || session.isEmpty())
                         return failBinding(results.value(QStringLiteral("error"),
                                                          QStringLiteral("The desktop refused a shortcut session."))
                                                .toString());
                     m_session = session;
                     if (results.contains(QStringLiteral("shortcuts")))
                         return finishBinding(results.value(QStringLiteral("shortcuts")));
                     bindShortcuts();
                 });
}

QList<PortalShortcut> PortalHotKeyBackend::portalShortcuts() const
{
    QList<PortalShortcut> shortcuts;
    for (const auto &[identifier, entry] : m_entries) {
        QVariantMap properties;
        const auto description = m_descriptions.find(identifier & 0xff);
        properties.insert(QStringLiteral("description"),
                          description != m_descriptions.end() ? description->second : shortcutId(identifier));
        const QString trigger = preferredTrigger(entry.keyCode, entry.modifiers);
        if (!trigger.isEmpty())
            properties.insert(QStringLiteral("preferred_trigger"), trigger);
        shortcuts.append({shortcutId(identifier), properties});
    }
    return shortcuts;
}

void PortalHotKeyBackend::bindShortcuts()
{
    const QVariantList arguments{QVariant::fromValue(QDBusObjectPath(m_session)), QVariant::fromValue(portalShortcuts()),
                                 QString()};
    Portal::call(m_bus, kInterface, QStringLiteral("BindShortcuts"), arguments, {}, this,
                 [this](uint response, const QVariantMap &results) {
                     if (response != Portal::success)
                         return failBinding(results.value(QStringLiteral("error"),
                                                          QStringLiteral("The desktop did not bind the shortcuts."))
                                                .toString());
                     finishBinding(results.value(QStringLiteral("shortcuts")));
                 });
}

void PortalHotKeyBackend::finishBinding(const QVariant &bound)
{
    std::map<uint32_t, QString> triggers;
    for (const PortalShortcut &shortcut : qdbus_cast<QList<PortalShortcut>>(bound.value<QDBusArgument>()))
        for (const auto &[identifier, entry] : m_entries)
            if (shortcutId(identifier) == shortcut.id)
                triggers[identifier] = shortcut.properties.value(QStringLiteral("trigger_description")).toString();
    // Plasma describes the trigger it was offered, also when another program holds that key and
    // kglobalaccel gave ours none. kglobalaccel itself knows what is bound.
    QDBusMessage infos = QDBusMessage::createMethodCall(
        QStringLiteral("org.kde.kglobalaccel"), QStringLiteral("/component/") + sessionToken,
        QStringLiteral("org.kde.kglobalaccel.Component"), QStringLiteral("allShortcutInfos"));
    // Asked only where it runs: elsewhere the bus would start one just to answer.
    infos.setAutoStartService(false);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(infos, 3000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, triggers]() mutable {
        watcher->deleteLater();
        const QDBusMessage reply = watcher->reply();
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            const auto keys = kglobalaccelKeys(reply.arguments().constFirst().value<QDBusArgument>());
            for (const auto &[identifier, entry] : m_entries) {
                const auto it = keys.find(shortcutId(identifier));
                if (it != keys.end())
                    triggers[identifier] = it->second;
            }
        }
        m_triggers = std::move(triggers);
        m_binding = false;
        m_bound = true;
        m_lastError.clear();
        emit bindingFinished(true);
        if (onDesktopBindingChanged)
            onDesktopBindingChanged();
    });
}

std::map<QString, QString> PortalHotKeyBackend::kglobalaccelKeys(const QDBusArgument &infos)
{
    // a(ssssssaiai): action, its name, component, its name, context, its name, keys, default keys.
    std::map<QString, QString> out;
    infos.beginArray();
    while (!infos.atEnd()) {
        QString strings[6];
        QList<int> keys, defaults;
        infos.beginStructure();
        for (QString &s : strings)
            infos >> s;
        infos >> keys >> defaults;
        infos.endStructure();
        const auto first = std::find_if(keys.begin(), keys.end(), [](int k) { return k != 0; });
        out[strings[0]] = first == keys.end()
                              ? QString()
                              : QKeySequence(QKeyCombination::fromCombined(*first)).toString(QKeySequence::PortableText);
    }
    infos.endArray();
    return out;
}

void PortalHotKeyBackend::failBinding(const QString &message)
{
    m_binding = false;
    m_bound = false;
    m_boundKey.clear();
    m_triggers.clear();
    m_lastError = message;
    emit bindingFinished(false);
    if (onDesktopBindingChanged)
        onDesktopBindingChanged();
}

std::optional<QString> PortalHotKeyBackend::desktopTrigger(uint32_t identifier) const
{
    if (m_binding || m_bindScheduled || !m_entries.contains(identifier))
        return std::nullopt;
    // Refused altogether: none of them is bound.
    if (!m_bound)
        return m_lastError.isEmpty() ? std::nullopt : std::optional<QString>(QString());
    const auto it = m_triggers.find(identifier);
    return it == m_triggers.end() ? QString() : it->second;
}

std::optional<uint32_t> PortalHotKeyBackend::identifierFor(const QDBusMessage &signal) const
{
    const QVariantList arguments = signal.arguments();
    if (arguments.size() < 2 || arguments[0].value<QDBusObjectPath>().path() != m_session || m_session.isEmpty())
        return std::nullopt;
    const QString id = arguments[1].toString();
    for (const auto &[identifier, entry] : m_entries)
        if (shortcutId(identifier) == id)
            return identifier;
    return std::nullopt;
}

void PortalHotKeyBackend::onActivated(const QDBusMessage &signal)
{
    const auto identifier = identifierFor(signal);
    if (!identifier || !m_entries[*identifier].active || m_down.contains(*identifier))
        return;
    m_down.insert(*identifier);
    if (m_handler)
        m_handler(*identifier, true);
}

void PortalHotKeyBackend::onDeactivated(const QDBusMessage &signal)
{
    const auto identifier = identifierFor(signal);
    // A release follows every press that was reported, so hold-to-talk never sticks.
    if (!identifier || !m_down.erase(*identifier))
        return;
    if (m_handler)
        m_handler(*identifier, false);
}
