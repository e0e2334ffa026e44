#include "StreamText.h"

#include <utility>

namespace StreamText {

void SseParser::feed(const QByteArray &bytes)
{
    m_buffer.append(bytes);
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = m_buffer.indexOf('\n', start);
        if (end < 0)
            break;
        QByteArray text = m_buffer.mid(start, end - start);
        if (text.endsWith('\r'))
            text.chop(1);
        start = end + 1;
        line(std::move(text));
    }
    m_buffer.remove(0, start);
}

void SseParser::finish()
{
    if (!m_buffer.isEmpty()) {
        QByteArray rest = std::move(m_buffer);
        m_buffer.clear();
        line(std::move(rest));
    }
    dispatch();
}

void SseParser::line(QByteArray text)
{
    if (text.isEmpty()) {
        dispatch();
        return;
    }
    if (text.startsWith(':'))
        return;
    const qsizetype colon = text.indexOf(':');
    const QByteArray field = colon < 0 ? text : text.left(colon);
    QByteArray value = colon < 0 ? QByteArray() : text.mid(colon + 1);
    if (value.startsWith(' '))
        value.remove(0, 1);
    if (field == "data" || field == "error") {
        if (m_hasData)
            m_event.data.append('\n');
        m_event.data.append(value);
        m_event.isError = m_event.isError || field == "error";
        m_hasData = true;
    }
}

void SseParser::dispatch()
{
    if (!m_hasData)
        return;
    Event event = std::move(m_event);
    m_event = {};
    m_hasData = false;
    if (onEvent)
        onEvent(event);
}

namespace {

int sequenceLength(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

bool validSequence(const QByteArray &bytes, qsizetype at, int length)
{
    if (at + length > bytes.size())
        return false;
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(bytes[at + i]); };
    for (int i = 1; i < length; ++i)
        if ((byte(i) & 0xC0) != 0x80)
            return false;
    const unsigned char lead = byte(0);
    if (length == 3) {
        if (lead == 0xE0 && byte(1) < 0xA0)
            return false; // overlong
        if (lead == 0xED && byte(1) > 0x9F)
            return false; // surrogate
    }
    if (length == 4) {
        if (lead == 0xF0 && byte(1) < 0x90)
            return false;
        if (lead == 0xF4 && byte(1) > 0x8F)
            return false;
    }
    return true;
}

void appendUtf8(QByteArray &out, char32_t cp)
{
    if (cp < 0x80) {
        out.append(char(cp));
    } else if (cp < 0x800) {
        out.append(char(0xC0 | (cp >> 6)));
        out.append(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.append(char(0xE0 | (cp >> 12)));
        out.append(char(0x80 | ((cp >> 6) & 0x3F)));
        out.append(char(0x80 | (cp & 0x3F)));
    } else {
        out.append(char(0xF0 | (cp >> 18)));
        out.append(char(0x80 | ((cp >> 12) & 0x3F)));
        out.append(char(0x80 | ((cp >> 6) & 0x3F)));
        out.append(char(0x80 | (cp & 0x3F)));
    }
}

constexpr char32_t kReplacement = 0xFFFD;

} // namespace

QByteArray escapeInvalidUtf8(const QByteArray &json)
{
    QByteArray out;
    out.reserve(json.size());
    static const char hex[] = "0123456789abcdef";
    qsizetype i = 0;
    while (i < json.size()) {
        const auto lead = static_cast<unsigned char>(json[i]);
        const int length = sequenceLength(lead);
        if (length == 1) {
            out.append(json[i]);
            ++i;
        } else if (length > 1 && validSequence(json, i, length)) {
            out.append(json.constData() + i, length);
            i += length;
        } else {
            out.append("\\udc");
            out.append(hex[lead >> 4]);
            out.append(hex[lead & 0xF]);
            ++i;
        }
    }
    return out;
}

QString Utf8Joiner::feed(const QString &piece)
{
    QString text = piece;
    if (!m_highSurrogate.isNull()) {
        text.prepend(m_highSurrogate);
        m_highSurrogate = QChar();
    }
    QByteArray bytes = std::move(m_bytes);
    m_bytes.clear();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (QChar::isHighSurrogate(u)) {
            if (i + 1 == text.size()) {
                m_highSurrogate = text[i];
            } else if (QChar::isLowSurrogate(text[i + 1].unicode())) {
                appendUtf8(bytes, QChar::surrogateToUcs4(u, text[i + 1].unicode()));
                ++i;
            } else {
                appendUtf8(bytes, kReplacement);
            }
        } else if (u >= 0xDC80 && u <= 0xDCFF) {
            bytes.append(char(u & 0xFF)); // a raw byte escaped by escapeInvalidUtf8
        } else if (QChar::isLowSurrogate(u)) {
            appendUtf8(bytes, kReplacement);
        } else {
            appendUtf8(bytes, u);
        }
    }
    // Keep back a sequence that has not yet received all of its bytes.
    for (qsizetype k = 1; k <= 3 && k <= bytes.size(); ++k) {
        const auto b = static_cast<unsigned char>(bytes[bytes.size() - k]);
        if ((b & 0xC0) == 0x80)
            continue;
        if (sequenceLength(b) > k) {
            m_bytes = bytes.right(k);
            bytes.chop(k);
        }
        break;
    }
    return QString::fromUtf8(bytes);
}

QString Utf8Joiner::finish()
{
    QString rest = QString::fromUtf8(m_bytes);
    if (!m_highSurrogate.isNull())
        rest.append(QChar(kReplacement));
    m_bytes.clear();
    m_highSurrogate = QChar();
    return rest;
}

namespace {

const QString kOpen = QStringLiteral("<think>");
const QString kClose = QStringLiteral("</think>");

qsizetype leadingSpace(const QString &text)
{
    qsizetype n = 0;
    while (n < text.size() && text[n].isSpace())
        ++n;
    return n;
}

} // namespace

QString ThinkFilter::feed(const QString &piece)
{
    if (m_state == State::passing)
        return piece;
    m_held += piece;
    if (m_state == State::deciding) {
        const QStringView rest = QStringView(m_held).mid(leadingSpace(m_held));
        if (rest.startsWith(kOpen)) {
            m_state = State::inside;
        } else if (QStringView(kOpen).startsWith(rest)) {
            return {}; // white space, or a start that may still become the tag
        } else {
            m_state = State::passing;
            return std::exchange(m_held, QString());
        }
    }
    const qsizetype close = m_held.indexOf(kClose);
    if (close < 0)
        return {};
    m_state = State::passing;
    const QString answer = m_held.mid(close + kClose.size());
    m_held.clear();
    return answer;
}

QString ThinkFilter::finish()
{
    // A block that never closed was not reasoning but the answer itself, which happens to start
    // with the tag: it is given back whole rather than lost.
    m_state = State::passing;
    return std::exchange(m_held, QString());
}

QString EdgeTrimmer::feed(const QString &piece)
{
    QString text = piece;
    if (!m_started) {
        qsizetype first = 0;
        while (first < text.size() && text[first].isSpace())
            ++first;
        text.remove(0, first);
        if (text.isEmpty())
            return {};
        m_started = true;
    }
    qsizetype end = text.size();
    while (end > 0 && text[end - 1].isSpace())
        --end;
    if (end == 0) {
        m_held += text;
        return {};
    }
    QString out = m_held + text.left(end);
    m_held = text.mid(end);
    return out;
}

QString DeltaPipeline::feed(const QString &content)
{
    return m_trim.feed(m_think.feed(m_joiner.feed(content)));
}

QString DeltaPipeline::finish()
{
    QString tail = m_think.feed(m_joiner.finish());
    tail += m_think.finish();
    return m_trim.feed(tail);
}

} // namespace StreamText
