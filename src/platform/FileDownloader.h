#pragma once

#include "platform/Result.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>

#include <qcoro/qcorotask.h>

#include <functional>

class QNetworkReply;

// Fetches one URL into a staged file "orvel-plus-<UUID>.download" in the temporary folder. The
// body is written (and optionally hashed) as it arrives; error pages, short bodies, stalls and
// cancellation leave no staged file behind. Main thread only.
class FileDownloader final : public QObject {
    Q_OBJECT

public:
    struct Options {
        // Cancel by this tag; several transfers may share one.
        QString tag;
        // How long the transfer may stall before it fails.
        int transferTimeout = 60000;
        bool computeSha256 = false;
        // Bytes received so far and the announced length; not called when no length is announced.
        std::function<void(qint64 received, qint64 total)> progress;
    };

    // A complete transfer. The caller owns the staged file from here on: move it or remove it.
    struct Staged {
        QString path;
        qint64 size = 0;
        QString sha256; // empty unless asked for
    };

    explicit FileDownloader(QObject *parent = nullptr);
    ~FileDownloader() override;

    // Ends every running transfer at once: each fetch finishes with kStopped before this returns
    // (its awaiting coroutine runs to its next suspension meanwhile) and no staged file remains.
    // The owner calls it from its destructor while its own members still exist; fetch refuses
    // work afterwards.
    void shutdown();
    static const QString kStopped;

    // The error text is for the user.
    QCoro::Task<Result<Staged, QString>> fetch(QUrl url, Options options);
    void cancel(const QString &tag);

    static QString stagedFilePath();
    // rename(2) into place; across file systems through a hidden copy beside the destination, so
    // the destination only ever appears whole. The staged file is gone afterwards on success.
    static Result<void, QString> moveIntoPlace(const QString &staged, const QString &destination);

private:
    struct Transfer {
        QNetworkReply *reply = nullptr;
        QString tag;
        QString stagedPath;
        bool cancelled = false;
    };

    QNetworkAccessManager m_network;
    QList<Transfer *> m_transfers;
    bool m_closing = false;
};
