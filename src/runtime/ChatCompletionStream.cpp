#include "ChatCompletionStream.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkRequest>

#include <cstdio>

ChatCompletionStream::ChatCompletionStream(QNetworkAccessManager *network, QObject *parent)
    : QObject(parent), m_network(network)
{
    m_sse.onEvent = [this](const StreamText::SseParser::Event &event) { handleEvent(event); };
}

void ChatCompletionStream::start(const QUrl &endpoint, const QJsonObject &body, const QString &bearerToken)
{
    QNetworkRequest request(endpoint);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setRawHeader("Accept", "text/event-stream");
    if (!bearerToken.isEmpty())
        request.setRawHeader("Authorization", "Bearer " + bearerToken.toUtf8());
    // Inactivity limit: a stream that stalls this long is treated as lost.
    request.setTransferTimeout(120000);
    m_reply = m_network->post(request, QJsonDocument(body).toJson(QJsonDocument::Compact));
    connect(m_reply, &QNetworkReply::readyRead, this, &ChatCompletionStream::readAvailable);
    connect(m_reply, &QNetworkReply::finished, this, &ChatCompletionStream::replyFinished);
}

void ChatCompletionStream::abort()
{
    if (m_reply && m_reply->isRunning())
        m_reply->abort();
}

void ChatCompletionStream::readAvailable()
{
    if (!m_reply)
        return;
    if (!m_statusChecked) {
        const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        if (!status.isValid())
            return; // headers not complete yet
        m_statusChecked = true;
        const int code = status.toInt();
        m_accepted = code >= 200 && code < 300;
        if (m_accepted && onStarted)
            onStarted();
    }
    const QByteArray bytes = m_reply->readAll();
    if (!m_accepted) {
        if (m_errorBody.size() < 65536)
            m_errorBody.append(bytes);
        return;
    }
    if (!m_failure)
        m_sse.feed(bytes);
}

void ChatCompletionStream::handleEvent(const StreamText::SseParser::Event &event)
{
    if (m_failure || m_sawDone)
        return;
    const QByteArray data = event.data.trimmed();
    if (data == "[DONE]") {
        m_sawDone = true;
        return;
    }
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(StreamText::escapeInvalidUtf8(data), &parseError);
    // Skipping a chunk would complete the run with part of the text missing.
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        std::fprintf(stderr, "orvel-agent: unreadable stream data: %s\n", data.left(200).constData());
        StreamFailure failure;
        failure.kind = StreamFailure::Kind::invalidResponse;
        fail(failure);
        return;
    }
    const QJsonObject object = doc.object();
    if (event.isError || object.contains(QStringLiteral("error"))) {
        StreamFailure failure;
        failure.kind = StreamFailure::Kind::serviceError;
        readServiceError(event.isError && !object.contains(QStringLiteral("error")) ? QJsonValue(object)
                                                                                     : object.value(QStringLiteral("error")),
                         failure);
        fail(failure);
        return;
    }
    const QJsonObject choice = object.value(QStringLiteral("choices")).toArray().at(0).toObject();
    if (!choice.value(QStringLiteral("finish_reason")).isNull() &&
        !choice.value(QStringLiteral("finish_reason")).isUndefined())
        m_sawFinishReason = true;
    // "reasoning_content" is the model thinking aloud; it is never shown.
    const QJsonValue content = choice.value(QStringLiteral("delta")).toObject().value(QStringLiteral("content"));
    if (content.isString())
        emitVisible(m_pipeline.feed(content.toString()));
}

void ChatCompletionStream::emitVisible(const QString &piece)
{
    if (piece.isEmpty())
        return;
    m_text += piece;
    if (onDelta)
        onDelta(piece);
}

void ChatCompletionStream::readServiceError(const QJsonValue &error, StreamFailure &failure)
{
    if (error.isString()) {
        failure.serviceMessage = error.toString();
        return;
    }
    const QJsonObject o = error.toObject();
    failure.serviceMessage = o.value(QStringLiteral("message")).toString();
    failure.serviceType = o.value(QStringLiteral("type")).toString();
    const QJsonValue code = o.value(QStringLiteral("code"));
    failure.serviceCode = code.isString() ? code.toString() : QString();
}

void ChatCompletionStream::fail(StreamFailure failure)
{
    if (m_failure)
        return;
    m_failure = std::move(failure);
    abort();
}

void ChatCompletionStream::replyFinished()
{
    if (!m_reply)
        return;
    if (!m_failure) {
        readAvailable();
        if (m_reply->error() != QNetworkReply::NoError)
            std::fprintf(stderr, "orvel-agent: chat request: %s\n", qPrintable(m_reply->errorString()));
        const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const QNetworkReply::NetworkError error = m_reply->error();
        if (!status.isValid()) {
            StreamFailure failure;
            failure.kind = StreamFailure::Kind::network;
            failure.networkError = error;
            m_failure = failure;
        } else if (!m_accepted) {
            StreamFailure failure;
            failure.kind = StreamFailure::Kind::http;
            failure.status = status.toInt();
            failure.networkError = error;
            const QJsonObject body = QJsonDocument::fromJson(m_errorBody).object();
            if (body.contains(QStringLiteral("error")))
                readServiceError(body.value(QStringLiteral("error")), failure);
            else if (body.contains(QStringLiteral("message")))
                readServiceError(body, failure);
            m_failure = failure;
        } else {
            m_sse.finish();
            if (!m_failure && (error != QNetworkReply::NoError || (!m_sawDone && !m_sawFinishReason))) {
                StreamFailure failure;
                failure.kind = StreamFailure::Kind::interrupted;
                failure.networkError = error;
                m_failure = failure;
            }
            if (!m_failure)
                emitVisible(m_pipeline.finish());
        }
    }
    m_done = true;
    m_reply->deleteLater();
    m_reply = nullptr;
    // Later, so that whoever waits may delete this object without pulling it from under a caller.
    QMetaObject::invokeMethod(this, &ChatCompletionStream::finished, Qt::QueuedConnection);
}
