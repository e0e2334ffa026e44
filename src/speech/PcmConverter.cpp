#include "PcmConverter.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>

namespace {

// Filter length in output samples on each side of the centre; 16 gives > 60 dB stop band.
constexpr int kZeroCrossings = 16;
// Above this many filter phases the taps are computed per sample instead of kept in a table.
constexpr qint64 kMaxPhases = 1024;

double blackman(double x, double halfWidth)
{
    const double r = x / halfWidth;
    if (r <= -1 || r >= 1)
        return 0;
    return 0.42 + 0.5 * std::cos(std::numbers::pi * r) + 0.08 * std::cos(2 * std::numbers::pi * r);
}

double sinc(double x)
{
    if (std::abs(x) < 1e-12)
        return 1;
    const double px = std::numbers::pi * x;
    return std::sin(px) / px;
}

} // namespace

PcmConverter::PcmConverter(const QAudioFormat &input) : m_format(input)
{
    m_bytesPerSample = std::max(1, input.bytesPerSample());
    m_bytesPerFrame = std::max(1, input.bytesPerFrame());
    const int rate = input.sampleRate() > 0 ? input.sampleRate() : outputRate;
    m_passthrough = rate == outputRate;
    m_ratio = double(rate) / outputRate;
    // Cut a little below the lower of the two Nyquist frequencies (in input samples).
    m_cutoff = 0.5 * std::min(1.0, 1.0 / m_ratio) * 0.95;
    m_halfWidth = int(std::ceil(kZeroCrossings * std::max(1.0, m_ratio)));
    const qint64 common = std::gcd(qint64(rate), qint64(outputRate));
    m_inputStep = rate / common;
    m_phaseCount = outputRate / common;
    // The filter costs three trigonometric calls per tap; capture must keep up with real time.
    if (!m_passthrough && m_phaseCount <= kMaxPhases) {
        const int taps = 2 * m_halfWidth;
        m_kernel.resize(size_t(m_phaseCount * taps));
        for (qint64 phase = 0; phase < m_phaseCount; ++phase)
            for (int j = 0; j < taps; ++j)
                m_kernel[size_t(phase * taps + j)] =
                    float(tap(double(m_halfWidth - 1 - j) + double(phase) / double(m_phaseCount)));
    }
}

double PcmConverter::tap(double x) const { return 2 * m_cutoff * sinc(2 * m_cutoff * x) * blackman(x, m_halfWidth); }

float PcmConverter::decode(const char *p) const
{
    switch (m_format.sampleFormat()) {
    case QAudioFormat::UInt8:
        return (float(static_cast<unsigned char>(*p)) - 128.0f) / 128.0f;
    case QAudioFormat::Int16:
        return float(qFromLittleEndian<qint16>(p)) / 32768.0f;
    case QAudioFormat::Int32:
        return float(double(qFromLittleEndian<qint32>(p)) / 2147483648.0);
    case QAudioFormat::Float:
        return qFromLittleEndian<float>(p);
    default:
        return 0;
    }
}

void PcmConverter::appendOutput(QByteArray &out, float value)
{
    if (!std::isfinite(value))
        value = 0;
    const double clamped = std::clamp(double(value), -1.0, 1.0);
    m_sumSquares += clamped * clamped;
    ++m_powerCount;
    const long scaled = std::lrint(clamped * 32768.0);
    const qint16 sample = qint16(std::clamp(scaled, -32768L, 32767L));
    char bytes[2];
    qToLittleEndian<qint16>(sample, bytes);
    out.append(bytes, 2);
}

QByteArray PcmConverter::convert(const char *data, qint64 size)
{
    QByteArray block = m_partial;
    block.append(data, size);
    const qint64 frames = block.size() / m_bytesPerFrame;
    m_partial = block.mid(frames * m_bytesPerFrame);

    const int channels = std::max(1, m_format.channelCount());
    QByteArray out;
    if (m_passthrough)
        out.reserve(frames * 2);
    for (qint64 f = 0; f < frames; ++f) {
        const char *frame = block.constData() + f * m_bytesPerFrame;
        float sum = 0;
        for (int c = 0; c < channels; ++c)
            sum += decode(frame + c * m_bytesPerSample);
        const float mono = sum / float(channels);
        if (m_passthrough)
            appendOutput(out, mono);
        else
            m_input.push_back(mono);
    }
    if (m_passthrough)
        return out;
    m_inputCount += frames;
    return resample(false);
}

QByteArray PcmConverter::resample(bool final)
{
    QByteArray out;
    const qint64 available = m_base + qint64(m_input.size());
    // The stream has exactly this many output samples once it has ended.
    const qint64 totalOutputs = m_inputCount * m_phaseCount / m_inputStep;
    while (true) {
        if (final && m_nextOutput >= totalOutputs)
            break;
        const qint64 position = m_nextOutput * m_inputStep;
        const qint64 whole = position / m_phaseCount;
        const qint64 phase = position % m_phaseCount;
        const qint64 first = whole - m_halfWidth + 1;
        const qint64 last = whole + m_halfWidth;
        if (!final && last >= available)
            break;
        const float *kernel = m_kernel.empty() ? nullptr : m_kernel.data() + phase * 2 * m_halfWidth;
        const double fraction = double(phase) / double(m_phaseCount);
        double acc = 0;
        for (qint64 k = std::max<qint64>(first, 0); k <= last; ++k) {
            if (k >= available)
                break; // past the end of the stream: silence
            const double weight = kernel ? double(kernel[k - first]) : tap(double(whole - k) + fraction);
            acc += double(m_input[size_t(k - m_base)]) * weight;
        }
        appendOutput(out, float(acc));
        ++m_nextOutput;
    }
    // Forget input that no later output reaches.
    const qint64 keepFrom = m_nextOutput * m_inputStep / m_phaseCount - m_halfWidth + 1;
    if (keepFrom > m_base) {
        const qint64 drop = std::min<qint64>(keepFrom - m_base, qint64(m_input.size()));
        m_input.erase(m_input.begin(), m_input.begin() + drop);
        m_base += drop;
    }
    return out;
}

QByteArray PcmConverter::flush()
{
    m_partial.clear();
    if (m_passthrough)
        return {};
    return resample(true);
}

std::optional<double> PcmConverter::takeAveragePower()
{
    if (m_powerCount == 0)
        return std::nullopt;
    const double meanSquare = m_sumSquares / double(m_powerCount);
    m_sumSquares = 0;
    m_powerCount = 0;
    if (meanSquare <= 1e-16)
        return -160.0;
    return std::max(-160.0, 10 * std::log10(meanSquare));
}
