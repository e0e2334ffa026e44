#include "ModelServerKeyStore.h"

namespace {

QString failure(const char *what, const SecretStore::Reply &reply)
{
    QString text = QStringLiteral("The server's API key could not be %1 the system keyring").arg(QLatin1String(what));
    return reply.message.isEmpty() ? text + QLatin1Char('.') : text + QStringLiteral(": ") + reply.message;
}

} // namespace

QCoro::Task<Result<void, QString>> ModelServerKeyStore::save(QUuid server, QString key)
{
    const QString trimmed = key.trimmed();
    if (trimmed.isEmpty() || trimmed.contains(QLatin1Char('\n')) || trimmed.contains(QLatin1Char('\r')))
        co_return QStringLiteral("Enter the API key on one line, or leave the field empty for a server without one.");
    QCoro::Task<SecretStore::Reply> writing = m_secrets.write(m_service, account(server), trimmed.toUtf8());
    const SecretStore::Reply reply = co_await writing;
    if (reply.status != SecretStore::statusSuccess)
        co_return failure("saved in", reply);
    co_return {};
}

QCoro::Task<Result<std::optional<QString>, QString>> ModelServerKeyStore::load(QUuid server)
{
    QCoro::Task<SecretStore::Reply> reading = m_secrets.read(m_service, account(server));
    const SecretStore::Reply reply = co_await reading;
    if (reply.status == SecretStore::statusItemNotFound)
        co_return std::optional<QString>();
    if (reply.status != SecretStore::statusSuccess)
        co_return failure("read from", reply);
    const QString key = QString::fromUtf8(reply.data);
    if (key.isEmpty())
        co_return std::optional<QString>();
    co_return std::optional<QString>(key);
}

QCoro::Task<Result<void, QString>> ModelServerKeyStore::remove(QUuid server)
{
    QCoro::Task<SecretStore::Reply> removing = m_secrets.remove(m_service, account(server));
    const SecretStore::Reply reply = co_await removing;
    if (reply.status != SecretStore::statusSuccess && reply.status != SecretStore::statusItemNotFound)
        co_return failure("removed from", reply);
    co_return {};
}
