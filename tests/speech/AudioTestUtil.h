#pragma once

// Signal helpers for the recorder tests: tone files, WAV parsing and single-frequency power.

#include "speech/WavWriter.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtEndian>

#include <cmath>
#include <numbers>
#include <vector>

namespace audiotest {

struct Wav {
    quint16 format = 0, channels = 0, bits = 0;
    quint32 rate = 0, riffSize = 0, dataSize = 0;
    qint64 fileSize = 0;
    std::vector<double> samples; // mono, −1…1
};

inline Wav readWav(const QString &path)
{
    Wav w;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return w;
    const QByteArray b = f.readAll();
    w.fileSize = b.size();
    if (b.size() < 44 || !b.startsWith("RIFF") || b.mid(8, 4) != "WAVE")
        return w;
    const char *p = b.constData();
    w.riffSize = qFromLittleEndian<quint32>(p + 4);
    w.format = qFromLittleEndian<quint16>(p + 20);
    w.channels = qFromLittleEndian<quint16>(p + 22);
    w.rate = qFromLittleEndian<quint32>(p + 24);
    w.bits = qFromLittleEndian<quint16>(p + 34);
    w.dataSize = qFromLittleEndian<quint32>(p + 40);
    for (qint64 i = 44; i + 1 < b.size(); i += 2)
        w.samples.push_back(qFromLittleEndian<qint16>(p + i) / 32768.0);
    return w;
}

// Power of one frequency (Goertzel), normalised so a sine of amplitude a gives about a²/4.
inline double tonePower(const std::vector<double> &x, double frequency, double rate, size_t from = 0)
{
    if (from >= x.size())
        return 0;
    const double w = 2 * std::numbers::pi * frequency / rate;
    const double coeff = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (size_t i = from; i < x.size(); ++i) {
        const double s = x[i] + coeff * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    const double n = double(x.size() - from);
    return (s1 * s1 + s2 * s2 - coeff * s1 * s2) / (n * n);
}

inline double rms(const std::vector<double> &x, size_t from = 0)
{
    double sum = 0;
    for (size_t i = from; i < x.size(); ++i)
        sum += x[i] * x[i];
    return x.size() > from ? std::sqrt(sum / double(x.size() - from)) : 0;
}

// Interleaved float frames of a sine on every channel.
inline QByteArray floatTone(double frequency, double amplitude, int rate, int channels, int frames)
{
    QByteArray out(frames * channels * 4, Qt::Uninitialized);
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            qToLittleEndian<float>(float(amplitude * std::sin(2 * std::numbers::pi * frequency * i / rate)),
                                   out.data() + (i * channels + c) * 4);
    return out;
}

// 16-bit little-endian mono samples of a sine.
inline QByteArray pcm16Tone(double frequency, double amplitude, int samples, int rate = 16000)
{
    QByteArray out(samples * 2, Qt::Uninitialized);
    for (int i = 0; i < samples; ++i)
        qToLittleEndian<qint16>(qint16(std::lrint(32767 * amplitude * std::sin(2 * std::numbers::pi * frequency * i / rate))),
                                out.data() + 2 * i);
    return out;
}

// A 16 kHz mono WAV file with a sine, for playing into the test sink.
inline bool writeToneFile(const QString &path, double frequency, double amplitude, double seconds)
{
    const QByteArray data = pcm16Tone(frequency, amplitude, int(seconds * 16000));
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(WavWriter::header(quint32(data.size())) + data) == data.size() + 44;
}

} // namespace audiotest
