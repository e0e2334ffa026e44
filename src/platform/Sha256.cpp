#include "platform/Sha256.h"

#include <QFile>

#include <openssl/evp.h>

struct Sha256::State {
    EVP_MD_CTX *context = EVP_MD_CTX_new();
    ~State() { EVP_MD_CTX_free(context); }
};

Sha256::Sha256() : m_state(std::make_unique<State>())
{
    // Only an allocation failure can make these fail; the digest then comes out empty.
    if (m_state->context)
        EVP_DigestInit_ex(m_state->context, EVP_sha256(), nullptr);
}

Sha256::~Sha256() = default;

void Sha256::update(const char *data, qsizetype size)
{
    if (m_state->context && size > 0)
        EVP_DigestUpdate(m_state->context, data, size_t(size));
}

QString Sha256::finalHex()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (!m_state->context || EVP_DigestFinal_ex(m_state->context, digest, &length) != 1)
        return {};
    EVP_DigestInit_ex(m_state->context, EVP_sha256(), nullptr);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(digest), int(length)).toHex());
}

Result<QString, QString> Sha256::ofFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Result<QString, QString>::failure(QStringLiteral("“%1” could not be read: %2").arg(path, file.errorString()));
    Sha256 hash;
    constexpr qint64 chunk = 1048576;
    QByteArray buffer(chunk, Qt::Uninitialized);
    for (;;) {
        const qint64 n = file.read(buffer.data(), chunk);
        if (n < 0)
            return Result<QString, QString>::failure(QStringLiteral("“%1” could not be read: %2").arg(path, file.errorString()));
        if (n == 0)
            break;
        hash.update(buffer.constData(), n);
    }
    return hash.finalHex();
}
