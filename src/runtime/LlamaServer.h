#pragma once

#include "RunFailure.h"
#include "platform/Result.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <functional>
#include <memory>

class QNetworkAccessManager;
class QProcess;

// The files one server runs with. Size and modification time are part of it, so a model that
// was replaced in place gets a fresh server too.
struct LlamaServerFiles {
    QString program;
    QString model;
    QString projector; // empty without one
    qint64 modelSize = -1;
    QDateTime modelModified;
    qint64 projectorSize = -1;
    QDateTime projectorModified;

    static LlamaServerFiles describe(const QString &program, const QString &model, const QString &projector);
    bool operator==(const LlamaServerFiles &) const = default;
};

// Keeps at most one llama-server on 127.0.0.1, warm between runs with the same files.
class LlamaServer : public QObject {
    Q_OBJECT
public:
    LlamaServer(QNetworkAccessManager *network, QObject *parent = nullptr);
    ~LlamaServer() override;

    // The server's base address once GET /health answers 200. `onLoading` is called when a
    // server has to be started, and again every `loadingReportInterval` while its health still
    // answers that the model is loading; `cancelled` is asked after every wait.
    QCoro::Task<Result<QUrl, RunFailure>> ensureReady(LlamaServerFiles files, QString modelName,
                                                      std::function<void()> onLoading,
                                                      std::function<bool()> cancelled);
    static constexpr int loadingReportInterval = 2000; // ms
    bool isRunning() const;
    void stop();
    // What the server said went wrong, for error messages: its first error line, else the last
    // line it wrote outside its log (an assertion, an abort), else "".
    QString diagnosticTail() const;
    // Info, debug and warning lines of llama.cpp's log, which start "<time> <level> ", say
    // nothing a user needs when something fails.
    static bool isRoutineLogLine(const QByteArray &line);

private:
    void drainOutput();
    static int freePort();

    QNetworkAccessManager *m_network;
    QProcess *m_process = nullptr;
    LlamaServerFiles m_files;
    QUrl m_base;
    bool m_ready = false;
    QByteArray m_output;
    QByteArray m_partialLine;
};
