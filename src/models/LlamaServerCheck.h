#pragma once

#include "platform/Result.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <qcoro/qcorotask.h>

#include <optional>

class QNetworkReply;
class QProcess;

// Proves a GGUF model by starting llama-server for it on 127.0.0.1 and asking for one chat
// completion. Each run owns its server for its whole duration; no server outlives its run or
// this object: destroying it ends every run at once (server killed and reaped, the run finishing
// with kStopped) before it returns, so the owner destroys it while its own members still exist.
class LlamaServerCheck final : public QObject {
    Q_OBJECT

public:
    struct Failure {
        // True for the outcomes the check itself names (server missing, model not loaded, no
        // usable answer); false for anything else, such as a server that could not be started.
        bool named = true;
        QString message;
    };

    explicit LlamaServerCheck(QObject *parent = nullptr);
    ~LlamaServerCheck() override;

    QCoro::Task<Result<void, Failure>> run(QString modelPath, std::optional<QString> projectorPath, bool includeImage);

    void setHealthPolling(int rounds, int pauseMilliseconds)
    {
        m_rounds = rounds;
        m_pause = pauseMilliseconds;
    }
    int runningServers() const;

    // The lines of a server's output worth showing: its error lines (or else its last lines), at
    // most three, without the log's time stamp and level.
    static QStringList lastWords(const QStringList &output);
    static const QString kStopped;

signals:
    // Ends the pauses between readiness polls early (on shutdown).
    void wake();

private:
    QNetworkAccessManager m_network;
    QSet<QNetworkReply *> m_requests;
    bool m_closing = false;
    int m_rounds = 480;
    int m_pause = 250;
};
