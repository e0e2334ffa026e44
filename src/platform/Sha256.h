#pragma once

#include "platform/Result.h"

#include <QByteArray>
#include <QString>

#include <memory>

// SHA-256 through OpenSSL's libcrypto, which uses the processor's SHA instructions where they exist.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256 &) = delete;
    Sha256 &operator=(const Sha256 &) = delete;

    void update(const char *data, qsizetype size);
    void update(const QByteArray &bytes) { update(bytes.constData(), bytes.size()); }
    // 64 lower-case hexadecimal characters; the hash starts over afterwards.
    QString finalHex();

    // Streams the file in 1 MiB chunks; the error text names the file and the reason.
    static Result<QString, QString> ofFile(const QString &path);

private:
    struct State;
    std::unique_ptr<State> m_state;
};
