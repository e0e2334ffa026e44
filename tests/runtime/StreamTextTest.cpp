#include "StreamText.h"

#include <QList>
#include <QStringList>

#include <gtest/gtest.h>

using namespace StreamText;

namespace {

QStringList pipeline(const QStringList &pieces)
{
    DeltaPipeline p;
    QStringList out;
    for (const QString &piece : pieces)
        if (QString d = p.feed(piece); !d.isEmpty())
            out << d;
    if (QString d = p.finish(); !d.isEmpty())
        out << d;
    return out;
}

} // namespace

TEST(StreamText, SseEventsSurviveAnySplitOfTheByteStream)
{
    const QByteArray stream = "data: {\"a\":1}\r\n\r\n: keep-alive\n\ndata: one\ndata: two\n\nerror: {\"m\":2}\n\ndata: [DONE]\n\n";
    for (int cut = 1; cut < stream.size(); ++cut) {
        SseParser parser;
        QList<SseParser::Event> events;
        parser.onEvent = [&](const SseParser::Event &e) { events << e; };
        parser.feed(stream.left(cut));
        parser.feed(stream.mid(cut));
        parser.finish();
        ASSERT_EQ(events.size(), 4) << "cut at " << cut;
        EXPECT_EQ(events[0].data, "{\"a\":1}");
        EXPECT_EQ(events[1].data, "one\ntwo");
        EXPECT_TRUE(events[2].isError);
        EXPECT_EQ(events[3].data, "[DONE]");
    }
}

// A character's raw bytes cut across stream pieces are walked through the runtime (AgentProcessTest).
TEST(StreamText, CharacterCutAcrossPiecesComesOutWholeInTheLaterPiece)
{
    Utf8Joiner joiner;
    // A surrogate pair cut in two.
    EXPECT_EQ(joiner.feed(QString::fromUtf16(u"x\xD83D")), QStringLiteral("x"));
    EXPECT_EQ(joiner.feed(QString::fromUtf16(u"\xDE00!")), QString::fromUtf8("😀!"));
    EXPECT_EQ(joiner.finish(), QString());
    // Valid text passes through escapeInvalidUtf8 untouched; a dangling byte at the end is reported.
    EXPECT_EQ(escapeInvalidUtf8("\"ü😀\""), QByteArray("\"ü😀\""));
    EXPECT_EQ(joiner.feed(QString::fromUtf16(u"\xDCE2")), QString());
    EXPECT_EQ(joiner.finish(), QString(QChar(0xFFFD)));
}

TEST(StreamText, OnlyALeadingReasoningBlockAndEdgeWhiteSpaceAreDropped)
{
    EXPECT_EQ(pipeline({"\n<thi", "nk>plan", " more</th", "ink>\n\nAnswer", " here"}).join("|"),
              QStringLiteral("Answer| here"));
    // Tags the answer writes about are its text, before or after a leading block.
    EXPECT_EQ(pipeline({"A <think>x</think>B", "<think>y"}).join(""), QStringLiteral("A <think>x</think>B<think>y"));
    EXPECT_EQ(pipeline({"<think>r</think>Wrap it in <think>", " tags"}).join(""),
              QStringLiteral("Wrap it in <think> tags"));
    // A leading tag that never closes is the answer itself, not reasoning to swallow.
    EXPECT_EQ(pipeline({"<think> marks", " reasoning."}).join(""), QStringLiteral("<think> marks reasoning."));
    // Something that only looks like the start of a tag is text after all.
    EXPECT_EQ(pipeline({"<th", "ing> b"}).join(""), QStringLiteral("<thing> b"));
    // Edge white space is held back until something visible follows.
    EXPECT_EQ(pipeline({"\n  ", "Hello ", " ", "world", "\n\n"}), (QStringList{"Hello", "  world"}));
}
