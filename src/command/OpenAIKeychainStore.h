#pragma once

#include "platform/Result.h"
#include "platform/SecretStore.h"

#include <QString>

#include <optional>

// Failures of the API key store, with the texts the user sees.
class OpenAIKeychainError {
public:
    enum class Kind { operationFailed, invalidKey };

    static OpenAIKeychainError operationFailed(int status, QString systemMessage = {})
    {
        return {Kind::operationFailed, status, std::move(systemMessage)};
    }
    static OpenAIKeychainError invalidKey() { return {Kind::invalidKey, 0, {}}; }

    Kind kind() const { return m_kind; }
    int status() const { return m_status; }
    QString description() const;
    bool operator==(const OpenAIKeychainError &) const = default;

private:
    OpenAIKeychainError(Kind kind, int status, QString message)
        : m_kind(kind), m_status(status), m_message(std::move(message))
    {
    }
    Kind m_kind;
    int m_status;
    QString m_message; // the keyring's own words for the status, when it gave any
};

// The user's OpenAI API key, kept as one item of the system keyring and nowhere else.
class OpenAIKeychainStore {
public:
    static constexpr const char *applicationService = "com.orvel.plus.openai-api";
    static constexpr const char *applicationAccount = "OPENAI_API_KEY";

    explicit OpenAIKeychainStore(SecretStore &secrets, QString service = QString::fromLatin1(applicationService),
                                 QString account = QString::fromLatin1(applicationAccount))
        : m_secrets(secrets), m_service(std::move(service)), m_account(std::move(account))
    {
    }

    const QString &service() const { return m_service; }
    const QString &account() const { return m_account; }

    // Trimmed; "sk-" first, at least 20 characters, no white space inside.
    static std::optional<QString> validatedKey(const QString &key);

    QCoro::Task<Result<void, OpenAIKeychainError>> save(QString key);
    // None when no key is stored.
    QCoro::Task<Result<std::optional<QString>, OpenAIKeychainError>> load();
    // Removing a key that is not there succeeds.
    QCoro::Task<Result<void, OpenAIKeychainError>> remove();

private:
    SecretStore &m_secrets;
    QString m_service;
    QString m_account;
};
