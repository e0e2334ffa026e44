#pragma once

#include "platform/Result.h"
#include "platform/SecretStore.h"

#include <QString>
#include <QUuid>

#include <optional>

// The API keys of the user's OpenAI-compatible servers: one keyring item per server (its id is
// the account), in any format the server accepts. Nothing else of the program keeps them.
class ModelServerKeyStore {
public:
    static constexpr const char *applicationService = "com.orvel.plus.model-server";

    explicit ModelServerKeyStore(SecretStore &secrets, QString service = QString::fromLatin1(applicationService))
        : m_secrets(secrets), m_service(std::move(service))
    {
    }

    const QString &service() const { return m_service; }
    static QString account(const QUuid &server) { return server.toString(QUuid::WithoutBraces).toUpper(); }

    // The error texts are for the user.
    QCoro::Task<Result<void, QString>> save(QUuid server, QString key);
    // None when the server has no key stored.
    QCoro::Task<Result<std::optional<QString>, QString>> load(QUuid server);
    QCoro::Task<Result<void, QString>> remove(QUuid server);

private:
    SecretStore &m_secrets;
    QString m_service;
};
