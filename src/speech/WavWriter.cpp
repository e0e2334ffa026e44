#include "WavWriter.h"

#include <QtEndian>

#include <algorithm>

namespace {

void put32(QByteArray &b, quint32 v)
{
    char bytes[4];
    qToLittleEndian(v, bytes);
    b.append(bytes, 4);
}

void put16(QByteArray &b, quint16 v)
{
    char bytes[2];
    qToLittleEndian(v, bytes);
    b.append(bytes, 2);
}

constexpr quint32 kRate = 16000;
constexpr quint16 kChannels = 1;
constexpr quint16 kBits = 16;

} // namespace

QByteArray WavWriter::header(quint32 dataBytes)
{
    QByteArray h;
    h.reserve(headerSize);
    h.append("RIFF", 4);
    put32(h, 36 + dataBytes);
    h.append("WAVE", 4);
    h.append("fmt ", 4);
    put32(h, 16);
    put16(h, 1); // linear PCM
    put16(h, kChannels);
    put32(h, kRate);
    put32(h, kRate * kChannels * kBits / 8);
    put16(h, kChannels * kBits / 8);
    put16(h, kBits);
    h.append("data", 4);
    put32(h, dataBytes);
    return h;
}

Result<void, QString> WavWriter::open(const QString &path)
{
    m_file.setFileName(path);
    m_dataBytes = 0;
    m_writeFailed = false;
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QStringLiteral("The recording file could not be created: %1").arg(m_file.errorString());
    if (m_file.write(header(0)) != headerSize) {
        const QString message = m_file.errorString();
        discard();
        return QStringLiteral("The recording file could not be written: %1").arg(message);
    }
    return {};
}

void WavWriter::append(const QByteArray &pcm)
{
    if (!m_file.isOpen() || pcm.isEmpty() || m_writeFailed)
        return;
    // Only whole samples count, so the header never claims a byte the file does not hold.
    const qint64 written = m_file.write(pcm);
    if (written != pcm.size())
        m_writeFailed = true;
    if (written > 0)
        m_dataBytes += written - (written % 2);
}

Result<void, QString> WavWriter::finish()
{
    if (!m_file.isOpen())
        return QStringLiteral("The recording file is not open.");
    // RIFF sizes are 32-bit; longer takes (over 37 hours) are cut at the limit.
    const quint32 data = quint32(std::min<qint64>(m_dataBytes, 0xFFFFFFFFLL - 36 - 1) & ~1LL);
    bool ok = m_file.resize(headerSize + data) && m_file.seek(0) && m_file.write(header(data)) == headerSize;
    ok = m_file.flush() && ok;
    m_file.close();
    if (!ok || m_writeFailed)
        return QStringLiteral("The recording file could not be written completely.");
    return {};
}

void WavWriter::discard()
{
    if (m_file.isOpen())
        m_file.close();
    m_file.remove();
}
