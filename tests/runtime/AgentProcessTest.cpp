// The runtime as a real process with the stand-in llama-server: protocol, sessions, supervision.
// Phases, deltas, warm reuse, a failed load, shutdown and a killed runtime are walked with the
// real server (RealLlamaServerTest, RealRuntimeTest).
#include "AgentTestData.h"
#include "AgentProcess.h"

#include <QJsonArray>

#include <algorithm>

namespace {

QJsonObject stream(const QJsonArray &chunks) { return QJsonObject{{"chunks", chunks}}; }
QJsonObject content(const QString &text) { return QJsonObject{{"content", text}}; }

// The arguments of the index-th server the runtime started.
QStringList serverArgv(const AgentProcess &agent, int index)
{
    for (const QJsonObject &e : agent.log())
        if (field(e, "event") == QStringLiteral("start") && index-- == 0)
            return e.value("argv").toVariant().toStringList();
    return {};
}
QJsonArray messages(const QJsonObject &request) { return request.value("body").toObject().value("messages").toArray(); }
QString messageText(const QJsonObject &request, int index)
{
    return messages(request).at(index).toObject().value("content").toString();
}

} // namespace

// What only the stand-in's log shows: the servers' arguments, where each piece of a turn goes,
// and a vision model replacing the text model's server.
TEST(AgentProcess, TurnsKeepEachPieceInItsPlaceAndAnotherModelReplacesTheServer)
{
    AgentProcess agent;
    agent.setScript(QJsonObject{
        {"responses", QJsonArray{stream({content("First result")}), stream({content("Second")})}}});
    agent.start();
    AgentRuntimeRequest run = agent.localRun(QStringLiteral("Summarise this"));
    run.personalContext = QStringLiteral("I am Ada, an engineer.");
    run.attachments = {selectedTextAttachment(QStringLiteral("Quarterly numbers went up."))};
    EXPECT_EQ(field(agent.outcome(run), "text"), QStringLiteral("First result"));
    AgentRuntimeRequest refine = agent.localRun(QStringLiteral("Make it shorter"));
    refine.command = AgentProtocolCommand::continue_;
    refine.personalContext = run.personalContext;
    EXPECT_EQ(field(agent.outcome(refine), "text"), QStringLiteral("Second"));

    ASSERT_EQ(agent.serverPids().size(), 1);
    const QStringList argv = serverArgv(agent, 0);
    EXPECT_EQ(argv.value(argv.indexOf("--host") + 1), QStringLiteral("127.0.0.1")); // local only
    EXPECT_EQ(argv.value(argv.indexOf("--model") + 1), agent.modelPath);
    EXPECT_FALSE(argv.contains("--mmproj"));
    const auto chats = agent.chatRequests();
    ASSERT_EQ(chats.size(), 2);
    ASSERT_EQ(messages(chats[1]).size(), 4);
    EXPECT_TRUE(chats[1].value("body").toObject().value("stream").toBool());
    const QString system = messageText(chats[1], 0);
    EXPECT_TRUE(system.startsWith(QStringLiteral("Trusted rules.")));
    EXPECT_TRUE(system.contains(QStringLiteral("I am Ada, an engineer.")));
    EXPECT_FALSE(system.contains(QStringLiteral("Quarterly")));
    EXPECT_TRUE(messageText(chats[1], 1).startsWith(QStringLiteral("Summarise this")));
    EXPECT_TRUE(messageText(chats[1], 1).contains(QStringLiteral("Quarterly numbers went up.")));
    EXPECT_FALSE(messageText(chats[1], 1).contains(QStringLiteral("Ada")));
    EXPECT_EQ(messageText(chats[1], 2), QStringLiteral("First result"));
    EXPECT_EQ(messageText(chats[1], 3), QStringLiteral("Make it shorter"));

    const QString projector = agent.scratch.filePath(QStringLiteral("mmproj.gguf"));
    const QString png = agent.scratch.filePath(QStringLiteral("shot.png"));
    for (const QString &path : {projector, png}) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("\x89PNG-ish bytes");
    }
    agent.setScript(QJsonObject{{"responses", QJsonArray{stream({content("Seen")})}}}); // read by the next server
    AgentRuntimeRequest look = agent.localRun(QStringLiteral("What is on screen?"), agent.otherModelPath);
    look.model = AgentModelDescriptor::catalogEntry(QStringLiteral("qwen25-vl-3b-q4"));
    look.projectorPath = projector;
    look.attachments = {screenshotAttachment(png)};
    EXPECT_EQ(field(agent.outcome(look), "text"), QStringLiteral("Seen"));
    const auto pids = agent.serverPids();
    ASSERT_EQ(pids.size(), 2);
    EXPECT_TRUE(waitUntilProcessGone(pids[0]));
    EXPECT_TRUE(isRunningProcess(pids[1]));
    const QStringList visionArgv = serverArgv(agent, 1);
    ASSERT_TRUE(visionArgv.contains("--mmproj"));
    EXPECT_EQ(visionArgv.value(visionArgv.indexOf("--mmproj") + 1), projector);
    const QJsonArray parts = messages(agent.chatRequests().last()).last().toObject().value("content").toArray();
    ASSERT_EQ(parts.size(), 2);
    EXPECT_EQ(field(parts[0].toObject(), "type"), QStringLiteral("text"));
    EXPECT_EQ(parts[1].toObject().value("image_url").toObject().value("url").toString(),
              QStringLiteral("data:image/png;base64,") + QString::fromLatin1(QByteArray("\x89PNG-ish bytes").toBase64()));

    // Closed input ends the runtime cleanly and takes its server along.
    agent.process.closeWriteChannel();
    ASSERT_TRUE(agent.process.waitForFinished(5000));
    EXPECT_EQ(agent.process.exitCode(), 0);
    EXPECT_TRUE(waitUntilProcessGone(pids[1], 5000));
}

TEST(AgentProcess, StreamedTextIsWholeUtf8AndNeverShowsReasoning)
{
    AgentProcess agent;
    agent.setScript(QJsonObject{
        {"responses", QJsonArray{stream({content("<think>private plan</think>"), QJsonObject{{"reasoning", "more private"}},
                                         QJsonObject{{"content", QString::fromUtf8("Grüße €")}, {"splitAtByte", 3}},
                                         QJsonObject{{"contentHex", "20e282"}}, QJsonObject{{"contentHex", "ac21"}}})}}});
    agent.start();
    const AgentRuntimeRequest run = agent.localRun(QStringLiteral("Greet"));
    agent.send(run);
    const auto events = agent.eventsUntilDone(run.requestID);
    const QString result = field(AgentProcess::last(events), "text");
    EXPECT_EQ(result, QString::fromUtf8("Grüße € €!"));
    EXPECT_EQ(AgentProcess::joined(events, "delta"), result);
    QStringList deltas;
    for (const auto &e : events)
        if (field(e, "kind") == QStringLiteral("delta"))
            deltas << field(e, "text");
    EXPECT_TRUE(deltas.contains(QString::fromUtf8(" €!"))) << deltas.join("|").toStdString();
    for (const QString &d : deltas) {
        EXPECT_FALSE(d.contains(QChar(0xFFFD)));
        EXPECT_FALSE(d.contains(QStringLiteral("private")));
    }
    for (const QByteArray &line : agent.rawLines)
        EXPECT_FALSE(line.contains("private"));
}

TEST(AgentProcess, SecondRequestWhileBusyIsRefusedAndCancelFreesTheRuntime)
{
    AgentProcess agent;
    agent.setScript(QJsonObject{{"responses", QJsonArray{QJsonObject{{"chunks", QJsonArray{content("partial")}}, {"holdOpen", true}},
                                                         stream({content("fresh")})}}});
    agent.start();
    const AgentRuntimeRequest first = agent.localRun(QStringLiteral("long one"));
    agent.send(first);
    while (auto e = agent.nextEvent())
        if (field(*e, "kind") == QStringLiteral("delta"))
            break;
    const AgentRuntimeRequest second = agent.localRun(QStringLiteral("impatient"));
    agent.send(second);
    const auto refused = agent.eventsUntilDone(second.requestID);
    ASSERT_EQ(refused.size(), 1);
    EXPECT_EQ(field(refused[0], "kind"), QStringLiteral("error"));
    EXPECT_EQ(field(refused[0], "text"), QStringLiteral("Command is already working."));
    EXPECT_EQ(field(refused[0], "code"), QStringLiteral("busy"));

    AgentRuntimeRequest cancel;
    cancel.command = AgentProtocolCommand::cancel;
    agent.send(cancel);
    EXPECT_EQ(field(AgentProcess::last(agent.eventsUntilDone(first.requestID)), "code"), QStringLiteral("cancelled"));

    // Busy lasts until the cancelled run has wound down; then the runtime serves again.
    QString outcome;
    for (int attempt = 0; attempt < 50 && outcome != QStringLiteral("completed"); ++attempt) {
        const QJsonObject end = agent.outcome(agent.localRun(QStringLiteral("again")));
        outcome = field(end, "kind");
        if (outcome != QStringLiteral("completed")) {
            ASSERT_EQ(field(end, "code"), QStringLiteral("busy"));
        } else {
            EXPECT_EQ(field(end, "text"), QStringLiteral("fresh"));
        }
    }
    EXPECT_EQ(outcome, QStringLiteral("completed"));
}

TEST(AgentProcess, CorruptSessionDatabaseIsMovedAsideAndASlowLoadIsReportedRepeatedly)
{
    AgentProcess agent;
    // A model that loads for a few seconds is reported as still loading, again and again.
    agent.setScript(QJsonObject{{"healthFailures", 30}, {"responses", QJsonArray{stream({content("Kept")})}}});
    QDir().mkpath(QFileInfo(agent.sessionPath).absolutePath());
    {
        QFile f(agent.sessionPath);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("SQLite format 3\0 but not really, just noise............................", 70);
    }
    agent.start();
    const AgentRuntimeRequest run = agent.localRun(QStringLiteral("Remember me"));
    agent.send(run);
    const auto events = agent.eventsUntilDone(run.requestID);
    const auto count = [&](const char *key, const char *value) {
        return std::count_if(events.begin(), events.end(), [&](const QJsonObject &e) { return field(e, key) == QLatin1String(value); });
    };
    EXPECT_EQ(count("code", "sessionReset"), 1);
    EXPECT_GE(count("phase", "loadingModel"), 2);
    EXPECT_EQ(field(AgentProcess::last(events), "kind"), QStringLiteral("completed"));
    EXPECT_EQ(QDir(QFileInfo(agent.sessionPath).absolutePath()).entryList({"sessions.sqlite.unreadable-*"}).size(), 1);

    AgentRuntimeRequest load;
    load.command = AgentProtocolCommand::load;
    load.conversationID = agent.conversationID;
    load.sessionPath = agent.sessionPath;
    const auto conversations = agentConversationsFromJson(agent.outcome(load, 3000).value("conversations"));
    ASSERT_TRUE(conversations && conversations->size() == 1);
    EXPECT_EQ(conversations->first().title, QStringLiteral("Remember me"));
    ASSERT_EQ(conversations->first().messages.size(), 2);
    EXPECT_EQ(conversations->first().messages[1].text, QStringLiteral("Kept"));

    // The application clears history by deleting the file: the next continue starts fresh.
    ASSERT_TRUE(QFile::remove(agent.sessionPath));
    AgentRuntimeRequest refine = agent.localRun(QStringLiteral("And again"));
    refine.command = AgentProtocolCommand::continue_;
    EXPECT_EQ(field(agent.outcome(refine), "kind"), QStringLiteral("completed"));
    EXPECT_EQ(messages(agent.chatRequests().last()).size(), 2);
}

TEST(AgentProcess, MalformedLinesAndLocalFailuresBecomeClearErrorsAndTheRuntimeCarriesOn)
{
    AgentProcess agent;
    const QJsonObject overflow{{"code", 400},
                               {"message", "the request exceeds the available context size, try increasing it"},
                               {"type", "exceed_context_size_error"}};
    // An overflow as an HTTP error is walked with the real server; this one comes inside a started stream.
    agent.setScript(QJsonObject{{"responses", QJsonArray{stream({QJsonObject{{"error", overflow}}}),
                                                         stream({content("Kept"), QJsonObject{{"raw", "{\"choices\":[{"}},
                                                                 content(" lost")})}}});
    agent.start();
    // Malformed lines are answered and the runtime carries on; a line over the limit is dropped
    // unread up to its line feed, and the next line is read as usual.
    agent.send("this is not json");
    agent.send(R"({"version":1,"command":"list","attachments":[]})");
    agent.send(R"({"version":1,"command":"run","instruction":")" +
               QByteArray(AgentProtocol::maxLineBytes + 4096, 'x') + R"("})");
    for (int i = 0; i < 3; ++i) {
        const auto e = agent.nextEvent();
        ASSERT_TRUE(e);
        EXPECT_EQ(field(*e, "kind"), QStringLiteral("error"));
        EXPECT_FALSE(e->contains("requestID"));
        EXPECT_FALSE(field(*e, "text").isEmpty());
        if (i == 2) {
            EXPECT_EQ(field(*e, "text"), QStringLiteral("Command received a request longer than 16 MB; it was ignored."));
        }
    }
    const QByteArray id = Json::uuidString(QUuid::createUuid()).toLatin1();
    agent.send(R"({"version":1,"requestID":")" + id + R"(","command":"fly","attachments":[]})");
    agent.send(R"({"version":2,"requestID":")" + id + R"(","command":"list","attachments":[]})");
    agent.send(R"({"version":1,"requestID":")" + id + R"(","command":"run","attachments":"no"})");
    for (const char *code : {"unknownCommand", "unsupportedVersion", "invalidRequest"}) {
        const auto e = agent.nextEvent();
        ASSERT_TRUE(e);
        EXPECT_EQ(field(*e, "requestID"), QString::fromLatin1(id));
        EXPECT_EQ(field(*e, "code"), QLatin1String(code));
    }
    AgentRuntimeRequest list;
    list.command = AgentProtocolCommand::list;
    list.sessionPath = agent.sessionPath;
    const QJsonObject listed = agent.outcome(list);
    EXPECT_EQ(field(listed, "kind"), QStringLiteral("conversations"));
    EXPECT_TRUE(listed.value("conversations").isArray());

    const QJsonObject tooLarge = agent.outcome(agent.localRun(QStringLiteral("Too much")));
    EXPECT_EQ(field(tooLarge, "text"), QStringLiteral("The selected context is too large for this local model."));
    EXPECT_EQ(field(tooLarge, "code"), QStringLiteral("contextTooLarge"));
    // A chunk that does not parse fails the run instead of completing it with a piece missing.
    const QJsonObject garbled = agent.outcome(agent.localRun(QStringLiteral("Garbled")));
    EXPECT_EQ(field(garbled, "code"), QStringLiteral("invalidRuntimeResponse"));
    EXPECT_EQ(field(garbled, "text"), QStringLiteral("Command returned an invalid response."));

    AgentRuntimeRequest noServer = agent.localRun(QStringLiteral("x"));
    noServer.llamaServerPath = agent.scratch.filePath(QStringLiteral("missing-server"));
    EXPECT_EQ(field(agent.outcome(noServer), "code"), QStringLiteral("serverMissing"));
    const QJsonObject noModel = agent.outcome(agent.localRun(QStringLiteral("x"), agent.scratch.filePath(QStringLiteral("gone.gguf"))));
    EXPECT_EQ(field(noModel, "code"), QStringLiteral("modelMissing"));
    EXPECT_TRUE(field(noModel, "text").contains(QStringLiteral("Qwen Writer")));
    EXPECT_EQ(field(agent.outcome(agent.localRun(QStringLiteral("   "))), "text"), QStringLiteral("No instruction was detected."));
    // Every line written, the error answers included, is a well-formed event.
    for (const QByteArray &line : agent.rawLines)
        EXPECT_TRUE(AgentProtocol::decodeEvent(line)) << line.constData();
}
