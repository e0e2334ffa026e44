#include "OpenAIKeychainStore.h"

#include <QStringDecoder>

QString OpenAIKeychainError::description() const
{
    if (m_kind == Kind::invalidKey)
        return QStringLiteral("Enter a valid OpenAI API key beginning with sk-.");
    if (m_message.isEmpty())
        return QStringLiteral("The OpenAI API key could not be updated in Keychain.");
    return QStringLiteral("The OpenAI API key could not be updated in Keychain: ") + m_message;
}

std::optional<QString> OpenAIKeychainStore::validatedKey(const QString &key)
{
    const QString trimmed = key.trimmed();
    if (!trimmed.startsWith(QLatin1String("sk-")) || trimmed.size() < 20)
        return std::nullopt;
    for (const QChar c : trimmed)
        if (c.isSpace())
            return std::nullopt;
    return trimmed;
}

QCoro::Task<Result<void, OpenAIKeychainError>> OpenAIKeychainStore::save(QString key)
{
    const std::optional<QString> valid = validatedKey(key);
    if (!valid)
        co_return OpenAIKeychainError::invalidKey();
    // The port updates the item in place when it exists and adds it otherwise.
    QCoro::Task<SecretStore::Reply> writing = m_secrets.write(m_service, m_account, valid->toUtf8());
    const SecretStore::Reply reply = co_await writing;
    if (reply.status != SecretStore::statusSuccess)
        co_return OpenAIKeychainError::operationFailed(reply.status, reply.message);
    co_return {};
}

QCoro::Task<Result<std::optional<QString>, OpenAIKeychainError>> OpenAIKeychainStore::load()
{
    QCoro::Task<SecretStore::Reply> reading = m_secrets.read(m_service, m_account);
    const SecretStore::Reply reply = co_await reading;
    if (reply.status == SecretStore::statusItemNotFound)
        co_return std::optional<QString>();
    if (reply.status != SecretStore::statusSuccess)
        co_return OpenAIKeychainError::operationFailed(reply.status, reply.message);
    auto decoder = QStringDecoder(QStringDecoder::Utf8);
    const QString key = decoder(reply.data);
    if (decoder.hasError() || key.isEmpty())
        co_return OpenAIKeychainError::operationFailed(SecretStore::statusSuccess);
    co_return std::optional<QString>(key);
}

QCoro::Task<Result<void, OpenAIKeychainError>> OpenAIKeychainStore::remove()
{
    QCoro::Task<SecretStore::Reply> removing = m_secrets.remove(m_service, m_account);
    const SecretStore::Reply reply = co_await removing;
    if (reply.status != SecretStore::statusSuccess && reply.status != SecretStore::statusItemNotFound)
        co_return OpenAIKeychainError::operationFailed(reply.status, reply.message);
    co_return {};
}
