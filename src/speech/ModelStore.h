#pragma once

#include "platform/Result.h"
#include "speech/SpeechModel.h"

#include "platform/DownloadLedger.h"
#include "platform/FileDownloader.h"

#include <QMap>
#include <QObject>
#include <QSet>

#include <qcoro/qcorotask.h>

// Installs, removes and lists the speech-model files in the models folder. A model is installed
// exactly when its file exists; a download appears there only by one final rename.
class ModelStore final : public QObject {
    Q_OBJECT

public:
    explicit ModelStore(QObject *parent = nullptr);
    ~ModelStore() override;

    const QList<SpeechModel> &catalog() const { return SpeechModel::catalog(); }
    // Fraction 0…1 of each running download, by model id.
    const QMap<QString, double> &progress() const { return m_downloads.progress(); }
    const QSet<QString> &activeDownloads() const { return m_downloads.activeDownloads(); }
    // Grows whenever the set of installed files changes.
    int revision() const { return m_downloads.revision(); }

    static QString installedPath(const SpeechModel &model);
    static bool isInstalled(const SpeechModel &model);

    // Returns once the file is in place; the error text is for the user.
    QCoro::Task<Result<void, QString>> download(SpeechModel model);
    // The same into another file, such as the program's shipped copy.
    QCoro::Task<Result<void, QString>> downloadTo(SpeechModel model, QString destination);
    Result<void, QString> deleteModel(const SpeechModel &model);
    // Stops a running download of the model; its download() then fails with
    // cancelledMessage() and installs nothing.
    void cancelDownload(const SpeechModel &model);
    static QString cancelledMessage();
    // Puts the shipped smallest model in place when it is missing.
    void bootstrapBundledPocket();

    // How long a transfer may stall before it fails.
    void setTransferTimeout(int milliseconds) { m_transferTimeout = milliseconds; }

signals:
    void progressChanged();
    void activeDownloadsChanged();
    void revisionChanged();

private:
    DownloadLedger m_downloads;
    int m_transferTimeout = 60000;
    bool m_closing = false;
    FileDownloader m_downloader;
};
