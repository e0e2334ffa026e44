#include "AudioTestUtil.h"
#include "speech/AudioRecorder.h"
#include "speech/LoudestWindow.h"
#include "speech/PcmConverter.h"

#include <gtest/gtest.h>

#include <tuple>

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
    EXPECT_DOUBLE_EQ(AudioRecorder::levelForPower(-160), 0.015); // silent room: the floor, never 0
    EXPECT_DOUBLE_EQ(AudioRecorder::levelForPower(0), 1.0);
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

TEST(PcmConverter, ResamplesKeepingPitchLoudnessAndLength)
{
    // Stereo 48 kHz in odd blocks that cut frames apart; 44.1 kHz repeats its filter phases
    // every 160 outputs; 22051 Hz never does.
    for (const auto &[rate, channels, block] : {std::tuple{48000, 2, 4093}, std::tuple{44100, 1, 0}, std::tuple{22051, 1, 0}}) {
        PcmConverter c(format(rate, channels, QAudioFormat::Float));
        const QByteArray tone = floatTone(1000, 0.5, rate, channels, rate);
        QByteArray out;
        for (qsizetype at = 0; at < tone.size(); at += block ? block : tone.size())
            out += c.convert(tone.mid(at, block ? block : tone.size()));
        out += c.flush();
        const auto x = decode16(out);
        EXPECT_EQ(x.size(), size_t(16000)) << rate;
        EXPECT_NEAR(rms(x, 200), 0.5 / std::sqrt(2.0), 0.01) << rate;
        // Mislabelled data would move the tone by the ratio of the rates, one way or the other.
        const double p = tonePower(x, 1000, 16000, 200);
        EXPECT_GT(p, 100 * tonePower(x, 1000.0 * rate / 16000, 16000, 200)) << rate;
        EXPECT_GT(p, 100 * tonePower(x, 1000.0 * 16000 / rate, 16000, 200)) << rate;
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

TEST(LoudestWindowTest, TheLoudestTenthCountsWhereverItIsAndSplitBlocksChangeNothing)
{
    LoudestWindow w;
    EXPECT_FALSE(w.loudestPower().has_value());
    w.add(QByteArray(16000 * 2, '\0'));
    EXPECT_EQ(w.loudestPower(), -160.0);
    // A tenth of a sine at amplitude 0.1 among a second of silence: 20·log10(0.1) − 3 dB.
    w.add(pcm16Tone(440, 0.1, 1600));
    w.add(QByteArray(16000 * 2, '\0'));
    EXPECT_NEAR(w.loudestPower().value_or(0), -23.0, 0.1);

    // Less than a tenth in all: that is the measure.
    LoudestWindow shortOne;
    shortOne.add(pcm16Tone(440, 0.01, 800));
    EXPECT_NEAR(shortOne.loudestPower().value_or(0), -43.0, 0.2);

    // Blocks that split a sample in two give the same result as one block.
    const QByteArray audio = pcm16Tone(440, 0.5, 4000);
    LoudestWindow whole, pieces;
    whole.add(audio);
    for (qsizetype at = 0; at < audio.size(); at += 333)
        pieces.add(audio.mid(at, 333));
    EXPECT_DOUBLE_EQ(*whole.loudestPower(), *pieces.loudestPower());
}
