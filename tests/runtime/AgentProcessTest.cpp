// The runtime as a real process with the stand-in llama-server: protocol, sessions, supervision.
#include "AgentTestData.h"
#include "AgentProcess.h"

#include <QJsonArray>

#include <algorithm>

namespace {

QJsonObject stream(const QJsonArray &chunks) { return QJsonObject{{"chunks", chunks}}; }
QJsonObject content(const QString &text) { return QJsonObject{{"content", text}}; }

QString messageText(const QJsonObject &request, int index)
{
    return request.value("body").toObject().value("messages").toArray().at(index).toObject().value("content").toString();
}

} // namespace

// Phases, deltas and warm reuse are walked with the real server (RealLlamaServerTest); this checks
// what only the stand-in's log shows: the server's arguments and where each part of a turn goes.
TEST(AgentProcess, ContinueCarriesTheFirstTurnAndKeepsEachPartInItsPlace)
{
    AgentProcess agent;
    agent.setScript(QJsonObject{{"responses", QJsonArray{stream({content("First result")}), stream({content("Second")})}}});
    agent.start();
    AgentRuntimeRequest run = agent.localRun(QStringLiteral("Summarise this"));
    run.personalContext = QStringLiteral("I am Ada, an engineer.");
    run.attachments = {selectedTextAttachment(QStringLiteral("Quarterly numbers went up."))};
    agent.send(run);
    EXPECT_EQ(AgentProcess::last(agent.eventsUntilDone(run.requestID)).value("text").toString(), QStringLiteral("First result"));

    AgentRuntimeRequest refine = agent.localRun(QStringLiteral("Make it shorter"));
    refine.command = AgentProtocolCommand::continue_;
    refine.personalContext = run.personalContext;
    agent.send(refine);
    EXPECT_EQ(AgentProcess::last(agent.eventsUntilDone(refine.requestID)).value("text").toString(), QStringLiteral("Second"));

    ASSERT_EQ(agent.serverPids().size(), 1);
    const QStringList argv = agent.log().first().value("argv").toVariant().toStringList();
    const QStringList expected{"--host",     "127.0.0.1", "--model",  agent.modelPath, "--ctx-size", "8192",
                               "--parallel", "1",         "--jinja", "--no-webui"};
    for (const QString &arg : expected)
        EXPECT_TRUE(argv.contains(arg)) << arg.toStdString();
    EXPECT_FALSE(argv.contains("--mmproj"));

    const auto chats = agent.chatRequests();
    ASSERT_EQ(chats.size(), 2);
    ASSERT_EQ(chats[1].value("body").toObject().value("messages").toArray().size(), 4);
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
    const QString result = AgentProcess::last(events).value("text").toString();
    EXPECT_EQ(result, QString::fromUtf8("Grüße € €!"));
    EXPECT_EQ(AgentProcess::joined(events, "delta"), result);
    QStringList deltas;
    for (const auto &e : events)
        if (e.value("kind").toString() == QStringLiteral("delta"))
            deltas << e.value("text").toString();
    EXPECT_TRUE(deltas.contains(QString::fromUtf8(" €!"))) << deltas.join("|").toStdString();
    for (const QString &d : deltas) {
        EXPECT_FALSE(d.contains(QChar(0xFFFD)));
        EXPECT_FALSE(d.contains(QStringLiteral("private")));
    }
    for (const QByteArray &line : agent.rawLines)
        EXPECT_FALSE(line.contains("private"));
}

TEST(AgentProcess, SlowLoadIsReportedRepeatedlyAndAnotherModelReplacesTheServer)
{
    AgentProcess agent;
    // A model that loads for a few seconds is reported as still loading, again and again.
    agent.setScript(QJsonObject{{"healthFailures", 30}, {"responses", QJsonArray{stream({content("ok")})}}});
    agent.start();
    const AgentRuntimeRequest first = agent.localRun(QStringLiteral("one"));
    agent.send(first);
    const auto cold = agent.eventsUntilDone(first.requestID);
    EXPECT_EQ(AgentProcess::last(cold).value("kind").toString(), QStringLiteral("completed"));
    EXPECT_GE(std::count_if(cold.begin(), cold.end(),
                            [](const QJsonObject &e) { return e.value("phase").toString() == QStringLiteral("loadingModel"); }),
              2);

    const AgentRuntimeRequest other = agent.localRun(QStringLiteral("two"), agent.otherModelPath);
    agent.send(other);
    EXPECT_EQ(AgentProcess::last(agent.eventsUntilDone(other.requestID)).value("kind").toString(), QStringLiteral("completed"));
    const auto pids = agent.serverPids();
    ASSERT_EQ(pids.size(), 2);
    EXPECT_TRUE(AgentProcess::waitUntilGone(pids[0]));
    EXPECT_TRUE(AgentProcess::isAlive(pids[1]));
}

// Shutdown and a killed runtime are walked with the real server; closed input only here.
TEST(AgentProcess, EndOfInputEndsTheRuntimeAndTakesTheServerAlong)
{
    AgentProcess agent;
    agent.setScript(QJsonObject{{"responses", QJsonArray{stream({content("ok")})}}});
    agent.start();
    const AgentRuntimeRequest run = agent.localRun(QStringLiteral("warm up"));
    agent.send(run);
    agent.eventsUntilDone(run.requestID);
    ASSERT_EQ(agent.serverPids().size(), 1);
    const qint64 server = agent.serverPids().first();
    ASSERT_TRUE(AgentProcess::isAlive(server));
    agent.process.closeWriteChannel();
    ASSERT_TRUE(agent.process.waitForFinished(5000));
    EXPECT_EQ(agent.process.exitCode(), 0);
    EXPECT_TRUE(AgentProcess::waitUntilGone(server, 5000));
}

TEST(AgentProcess, SecondRequestWhileBusyIsRefusedAndCancelFreesTheRuntime)
{
    AgentProcess agent;
    agent.setScript(QJsonObject{{"responses", QJsonArray{QJsonObject{{"chunks", QJsonArray{content("partial")}}, {"holdOpen", true}},
                                                         stream({content("fresh")})}}});
    agent.start();
    const AgentRuntimeRequest first = agent.localRun(QStringLiteral("long one"));
    agent.send(first);
    const QString firstID = Json::uuidString(first.requestID);
    while (auto e = agent.nextEvent())
        if (e->value("kind").toString() == QStringLiteral("delta"))
            break;
    const AgentRuntimeRequest second = agent.localRun(QStringLiteral("impatient"));
    agent.send(second);
    const auto refused = agent.eventsUntilDone(second.requestID);
    ASSERT_EQ(refused.size(), 1);
    EXPECT_EQ(refused[0].value("kind").toString(), QStringLiteral("error"));
    EXPECT_EQ(refused[0].value("text").toString(), QStringLiteral("Command is already working."));
    EXPECT_EQ(refused[0].value("code").toString(), QStringLiteral("busy"));

    AgentRuntimeRequest cancel;
    cancel.command = AgentProtocolCommand::cancel;
    agent.send(cancel);
    const auto cancelled = agent.eventsUntilDone(first.requestID);
    EXPECT_EQ(AgentProcess::last(cancelled).value("code").toString(), QStringLiteral("cancelled"));

    // Busy lasts until the cancelled run has wound down; then the runtime serves again.
    QString outcome;
    for (int attempt = 0; attempt < 50 && outcome != QStringLiteral("completed"); ++attempt) {
        const AgentRuntimeRequest next = agent.localRun(QStringLiteral("again"));
        agent.send(next);
        const QJsonObject end = AgentProcess::last(agent.eventsUntilDone(next.requestID));
        outcome = end.value("kind").toString();
        if (outcome != QStringLiteral("completed")) {
            ASSERT_EQ(end.value("code").toString(), QStringLiteral("busy"));
        } else {
            EXPECT_EQ(end.value("text").toString(), QStringLiteral("fresh"));
        }
    }
    EXPECT_EQ(outcome, QStringLiteral("completed"));
}

TEST(AgentProcess, MalformedLinesAreAnsweredAndTheRuntimeCarriesOn)
{
    AgentProcess agent;
    agent.start();
    agent.send("this is not json");
    agent.send(R"({"version":1,"command":"list","attachments":[]})");
    for (int i = 0; i < 2; ++i) {
        const auto e = agent.nextEvent();
        ASSERT_TRUE(e);
        EXPECT_EQ(e->value("kind").toString(), QStringLiteral("error"));
        EXPECT_FALSE(e->contains("requestID"));
        EXPECT_FALSE(e->value("text").toString().isEmpty());
    }
    const QString id = Json::uuidString(QUuid::createUuid());
    agent.send(QByteArray(R"({"version":1,"requestID":")") + id.toLatin1() + R"(","command":"fly","attachments":[]})");
    agent.send(QByteArray(R"({"version":2,"requestID":")") + id.toLatin1() + R"(","command":"list","attachments":[]})");
    agent.send(QByteArray(R"({"version":1,"requestID":")") + id.toLatin1() + R"(","command":"run","attachments":"no"})");
    for (const char *code : {"unknownCommand", "unsupportedVersion", "invalidRequest"}) {
        const auto e = agent.nextEvent();
        ASSERT_TRUE(e);
        EXPECT_EQ(e->value("requestID").toString(), id);
        EXPECT_EQ(e->value("code").toString(), QLatin1String(code));
    }
    AgentRuntimeRequest list;
    list.command = AgentProtocolCommand::list;
    list.sessionPath = agent.sessionPath;
    agent.send(list);
    const auto e = agent.nextEvent();
    ASSERT_TRUE(e);
    EXPECT_EQ(e->value("kind").toString(), QStringLiteral("conversations"));
    EXPECT_TRUE(e->value("conversations").isArray());
    for (const QByteArray &line : agent.rawLines)
        EXPECT_TRUE(AgentProtocol::decodeEvent(line)) << line.constData();
}

TEST(AgentProcess, CorruptSessionDatabaseIsMovedAsideAndConversationsStillWork)
{
    AgentProcess agent;
    agent.setScript(QJsonObject{{"responses", QJsonArray{stream({content("Kept")})}}});
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
    bool warned = false;
    for (const auto &e : events)
        warned = warned || e.value("code").toString() == QStringLiteral("sessionReset");
    EXPECT_TRUE(warned);
    EXPECT_EQ(AgentProcess::last(events).value("kind").toString(), QStringLiteral("completed"));
    EXPECT_EQ(QDir(QFileInfo(agent.sessionPath).absolutePath()).entryList({"sessions.sqlite.unreadable-*"}).size(), 1);

    AgentRuntimeRequest load;
    load.command = AgentProtocolCommand::load;
    load.conversationID = agent.conversationID;
    load.sessionPath = agent.sessionPath;
    agent.send(load);
    const auto loaded = agent.eventsUntilDone(load.requestID, 3000);
    ASSERT_FALSE(loaded.isEmpty());
    const auto conversations = agentConversationsFromJson(loaded.last().value("conversations"));
    ASSERT_TRUE(conversations && conversations->size() == 1);
    EXPECT_EQ(conversations->first().title, QStringLiteral("Remember me"));
    ASSERT_EQ(conversations->first().messages.size(), 2);
    EXPECT_EQ(conversations->first().messages[1].text, QStringLiteral("Kept"));

    // The application clears history by deleting the file: the next continue starts fresh.
    ASSERT_TRUE(QFile::remove(agent.sessionPath));
    AgentRuntimeRequest refine = agent.localRun(QStringLiteral("And again"));
    refine.command = AgentProtocolCommand::continue_;
    agent.send(refine);
    EXPECT_EQ(AgentProcess::last(agent.eventsUntilDone(refine.requestID)).value("kind").toString(), QStringLiteral("completed"));
    EXPECT_EQ(agent.chatRequests().last().value("body").toObject().value("messages").toArray().size(), 2);
}

TEST(AgentProcess, LocalFailuresBecomeClearErrors)
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
    const auto endOf = [&](const AgentRuntimeRequest &r) {
        agent.send(r);
        return AgentProcess::last(agent.eventsUntilDone(r.requestID));
    };
    const QJsonObject tooLarge = endOf(agent.localRun(QStringLiteral("Too much")));
    EXPECT_EQ(tooLarge.value("text").toString(), QStringLiteral("The selected context is too large for this local model."));
    EXPECT_EQ(tooLarge.value("code").toString(), QStringLiteral("contextTooLarge"));

    // A chunk that does not parse fails the run instead of completing it with a piece missing.
    const QJsonObject garbled = endOf(agent.localRun(QStringLiteral("Garbled")));
    EXPECT_EQ(garbled.value("code").toString(), QStringLiteral("invalidRuntimeResponse"));
    EXPECT_EQ(garbled.value("text").toString(), QStringLiteral("Command returned an invalid response."));

    AgentRuntimeRequest noServer = agent.localRun(QStringLiteral("x"));
    noServer.llamaServerPath = agent.scratch.filePath(QStringLiteral("missing-server"));
    EXPECT_EQ(endOf(noServer).value("code").toString(), QStringLiteral("serverMissing"));
    AgentRuntimeRequest noModel = agent.localRun(QStringLiteral("x"), agent.scratch.filePath(QStringLiteral("gone.gguf")));
    const QJsonObject e = endOf(noModel);
    EXPECT_EQ(e.value("code").toString(), QStringLiteral("modelMissing"));
    EXPECT_TRUE(e.value("text").toString().contains(QStringLiteral("Qwen Writer")));
    AgentRuntimeRequest blank = agent.localRun(QStringLiteral("   "));
    EXPECT_EQ(endOf(blank).value("text").toString(), QStringLiteral("No instruction was detected."));
}

TEST(AgentProcess, VisionModelGetsItsProjectorAndTheScreenshotAsAnImage)
{
    AgentProcess agent;
    agent.setScript(QJsonObject{{"responses", QJsonArray{stream({content("Seen")})}}});
    const QString projector = agent.scratch.filePath(QStringLiteral("mmproj.gguf"));
    const QString png = agent.scratch.filePath(QStringLiteral("shot.png"));
    for (const QString &path : {projector, png}) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("\x89PNG-ish bytes");
    }
    agent.start();
    AgentRuntimeRequest run = agent.localRun(QStringLiteral("What is on screen?"));
    run.model = AgentModelDescriptor::catalogEntry(QStringLiteral("qwen25-vl-3b-q4"));
    run.projectorPath = projector;
    run.attachments = {screenshotAttachment(png)};
    agent.send(run);
    EXPECT_EQ(AgentProcess::last(agent.eventsUntilDone(run.requestID)).value("text").toString(), QStringLiteral("Seen"));
    const QStringList argv = agent.log().first().value("argv").toVariant().toStringList();
    ASSERT_TRUE(argv.contains("--mmproj"));
    EXPECT_EQ(argv.value(argv.indexOf("--mmproj") + 1), projector);
    const QJsonArray parts = agent.chatRequests().first().value("body").toObject().value("messages").toArray().last()
                                 .toObject().value("content").toArray();
    ASSERT_EQ(parts.size(), 2);
    EXPECT_EQ(parts[0].toObject().value("type").toString(), QStringLiteral("text"));
    EXPECT_EQ(parts[1].toObject().value("image_url").toObject().value("url").toString(),
              QStringLiteral("data:image/png;base64,") + QString::fromLatin1(QByteArray("\x89PNG-ish bytes").toBase64()));
}
