#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// The pieces between the HTTP byte stream and a `delta` line: server-sent events, UTF-8 that
// may arrive split anywhere, reasoning blocks that must never reach the user, and white space
// around the result.
namespace StreamText {

// Splits a server-sent-event stream into events. `data:` lines of one event are joined by line
// feeds; an `error:` field (older llama-server builds) marks the event as an error.
class SseParser {
public:
    struct Event {
        QByteArray data;
        bool isError = false;
    };
    std::function<void(const Event &)> onEvent;

    void feed(const QByteArray &bytes);
    // End of stream: an event still missing its blank line is delivered.
    void finish();

private:
    void line(QByteArray text);
    void dispatch();
    QByteArray m_buffer;
    Event m_event;
    bool m_hasData = false;
};

// JSON strings may carry half a character when a server cuts a token inside a multi-byte
// sequence. Such bytes are rewritten as escaped lone surrogates (U+DC80 + byte) so the JSON
// still parses; `Utf8Joiner` turns them back into bytes.
QByteArray escapeInvalidUtf8(const QByteArray &json);

// Joins decoded text pieces so that a character split across pieces (raw bytes, or a
// surrogate pair cut in two) comes out whole, in the later piece.
class Utf8Joiner {
public:
    QString feed(const QString &piece);
    QString finish();

private:
    QByteArray m_bytes;   // trailing bytes of an incomplete sequence
    QChar m_highSurrogate; // a high surrogate waiting for its partner
};

// Drops a reasoning block that opens the reply (<think> … </think>, also when a tag is cut
// across pieces). Tags anywhere else are the answer's own text and pass unchanged.
class ThinkFilter {
public:
    QString feed(const QString &piece);
    QString finish();

private:
    enum class State { deciding, inside, passing };
    State m_state = State::deciding;
    QString m_held;
};

// Leading and trailing white space never reach the result: white space is held back until
// something visible follows it.
class EdgeTrimmer {
public:
    QString feed(const QString &piece);

private:
    QString m_held;
    bool m_started = false;
};

// The whole chain for one streamed reply.
class DeltaPipeline {
public:
    QString feed(const QString &content);
    QString finish();

private:
    Utf8Joiner m_joiner;
    ThinkFilter m_think;
    EdgeTrimmer m_trim;
};

} // namespace StreamText
