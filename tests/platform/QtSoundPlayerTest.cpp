// The completion sounds through Qt Multimedia on the session's audio server.
#include "platform/x11/QtSoundPlayer.h"
#include "speech/WavWriter.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <gtest/gtest.h>

namespace {

class CountingPlayer final : public QtSoundPlayer {
public:
    using QtSoundPlayer::QtSoundPlayer;
    void beep() override { ++beeps; }
    int beeps = 0;
};

// A tenth of a second of quiet 16 kHz mono noise.
QByteArray tinyWav()
{
    QByteArray pcm(3200, '\0');
    for (int i = 0; i < pcm.size(); i += 2)
        qToLittleEndian<qint16>(qint16((i * 37) % 200 - 100), pcm.data() + i);
    return WavWriter::header(quint32(pcm.size())) + pcm;
}

} // namespace

TEST(QtSoundPlayerTest, SoundThatCannotBeLoadedBeepsInsteadOncePerPlay)
{
    QTemporaryDir dir;
    const auto write = [&](const char *name, const QByteArray &bytes) {
        QFile f(dir.filePath(QLatin1String(name)));
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    };
    ASSERT_TRUE(write("Pop.wav", "RIFF\x10\x01\x01\x01WAVEjunk that is no sound"));
    ASSERT_TRUE(write("Glass.wav", tinyWav()));
    CountingPlayer player([&](const QString &name) -> std::optional<QString> {
        const QString path = dir.filePath(name + QStringLiteral(".wav"));
        return QFile::exists(path) ? std::optional(path) : std::nullopt;
    });

    // Asked at once, while the file may still be loading: either answer leads to one beep.
    const bool accepted = player.play(QStringLiteral("Pop"), 0.55);
    (void)QTest::qWaitFor([&] { return !accepted || player.beeps > 0; }, 5000);
    EXPECT_EQ(player.beeps + (accepted ? 0 : 1), 1);

    // Asked again once the load has failed: reported as missing, so the caller beeps.
    const int before = player.beeps;
    EXPECT_FALSE(player.play(QStringLiteral("Pop"), 0.55));
    QTest::qWait(200);
    EXPECT_EQ(player.beeps, before);

    // A readable sound plays without a beep; a sound that is not shipped is missing.
    EXPECT_TRUE(player.play(QStringLiteral("Glass"), 0.55));
    QTest::qWait(300);
    EXPECT_EQ(player.beeps, before);
    EXPECT_FALSE(player.play(QStringLiteral("Tink"), 0.55));
}
