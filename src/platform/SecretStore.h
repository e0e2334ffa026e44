#pragma once

#include <QByteArray>
#include <QString>

#include <qcoro/qcorotask.h>

// Generic-password items of the system keyring. Statuses follow the classic keychain codes.
class SecretStore {
public:
    static constexpr int statusSuccess = 0;
    static constexpr int statusItemNotFound = -25300;
    static constexpr int statusDuplicateItem = -25299;

    struct Reply {
        int status = statusSuccess;
        QByteArray data;     // read only
        QString message;     // the keyring's own words when status is a failure
    };

    virtual ~SecretStore() = default;
    virtual QCoro::Task<Reply> read(QString service, QString account) = 0;
    // Adds the item, or updates it when it exists.
    virtual QCoro::Task<Reply> write(QString service, QString account, QByteArray data) = 0;
    virtual QCoro::Task<Reply> remove(QString service, QString account) = 0;
};
