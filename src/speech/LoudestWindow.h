#pragma once

#include <QByteArray>

#include <optional>

// Below this average power in dBFS a tenth of a second holds no speech: it is where the level
// meter already shows a flat line, and soft speech close to a microphone stays well above it.
// Whisper turns a recording that never rises above it into words nobody said.
inline constexpr double silenceLevel = -55.0;
// The level of digital silence, and of a recording that received no audio at all.
inline constexpr double silenceFloor = -160.0;

// The loudest tenth of a second of 16 kHz mono 16-bit audio, as average power in dBFS (the
// measure of the level meter).
class LoudestWindow {
public:
    static constexpr int windowSamples = 1600;

    // Little-endian 16-bit samples; a trailing odd byte is kept for the next call.
    void add(const QByteArray &pcm);
    // Nothing until audio arrived. A window shorter than a tenth only counts when it is all there is.
    std::optional<double> loudestPower() const;

private:
    static double decibels(double sumSquares, qint64 count);

    QByteArray m_oddByte;
    double m_sumSquares = 0;
    qint64 m_count = 0;
    std::optional<double> m_loudest;
};
