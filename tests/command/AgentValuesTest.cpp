#include "AgentTestData.h"
#include "command/AgentConversation.h"
#include "command/AgentSettings.h"

#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

QDateTime at(const char *iso) { return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate).toUTC(); }
} // namespace

// Trimming and the fallback title are walked by the conversation store test.
TEST(AgentTitle, CutsAtUserPerceivedCharacters)
{
    // A flag is one perceived character made of four UTF-16 units; it is never split.
    QString flags;
    for (int i = 0; i < 80; ++i)
        flags += QString::fromUtf8("\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA");
    EXPECT_EQ(AgentConversation::derivedTitle(flags), flags.left(72 * 4));
}

TEST(AgentConversationJson, NullOptionalsReadAsAbsentAndMissingRequiredKeysFail)
{
    auto c = AgentConversation::create(QStringLiteral("Fix"), QStringLiteral("Editor"), {selectedTextAttachment(QStringLiteral("x"))},
                                       at("2026-03-01T09:15:02Z"));
    QJsonObject o = c.toJson();
    o.insert(QStringLiteral("lastPastedText"), QJsonValue::Null);
    ASSERT_TRUE(AgentConversation::fromJson(o));
    EXPECT_FALSE(AgentConversation::fromJson(o)->lastPastedText);

    for (const char *key : {"id", "role", "text", "createdAt", "attachments"}) {
        QJsonObject m = c.messages[0].toJson();
        m.remove(QLatin1String(key));
        EXPECT_FALSE(AgentMessage::fromJson(m)) << key;
    }
    QJsonObject badRole = c.messages[0].toJson();
    badRole[QStringLiteral("role")] = QStringLiteral("system");
    EXPECT_FALSE(AgentMessage::fromJson(badRole));

    const std::pair<const char *, QJsonValue> broken[] = {{"updatedAt", "yesterday"}, {"id", "not-a-uuid"}, {"lastPastedText", 3}};
    for (const auto &[key, value] : broken) {
        QJsonObject bad = c.toJson();
        bad[QLatin1String(key)] = value;
        EXPECT_FALSE(AgentConversation::fromJson(bad)) << key;
    }
}

TEST(AgentSettingsJson, EarlierDefaultIsUpgradedAndEditedTextsSurvive)
{
    QJsonObject o;
    o[QStringLiteral("trustedInstructions")] = AgentSettings::earlierDefaultTrustedInstructions();
    EXPECT_EQ(AgentSettings::fromJson(o)->trustedInstructions, AgentSettings::defaultTrustedInstructions());

    for (const QString &kept : {QString(), QStringLiteral("Be terse."),
                                AgentSettings::earlierDefaultTrustedInstructions() + QLatin1Char('\n')}) {
        o[QStringLiteral("trustedInstructions")] = kept;
        EXPECT_EQ(AgentSettings::fromJson(o)->trustedInstructions, kept);
    }
}

TEST(AgentSettingsJson, RoundTripsEveryField)
{
    AgentSettings s;
    s.writingProvider = AgentWritingProvider::local;
    s.selectedModelID = QStringLiteral("gemma4-e2b-q4");
    s.selectedOpenAIModelID = QStringLiteral("openai-sol");
    s.speechModelID = QStringLiteral("large");
    s.includeSelectedText = false;
    s.copyResult = false;
    s.automaticPaste = false;
    s.safelyReplaceRefinements = false;
    s.showCompletionNotification = false;
    s.playCompletionSound = false;
    s.personalContext = QStringLiteral("I write for a newspaper.");
    s.trustedInstructions = QStringLiteral("Only English.");
    EXPECT_EQ(AgentSettings::fromStoredData(s.storedData()), s);
}

TEST(AgentSettingsJson, CorruptStoredValueGivesFreshSettings)
{
    for (const QByteArray &stored : {QByteArray("not json"), QByteArray("[1,2]"), QByteArray(),
                                     QByteArray(R"({"copyResult":"yes"})"),
                                     QByteArray(R"({"writingProvider":"cloud"})")}) {
        EXPECT_EQ(AgentSettings::fromStoredData(stored), AgentSettings::fresh()) << stored.constData();
    }
    // Null is a missing key, not a corrupt one.
    const auto s = AgentSettings::fromStoredData(R"({"copyResult":null,"writingProvider":"openAI"})");
    EXPECT_TRUE(s.copyResult);
    EXPECT_EQ(s.writingProvider, AgentWritingProvider::openAI);
}
