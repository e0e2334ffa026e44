#pragma once

#include "platform/SecretStore.h"

// The keyring through QtKeychain (the Secret Service on a Linux desktop). Never falls back to
// QtKeychain's plain-text storage: without a Secret Service every operation fails with the
// keyring's own message.
class QtKeychainSecretStore final : public SecretStore {
public:
    QCoro::Task<Reply> read(QString service, QString account) override;
    QCoro::Task<Reply> write(QString service, QString account, QByteArray data) override;
    QCoro::Task<Reply> remove(QString service, QString account) override;
};
