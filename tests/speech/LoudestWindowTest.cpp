#include "AudioTestUtil.h"
#include "speech/LoudestWindow.h"

#include <gtest/gtest.h>

using audiotest::pcm16Tone;

TEST(LoudestWindowTest, TheLoudestTenthCountsWhereverItIs)
{
    LoudestWindow w;
    EXPECT_FALSE(w.loudestPower().has_value());
    w.add(QByteArray(16000 * 2, '\0'));
    EXPECT_EQ(w.loudestPower(), -160.0);
    // A tenth of a sine at amplitude 0.1 among a second of silence: 20·log10(0.1) − 3 dB.
    w.add(pcm16Tone(440, 0.1, 1600));
    w.add(QByteArray(16000 * 2, '\0'));
    ASSERT_TRUE(w.loudestPower().has_value());
    EXPECT_NEAR(*w.loudestPower(), -23.0, 0.1);
}

TEST(LoudestWindowTest, ShortAndSplitInputIsMeasuredToo)
{
    // Less than a tenth in all: that is the measure.
    LoudestWindow shortOne;
    shortOne.add(pcm16Tone(440, 0.01, 800));
    ASSERT_TRUE(shortOne.loudestPower().has_value());
    EXPECT_NEAR(*shortOne.loudestPower(), -43.0, 0.2);

    // Blocks that split a sample in two give the same result as one block.
    const QByteArray audio = pcm16Tone(440, 0.5, 4000);
    LoudestWindow whole, pieces;
    whole.add(audio);
    for (qsizetype at = 0; at < audio.size(); at += 333)
        pieces.add(audio.mid(at, 333));
    EXPECT_DOUBLE_EQ(*whole.loudestPower(), *pieces.loudestPower());
}
