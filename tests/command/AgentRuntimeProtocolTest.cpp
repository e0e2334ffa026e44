#include "command/AgentRuntimeProtocol.h"

#include <gtest/gtest.h>

using namespace AgentProtocol;

TEST(AgentRuntimeProtocol, MinimalRequestIsTheFourAlwaysPresentKeysAndAFullOneRoundTripsOnOneLine)
{
    AgentRuntimeRequest r;
    r.requestID = QUuid::fromString(QStringLiteral("0f8fad5b-d9cb-469f-a165-70867728950e"));
    EXPECT_EQ(encodedLine(r),
              QByteArray(R"({"attachments":[],"command":"run","requestID":"0F8FAD5B-D9CB-469F-A165-70867728950E","version":1})"
                         "\n"));

    r.command = AgentProtocolCommand::continue_;
    r.conversationID = QUuid::createUuid();
    r.model = AgentModelDescriptor::catalogEntry(QStringLiteral("gemma4-e2b-q4"));
    r.instruction = QStringLiteral("Line one\nline two \"quoted\"");
    r.trustedInstructions = QStringLiteral("Be kind.");
    r.attachments = {{QUuid::createUuid(), AgentAttachmentKind::selectedText, QStringLiteral("Selected text"),
                      QStringLiteral("naïve café ✓"), std::nullopt,
                      QDateTime::fromSecsSinceEpoch(1772356502, Qt::UTC)}};
    r.modelPath = QStringLiteral("/m/model.gguf");
    r.projectorPath = QStringLiteral("/m/mmproj.gguf");
    r.llamaServerPath = QStringLiteral("/usr/bin/llama-server");
    r.appleBridgePath = QStringLiteral("/x/OrvelAppleBridge");
    r.sessionPath = QStringLiteral("/d/sessions.sqlite");
    r.openAIAPIKey = QStringLiteral("sk-test");
    r.personalContext = QStringLiteral("");
    const QByteArray line = encodedLine(r);
    EXPECT_EQ(line.count('\n'), 1);
    EXPECT_TRUE(line.endsWith('\n'));
    EXPECT_TRUE(line.contains(R"("command":"continue")"));
    EXPECT_TRUE(line.contains(R"("createdAt":"2026-03-01T09:15:02Z")"));
    const auto back = decodeRequest(line.chopped(1));
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, r);
}

TEST(AgentRuntimeProtocol, EventsDecodeWithExtraKeysAndRejectMissingOrMalformedOnes)
{
    const auto e = decodeEvent(
        R"({"version":1,"kind":"phase","phase":"generating","text":"Writing","future":{"a":1},"requestID":"0F8FAD5B-D9CB-469F-A165-70867728950E"})");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->kind, AgentProtocolEventKind::phase);
    EXPECT_EQ(e->phase, AgentPhase::generating);
    EXPECT_EQ(e->text, QStringLiteral("Writing"));
    EXPECT_TRUE(e->requestID);

    const auto bare = decodeEvent(R"({"version":7,"kind":"completed","text":null})");
    ASSERT_TRUE(bare);
    EXPECT_FALSE(bare->requestID);
    EXPECT_FALSE(bare->text);

    for (const char *bad : {R"({"kind":"delta"})", R"({"version":1})", R"({"version":1,"kind":"shout"})",
                            R"({"version":1,"kind":"phase","phase":"dreaming"})",
                            R"({"version":1,"kind":"delta","requestID":"nope"})",
                            R"({"version":1,"kind":"delta","text":5})",
                            R"({"version":1,"kind":"delta"}{"version":1,"kind":"delta"})", "[]", "", "{",
                            R"({"version":1,"kind":"conversations","conversations":[{"id":1}]})"})
        EXPECT_FALSE(decodeEvent(bad)) << bad;
}
