// orvel-speech: keeps one speech model loaded and transcribes WAV files on request.
// One JSON object a line on standard input and output, answered in order:
//   (at start)                                              → {"type":"ready"}
//   {"type":"load","engine":"whisper"|"parakeet","model":PATH,"threads":N}
//                                                           → {"type":"loaded","device":TEXT} or an error
//   {"type":"transcribe","id":N,"audio":PATH,"language":"en"|"auto","vocabulary":[TERM…]}
//                                                           → {"type":"progress","id":N,"percent":P}…, then
//                                                             {"type":"transcript","id":N,"text":TEXT} or an error
//   error: {"type":"error","id":N (when it answers a transcription),
//           "kind":"transcriptionFailed"|"emptyTranscript","message":TEXT}
// A transcription after a failed load fails with the load's message. Ends at the end of its input.
#include "Engine.h"
#include "speech/Vocabulary.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <ggml-backend.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

namespace {

void send(const QJsonObject &message)
{
    const QByteArray line = QJsonDocument(message).toJson(QJsonDocument::Compact) + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
}

QJsonObject error(const QJsonValue &id, const char *kind, const std::string &message)
{
    QJsonObject reply{{QStringLiteral("type"), QStringLiteral("error")},
                      {QStringLiteral("kind"), QString::fromLatin1(kind)},
                      {QStringLiteral("message"), QString::fromStdString(message)}};
    if (!id.isUndefined())
        reply.insert(QStringLiteral("id"), id);
    return reply;
}

void transcribe(Engine &engine, const QJsonObject &request)
{
    const QJsonValue id = request.value(QStringLiteral("id"));
    QStringList vocabulary;
    for (const QJsonValue &term : request.value(QStringLiteral("vocabulary")).toArray())
        vocabulary << term.toString();
    const std::string prompt = Vocabulary::prompt(vocabulary).toStdString();
    int lastPercent = -1;
    const Engine::Progress progress = [&](int percent) {
        if (percent == lastPercent)
            return;
        lastPercent = percent;
        send({{QStringLiteral("type"), QStringLiteral("progress")}, {QStringLiteral("id"), id},
              {QStringLiteral("percent"), percent}});
    };
    const auto outcome = engine.transcribe(request.value(QStringLiteral("audio")).toString().toStdString(),
                                           request.value(QStringLiteral("language")).toString().toStdString(), prompt,
                                           progress);
    switch (outcome.kind) {
    case Engine::Outcome::Kind::failed:
        return send(error(id, "transcriptionFailed", outcome.text));
    case Engine::Outcome::Kind::empty:
        return send(error(id, "emptyTranscript", {}));
    case Engine::Outcome::Kind::text:
        break;
    }
    // Broken UTF-8 (a character split between tokens) keeps the rest of the text.
    const QString text = Vocabulary::normalize(QString::fromUtf8(outcome.text), vocabulary);
    send({{QStringLiteral("type"), QStringLiteral("transcript")}, {QStringLiteral("id"), id},
          {QStringLiteral("text"), text}});
}

} // namespace

int main(int argc, char **argv)
{
    Engine::captureLogs();
    // The private engine folder's backends first: the libraries' built-in folder may not exist here.
    const char *backends = nullptr;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--backends") == 0)
            backends = argv[i + 1];
    if (backends)
        ggml_backend_load_all_from_path(backends);
    else
        ggml_backend_load_all();

    Engine engine;
    send({{QStringLiteral("type"), QStringLiteral("ready")}});
    std::string line;
    // Ends when the program that started us closes our input, or goes away.
    while (std::getline(std::cin, line)) {
        const QJsonObject request = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        const QString type = request.value(QStringLiteral("type")).toString();
        if (type == QLatin1String("load")) {
            const std::string failure =
                engine.load(request.value(QStringLiteral("engine")).toString().toStdString(),
                            request.value(QStringLiteral("model")).toString().toStdString(),
                            std::clamp(request.value(QStringLiteral("threads")).toInt(2), 1, 64));
            if (failure.empty())
                send({{QStringLiteral("type"), QStringLiteral("loaded")},
                      {QStringLiteral("device"), QString::fromStdString(engine.device())}});
            else
                send(error(QJsonValue::Undefined, "transcriptionFailed", failure));
        } else if (type == QLatin1String("transcribe")) {
            transcribe(engine, request);
        } else {
            send(error(request.value(QStringLiteral("id")), "transcriptionFailed",
                       "orvel-speech: unknown request '" + line.substr(0, 80) + "'"));
        }
    }
    return 0;
}
