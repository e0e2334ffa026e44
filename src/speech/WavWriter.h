#pragma once

#include "platform/Result.h"

#include <QByteArray>
#include <QFile>
#include <QString>

// A 16 kHz mono 16-bit PCM WAV file. The header is written with zero sizes first and patched
// with the real ones by finish().
class WavWriter {
public:
    static constexpr int headerSize = 44;

    Result<void, QString> open(const QString &path);
    void append(const QByteArray &pcm);
    // Patches the sizes and closes the file.
    Result<void, QString> finish();
    void discard();

    qint64 dataBytes() const { return m_dataBytes; }
    bool isOpen() const { return m_file.isOpen(); }

    static QByteArray header(quint32 dataBytes);

private:
    QFile m_file;
    qint64 m_dataBytes = 0;
    bool m_writeFailed = false;
};
