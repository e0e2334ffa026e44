#pragma once

#include "models/AgentModelDescriptor.h"
#include "models/ModelServer.h"
#include "platform/DownloadLedger.h"
#include "platform/Result.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>

#include <qcoro/qcorotask.h>

#include <atomic>
#include <memory>
#include <optional>

class BackgroundWork;
class FileDownloader;
class LlamaServerCheck;
class StoreFile;

// Installs local writing models: verified downloads of the curated GGUF files, imports of GGUF
// files the user picks (proven by one chat request to llama-server), the list of imports in
// custom-models.json, and removal. A model is installed exactly when its files exist.
// Lives on the main thread; every published value announces itself with a signal.
class AgentModelStore final : public QObject {
    Q_OBJECT

public:
    explicit AgentModelStore(QObject *parent = nullptr);
    ~AgentModelStore() override;

    // Published values.
    // Fraction 0…1 of each running download, by model id, over all of the model's files.
    const QMap<QString, double> &progress() const { return m_downloads.progress(); }
    const QSet<QString> &activeDownloads() const { return m_downloads.activeDownloads(); }
    // Imported models whose files are present, in import order.
    const QList<AgentModelDescriptor> &customModels() const { return m_customModels; }
    // The warning of the most recent import, for the Models screen.
    const std::optional<QString> &lastImportWarning() const { return m_lastImportWarning; }
    // Grows whenever installed files or the imported list change.
    int revision() const { return m_downloads.revision(); }

    // The catalog followed by the imports.
    QList<AgentModelDescriptor> allModels() const;
    // The catalog entry with that id, else the imported model or the server's model with that id.
    std::optional<AgentModelDescriptor> descriptor(const QString &id) const;

    // The user's OpenAI-compatible servers, in the order they were added (model-servers.json).
    const QList<ModelServer> &servers() const { return m_servers; }
    // The server whose model has that writing-model id.
    std::optional<ModelServer> serverForModel(const QString &modelID) const;
    // Keeps the server; false when it could not be written down (nothing changes then).
    bool addServer(const ModelServer &server);
    bool removeServer(const QUuid &id);

    // System and cloud models always; a local model when it has files and all of them exist.
    static bool isAvailable(const AgentModelDescriptor &model);
    // The writing-models folder, and one model's folder in it.
    static QString modelsDirectory();
    static QString modelDirectory(const AgentModelDescriptor &model);
    // The local model file, when the model has one.
    static std::optional<QString> modelPath(const AgentModelDescriptor &model);
    // The vision projector, only when the model takes images and has one.
    static std::optional<QString> projectorPath(const AgentModelDescriptor &model);
    // The shipped inference server, found like every other shipped program.
    static std::optional<QString> llamaServerPath();

    // Installs every file of a curated local model; returns at once when nothing is missing.
    // The error text is for the user.
    QCoro::Task<Result<void, QString>> download(AgentModelDescriptor model);
    // Stops a running download; it then fails with "The download was cancelled." and leaves
    // only the files that were already complete.
    void cancelDownload(const QString &id);
    // Removes a local model's folder and, for an import, its record.
    Result<void, QString> deleteModel(const AgentModelDescriptor &model);
    // Copies, validates and registers a GGUF file the user chose, with an optional vision projector.
    // Files are read off the main thread; only regular files are opened.
    QCoro::Task<Result<AgentModelDescriptor, QString>> importGGUF(QString modelFile, std::optional<QString> projectorFile,
                                                                 QString displayName);
    // Stops the running import; it fails with "The import was stopped." and leaves nothing behind.
    void cancelImport();

    // Test and tuning knobs.
    // How long a transfer may stall before it fails.
    void setTransferTimeout(int milliseconds) { m_transferTimeout = milliseconds; }
    // Rounds and pause of the validation server's readiness polling.
    void setHealthPolling(int rounds, int pauseMilliseconds);
    // Validation servers running right now (at most one per import in progress).
    int runningValidationServers() const;

    // Every character that is not a letter, mark or number of any script, nor ".", "_" or "-",
    // becomes "_".
    static QString safeFileName(const QString &name);

signals:
    void progressChanged();
    void activeDownloadsChanged();
    void customModelsChanged();
    void lastImportWarningChanged();
    void revisionChanged();
    void serversChanged();

private:
    void loadCustomModels();
    void removeAbandonedImports();
    void saveCustomModels();
    void loadServers();
    bool saveServers(const QList<ModelServer> &servers);
    void setLastImportWarning(std::optional<QString> warning);

    DownloadLedger m_downloads;
    QList<AgentModelDescriptor> m_customModels;
    QList<ModelServer> m_servers;
    std::optional<QString> m_lastImportWarning;
    int m_transferTimeout = 60000;
    // Set while the store is being destroyed: coroutines resumed by the workers' shutdown stop there.
    bool m_closing = false;
    // Folders of imports in progress; removed when the store goes away mid-import.
    QSet<QString> m_importFolders;
    QSet<QString> m_cancelled;
    std::shared_ptr<std::atomic<bool>> m_importStop;
    std::unique_ptr<FileDownloader> m_downloader;
    std::unique_ptr<BackgroundWork> m_work;
    std::unique_ptr<LlamaServerCheck> m_check;
    std::unique_ptr<StoreFile> m_file;
};
