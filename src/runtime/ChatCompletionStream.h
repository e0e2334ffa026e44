#pragma once

#include "StreamText.h"

#include <QJsonObject>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

class QNetworkAccessManager;

// How a streamed chat completion failed, before it is worded for the user.
struct StreamFailure {
    enum class Kind { http, network, interrupted, serviceError, invalidResponse };
    Kind kind = Kind::network;
    int status = 0;
    QString serviceMessage; // the service's own error text, when it sent one
    QString serviceType;
    QString serviceCode;
    QNetworkReply::NetworkError networkError = QNetworkReply::NoError;
};

// One POST to a chat-completions endpoint with "stream": true. Visible text (reasoning
// removed, characters whole, edges trimmed) is handed out piece by piece as it arrives.
class ChatCompletionStream : public QObject {
    Q_OBJECT
public:
    ChatCompletionStream(QNetworkAccessManager *network, QObject *parent = nullptr);

    std::function<void()> onStarted;                   // the server accepted the request
    std::function<void(const QString &)> onDelta;      // next visible piece

    void start(const QUrl &endpoint, const QJsonObject &body, const QString &bearerToken = {});
    void abort();

    bool succeeded() const { return m_done && !m_failure; }
    const std::optional<StreamFailure> &failure() const { return m_failure; }
    const QString &text() const { return m_text; }

signals:
    void finished();

private:
    void readAvailable();
    void replyFinished();
    void handleEvent(const StreamText::SseParser::Event &event);
    void emitVisible(const QString &piece);
    void fail(StreamFailure failure);
    static void readServiceError(const QJsonValue &error, StreamFailure &failure);

    QNetworkAccessManager *m_network;
    QPointer<QNetworkReply> m_reply;
    StreamText::SseParser m_sse;
    StreamText::DeltaPipeline m_pipeline;
    QByteArray m_errorBody;
    QString m_text;
    std::optional<StreamFailure> m_failure;
    bool m_statusChecked = false;
    bool m_accepted = false;
    bool m_sawDone = false;
    bool m_sawFinishReason = false;
    bool m_done = false;
};
