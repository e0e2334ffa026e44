#include "AudioTestUtil.h"
#include "speech/AudioRecorder.h"
#include "speech/PcmConverter.h"
#include "speech/WavWriter.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace audiotest;

namespace {

QAudioFormat format(int rate, int channels, QAudioFormat::SampleFormat sample)
{
    QAudioFormat f;
    f.setSampleRate(rate);
    f.setChannelCount(channels);
    f.setSampleFormat(sample);
    return f;
}

std::vector<double> decode16(const QByteArray &pcm)
{
    std::vector<double> out;
    for (qsizetype i = 0; i + 1 < pcm.size(); i += 2)
        out.push_back(qFromLittleEndian<qint16>(pcm.constData() + i) / 32768.0);
    return out;
}

} // namespace

TEST(Metering, PowerMapsToTheDisplayedLevel)
{
    EXPECT_DOUBLE_EQ(AudioRecorder::levelForPower(-60), 0.015); // silent room: the floor, never 0
    EXPECT_DOUBLE_EQ(AudioRecorder::levelForPower(-160), 0.015);
    EXPECT_DOUBLE_EQ(AudioRecorder::levelForPower(-55), 0.015);
    EXPECT_DOUBLE_EQ(AudioRecorder::levelForPower(0), 1.0);
    EXPECT_DOUBLE_EQ(AudioRecorder::levelForPower(-7), 1.0);
    EXPECT_NEAR(AudioRecorder::levelForPower(-31), std::pow(0.5, 1.55), 1e-12);
    EXPECT_DOUBLE_EQ(AudioRecorder::levelForPower(std::nan("")), 0.015);
}

TEST(PcmConverter, SixteenKilohertzMonoPassesThroughUnchanged)
{
    PcmConverter c(format(16000, 1, QAudioFormat::Int16));
    QByteArray in;
    for (int v : {0, 1, -1, 32767, -32768, 1234, -4321}) {
        char b[2];
        qToLittleEndian<qint16>(qint16(v), b);
        in.append(b, 2);
    }
    // Split inside a sample: the half sample waits for the rest.
    QByteArray out = c.convert(in.left(5));
    out += c.convert(in.mid(5));
    out += c.flush();
    EXPECT_EQ(out, in);
}

TEST(PcmConverter, DownsamplesStereoFloatKeepingPitchAndLoudness)
{
    const int frames = 48000;
    PcmConverter c(format(48000, 2, QAudioFormat::Float));
    const QByteArray tone = floatTone(1000, 0.5, 48000, 2, frames);
    QByteArray out;
    // Odd block sizes cut frames apart.
    for (qsizetype at = 0; at < tone.size(); at += 4093)
        out += c.convert(tone.mid(at, 4093));
    out += c.flush();
    const auto x = decode16(out);
    EXPECT_EQ(x.size(), size_t(16000));
    const size_t settled = 200;
    EXPECT_NEAR(rms(x, settled), 0.5 / std::sqrt(2.0), 0.01);
    // Mislabelled 48 kHz data would put the tone at a third of its pitch.
    EXPECT_GT(tonePower(x, 1000, 16000, settled), 100 * tonePower(x, 333.3, 16000, settled));
    EXPECT_GT(tonePower(x, 1000, 16000, settled), 100 * tonePower(x, 3000, 16000, settled));
}

TEST(PcmConverter, RatesWithAndWithoutAShortFilterCycleKeepPitchAndLength)
{
    // 44.1 kHz repeats its filter phases every 160 outputs; 22051 Hz never does.
    for (const int rate : {44100, 22051}) {
        PcmConverter c(format(rate, 1, QAudioFormat::Float));
        QByteArray out = c.convert(floatTone(1000, 0.5, rate, 1, rate));
        out += c.flush();
        const auto x = decode16(out);
        EXPECT_EQ(x.size(), size_t(16000)) << rate;
        EXPECT_NEAR(rms(x, 200), 0.5 / std::sqrt(2.0), 0.01) << rate;
        EXPECT_GT(tonePower(x, 1000, 16000, 200), 100 * tonePower(x, 1000.0 * rate / 16000, 16000, 200)) << rate;
    }
}

TEST(PcmConverter, FiltersFrequenciesAboveTheNewNyquistInsteadOfFoldingThem)
{
    PcmConverter c(format(48000, 1, QAudioFormat::Float));
    // 12 kHz would alias to 4 kHz when samples are just dropped.
    QByteArray out = c.convert(floatTone(12000, 0.5, 48000, 1, 48000));
    out += c.flush();
    const auto x = decode16(out);
    ASSERT_GT(x.size(), size_t(15000));
    EXPECT_LT(rms(x, 200), 0.5 * 0.001); // more than 60 dB down
}

TEST(PcmConverter, DecodesIntegerFormatsAndAveragesChannels)
{
    {
        // Opposite channels cancel; 44.1 kHz Int32 gives 16000 × seconds samples.
        PcmConverter c(format(44100, 2, QAudioFormat::Int32));
        QByteArray in(44100 * 8, Qt::Uninitialized);
        for (int i = 0; i < 44100; ++i) {
            const auto v = qint32(1e9 * std::sin(2 * std::numbers::pi * 440 * i / 44100.0));
            qToLittleEndian<qint32>(v, in.data() + i * 8);
            qToLittleEndian<qint32>(-v, in.data() + i * 8 + 4);
        }
        QByteArray out = c.convert(in);
        out += c.flush();
        EXPECT_EQ(out.size() / 2, 16000);
        EXPECT_LT(rms(decode16(out)), 1e-4);
    }
    {
        PcmConverter c(format(16000, 1, QAudioFormat::UInt8));
        const QByteArray in("\x80\xff\x00", 3);
        const auto x = decode16(c.convert(in));
        ASSERT_EQ(x.size(), size_t(3));
        EXPECT_DOUBLE_EQ(x[0], 0.0);
        EXPECT_NEAR(x[1], 127.0 / 128, 1e-4);
        EXPECT_DOUBLE_EQ(x[2], -1.0);
    }
}

TEST(PcmConverter, ReportsAveragePowerSinceTheLastReading)
{
    PcmConverter c(format(16000, 1, QAudioFormat::Float));
    EXPECT_FALSE(c.takeAveragePower().has_value());
    (void)c.convert(floatTone(500, 0.5, 16000, 1, 1600));
    // A sine of amplitude 0.5 has an RMS of −9.03 dBFS.
    EXPECT_NEAR(*c.takeAveragePower(), 20 * std::log10(0.5 / std::sqrt(2.0)), 0.05);
    (void)c.convert(QByteArray(1600 * 4, '\0'));
    EXPECT_EQ(*c.takeAveragePower(), -160.0);
    EXPECT_FALSE(c.takeAveragePower().has_value());
}

TEST(WavWriter, HeaderCarriesTheFinalSizes)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.wav"));
    WavWriter w;
    ASSERT_TRUE(w.open(path).ok());
    w.append(QByteArray(3200, '\x01'));
    w.append(QByteArray(800, '\x02'));
    ASSERT_TRUE(w.finish().ok());
    const Wav wav = readWav(path);
    EXPECT_EQ(wav.format, 1);
    EXPECT_EQ(wav.rate, 16000u);
    EXPECT_EQ(wav.channels, 1);
    EXPECT_EQ(wav.bits, 16);
    EXPECT_EQ(wav.dataSize, 4000u);
    EXPECT_EQ(wav.riffSize, 4036u);
    EXPECT_EQ(wav.fileSize, 4044);
}
