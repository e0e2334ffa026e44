#pragma once

#include <QAudioFormat>
#include <QByteArray>

#include <optional>
#include <vector>

// Turns captured audio of any rate, channel count and sample format into 16 kHz mono signed
// 16-bit little-endian PCM, and measures the average power of what passed through.
// Rate changes use a windowed-sinc filter, so downsampling does not fold high frequencies back.
class PcmConverter {
public:
    static constexpr int outputRate = 16000;

    explicit PcmConverter(const QAudioFormat &input);

    // Converts one block of interleaved input frames; a partial trailing frame is kept for the next.
    QByteArray convert(const char *data, qint64 size);
    QByteArray convert(const QByteArray &data) { return convert(data.constData(), data.size()); }
    // Emits the samples still held back by the filter at the end of the stream.
    QByteArray flush();

    // Average power in dBFS of the output since the last call; nothing when no output arrived.
    std::optional<double> takeAveragePower();

    bool isPassthrough() const { return m_passthrough; }

private:
    float decode(const char *sample) const;
    void appendOutput(QByteArray &out, float value);
    QByteArray resample(bool final);
    double tap(double x) const;

    QAudioFormat m_format;
    int m_bytesPerFrame = 0;
    int m_bytesPerSample = 0;
    bool m_passthrough = false;
    QByteArray m_partial;

    // Resampler state: mono input samples, with m_base the stream index of m_input[0].
    std::vector<float> m_input;
    qint64 m_base = 0;
    qint64 m_inputCount = 0;
    qint64 m_nextOutput = 0;
    double m_ratio = 1;
    double m_cutoff = 0.5;
    int m_halfWidth = 0;
    // The input rate over the output rate as inputStep / phaseCount in lowest terms: output n
    // sits at input (n * inputStep) / phaseCount, so its filter taps depend only on the remainder.
    qint64 m_inputStep = 1;
    qint64 m_phaseCount = 1;
    // Taps per phase (2 * m_halfWidth each), or empty when there are too many phases to keep.
    std::vector<float> m_kernel;

    double m_sumSquares = 0;
    qint64 m_powerCount = 0;
};
