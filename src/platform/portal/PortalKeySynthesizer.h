#pragma once

#include "platform/KeySynthesizer.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

// Synthetic keys through the desktop portal's remote-desktop keyboard, where the display server
// takes no XTEST. The user consents once: the portal's restore token is kept for later starts.
class PortalKeySynthesizer final : public QObject, public KeySynthesizer {
    Q_OBJECT

public:
    explicit PortalKeySynthesizer(QDBusConnection bus = QDBusConnection::sessionBus(), QObject *parent = nullptr);
    ~PortalKeySynthesizer() override;

    static bool isAvailable(QDBusConnection bus = QDBusConnection::sessionBus());

    // Where the restore token lives between starts.
    std::function<QString()> loadRestoreToken;
    std::function<void(const QString &)> storeRestoreToken;

    // Keys posted before the session is running are sent once it is; a refused session drops them.
    void postKey(uint16_t keyCode, uint64_t flags) override;

    bool isStarted() const { return m_state == State::started; }
    QString lastError() const { return m_lastError; }

signals:
    void sessionFinished(bool ok);

private:
    enum class State { none, starting, started };
    void startSession();
    void fail(const QString &message);
    void sendKeysym(uint32_t keysym, bool pressed);
    void flush();

    QDBusConnection m_bus;
    State m_state = State::none;
    QString m_session;
    QString m_lastError;
    std::vector<std::pair<uint32_t, bool>> m_queue;
};
