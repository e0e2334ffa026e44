#pragma once

#include "platform/HotKeyBackend.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <map>
#include <optional>
#include <set>

class QDBusArgument;

// One element of the portal's a(sa{sv}) shortcut lists.
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};
Q_DECLARE_METATYPE(PortalShortcut)
QDBusArgument &operator<<(QDBusArgument &argument, const PortalShortcut &shortcut);
const QDBusArgument &operator>>(const QDBusArgument &argument, PortalShortcut &shortcut);

// Global shortcuts through the desktop portal, for Wayland sessions where no client may grab
// keys. The desktop owns the triggers: ours are only preferences the user may change there.
class PortalHotKeyBackend final : public QObject, public HotKeyBackend {
    Q_OBJECT

public:
    explicit PortalHotKeyBackend(QDBusConnection bus = QDBusConnection::sessionBus(), QObject *parent = nullptr);
    ~PortalHotKeyBackend() override;

    static bool isAvailable(QDBusConnection bus = QDBusConnection::sessionBus());

    // What the desktop's shortcut settings call each identifier.
    void setDescriptions(std::map<uint32_t, QString> descriptions) { m_descriptions = std::move(descriptions); }

    void setHandler(Handler handler) override { m_handler = std::move(handler); }
    // Accepted unless the key has no modifier (function keys aside): the portal answers later,
    // and the user decides the trigger.
    bool registerHotKey(uint32_t identifier, uint16_t keyCode, Modifiers modifiers) override;
    void unregisterHotKey(uint32_t identifier) override;

    // After the desktop answered for the shortcuts.
    bool isBound() const { return m_bound; }
    // What the desktop really bound ("Ctrl+Alt+Space"), empty for a shortcut it gave no key.
    std::optional<QString> desktopTrigger(uint32_t identifier) const override;
    QString lastError() const { return m_lastError; }

    // Names the session, and on KDE the shortcuts' group in the desktop's settings.
    static inline const QString sessionToken = QStringLiteral("orvel_raza");
    // kglobalaccel's allShortcutInfos answer: each action's first active key, empty for none.
    static std::map<QString, QString> kglobalaccelKeys(const QDBusArgument &infos);

    // The trigger in the XDG shortcuts format: "CTRL+ALT+space".
    static QString preferredTrigger(uint16_t keyCode, Modifiers modifiers);
    static QString shortcutId(uint32_t identifier);

signals:
    void bindingFinished(bool ok);

private slots:
    // Activated and Deactivated: (session, shortcut id, timestamp, options).
    void onActivated(const QDBusMessage &signal);
    void onDeactivated(const QDBusMessage &signal);

private:
    struct Entry {
        uint16_t keyCode = 0;
        Modifiers modifiers;
        bool active = false;
    };
    void scheduleBind();
    void bind();
    QList<PortalShortcut> portalShortcuts() const;
    void bindShortcuts();
    void finishBinding(const QVariant &bound);
    void failBinding(const QString &message);
    std::optional<uint32_t> identifierFor(const QDBusMessage &signal) const;

    QDBusConnection m_bus;
    Handler m_handler;
    std::map<uint32_t, QString> m_descriptions;
    // Every shortcut registered so far. One that comes and goes stays bound and is only ignored
    // while unregistered, so the desktop is not asked again.
    std::map<uint32_t, Entry> m_entries;
    std::map<uint32_t, QString> m_triggers;
    QString m_boundKey;  // the set the current session was bound with
    QString m_session;
    bool m_bindScheduled = false;
    bool m_binding = false;
    bool m_bound = false;
    QString m_lastError;
    std::set<uint32_t> m_down;
};
