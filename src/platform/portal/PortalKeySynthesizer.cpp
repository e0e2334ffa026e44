#include "PortalKeySynthesizer.h"

#include "PortalRequest.h"
#include "platform/KeyCodes.h"

#include <QDBusObjectPath>
#include <QDBusPendingCall>

namespace {

const QString kInterface = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
constexpr uint kKeyboard = 1;
// Kept until the user revokes it, so later starts need no new consent.
constexpr uint kPersistUntilRevoked = 2;

constexpr uint32_t kControl = 0xffe3, kShift = 0xffe1, kAlt = 0xffe9;

} // namespace

PortalKeySynthesizer::PortalKeySynthesizer(QDBusConnection bus, QObject *parent) : QObject(parent), m_bus(std::move(bus)) {}

PortalKeySynthesizer::~PortalKeySynthesizer() { Portal::closeSession(m_bus, m_session); }

bool PortalKeySynthesizer::isAvailable(QDBusConnection bus) { return Portal::hasInterface(bus, kInterface); }

void PortalKeySynthesizer::postKey(uint16_t keyCode, uint64_t flags)
{
    const auto key = KeyCodes::byCode(keyCode);
    if (!key)
        return;
    std::vector<uint32_t> modifiers;
    if (flags & (commandFlag | controlFlag))
        modifiers.push_back(kControl);
    if (flags & shiftFlag)
        modifiers.push_back(kShift);
    if (flags & optionFlag)
        modifiers.push_back(kAlt);
    for (uint32_t m : modifiers)
        m_queue.emplace_back(m, true);
    m_queue.emplace_back(key->keysym, true);
    m_queue.emplace_back(key->keysym, false);
    for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it)
        m_queue.emplace_back(*it, false);
    if (m_state == State::started)
        flush();
    else if (m_state == State::none)
        startSession();
}

void PortalKeySynthesizer::startSession()
{
    m_state = State::starting;
    const QVariantMap options{{QStringLiteral("session_handle_token"), Portal::newToken()}};
    Portal::call(m_bus, kInterface, QStringLiteral("CreateSession"), {}, options, this,
                 [this](uint response, const QVariantMap &results) {
                     m_session = results.value(QStringLiteral("session_handle")).toString();
                     if (response != Portal::success || m_session.isEmpty())
                         return fail(QStringLiteral("The desktop refused a remote keyboard session."));
                     QVariantMap select{{QStringLiteral("types"), kKeyboard},
                                        {QStringLiteral("persist_mode"), kPersistUntilRevoked}};
                     const QString token = loadRestoreToken ? loadRestoreToken() : QString();
                     if (!token.isEmpty())
                         select.insert(QStringLiteral("restore_token"), token);
                     const QVariantList session{QVariant::fromValue(QDBusObjectPath(m_session))};
                     Portal::call(m_bus, kInterface, QStringLiteral("SelectDevices"), session, select, this,
                                  [this, session](uint response, const QVariantMap &) {
                                      if (response != Portal::success)
                                          return fail(QStringLiteral("The desktop gave no keyboard."));
                                      Portal::call(m_bus, kInterface, QStringLiteral("Start"), session + QVariantList{QString()},
                                                   {}, this, [this](uint response, const QVariantMap &results) {
                                                       if (response != Portal::success)
                                                           return fail(QStringLiteral("Keyboard access was not allowed."));
                                                       const QString token =
                                                           results.value(QStringLiteral("restore_token")).toString();
                                                       if (!token.isEmpty() && storeRestoreToken)
                                                           storeRestoreToken(token);
                                                       m_state = State::started;
                                                       flush();
                                                       emit sessionFinished(true);
                                                   });
                                  });
                 });
}

void PortalKeySynthesizer::fail(const QString &message)
{
    Portal::closeSession(m_bus, m_session);
    m_session.clear();
    m_state = State::none;
    m_lastError = message;
    // Keys for a session that never came must not arrive much later in some other window.
    m_queue.clear();
    emit sessionFinished(false);
}

void PortalKeySynthesizer::flush()
{
    for (const auto &[keysym, pressed] : m_queue)
        sendKeysym(keysym, pressed);
    m_queue.clear();
}

void PortalKeySynthesizer::sendKeysym(uint32_t keysym, bool pressed)
{
    QDBusMessage message = QDBusMessage::createMethodCall(Portal::service, Portal::path, kInterface,
                                                          QStringLiteral("NotifyKeyboardKeysym"));
    message << QVariant::fromValue(QDBusObjectPath(m_session)) << QVariantMap() << int(keysym) << uint(pressed ? 1 : 0);
    // Sent in order on one connection, so the chord arrives as posted.
    m_bus.asyncCall(message);
}
