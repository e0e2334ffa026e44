#include "ModelStore.h"

#include "platform/Json.h"
#include "speech/AppPaths.h"
#include "speech/ResourceLocator.h"

#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <cstdio>

namespace {

QString newName(const QString &prefix, const QString &suffix)
{
    return prefix + Json::uuidString(QUuid::createUuid()) + suffix;
}

} // namespace

ModelStore::ModelStore(QObject *parent) : QObject(parent)
{
    connect(&m_downloads, &DownloadLedger::progressChanged, this, &ModelStore::progressChanged);
    connect(&m_downloads, &DownloadLedger::activeDownloadsChanged, this, &ModelStore::activeDownloadsChanged);
    connect(&m_downloads, &DownloadLedger::revisionChanged, this, &ModelStore::revisionChanged);
    (void)AppPaths::prepare();
    bootstrapBundledPocket();
}

ModelStore::~ModelStore()
{
    // Running downloads end here, with their staged files, while the store is still whole.
    m_closing = true;
    m_downloader.shutdown();
}

QString ModelStore::installedPath(const SpeechModel &model) { return AppPaths::modelFile(model.fileName); }

bool ModelStore::isInstalled(const SpeechModel &model) { return QFileInfo::exists(installedPath(model)); }

void ModelStore::bootstrapBundledPocket()
{
    const SpeechModel &pocket = SpeechModel::catalog().first();
    if (isInstalled(pocket))
        return;
    const auto shipped = ResourceLocator::file(QStringLiteral("ggml-tiny.en-q5_1.bin"));
    if (!shipped)
        return;
    // Copied under a temporary name first, so an interrupted copy never looks installed.
    const QString partial = AppPaths::modelFile(newName(QStringLiteral(".orvel-plus-"), QStringLiteral(".partial")));
    if (QFile::copy(*shipped, partial)) {
        if (::rename(QFile::encodeName(partial).constData(), QFile::encodeName(installedPath(pocket)).constData()) != 0)
            QFile::remove(partial);
    } else {
        QFile::remove(partial);
    }
    m_downloads.bumpRevision();
}

Result<void, QString> ModelStore::deleteModel(const SpeechModel &model)
{
    const QString path = installedPath(model);
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return {};
    QFile file(path);
    if (!file.remove())
        return QStringLiteral("The model could not be removed: %1").arg(file.errorString());
    m_downloads.bumpRevision();
    return {};
}

QString ModelStore::cancelledMessage() { return QStringLiteral("The download was cancelled."); }

void ModelStore::cancelDownload(const SpeechModel &model) { m_downloader.cancel(model.id); }

QCoro::Task<Result<void, QString>> ModelStore::download(SpeechModel model)
{
    const QString destination = installedPath(model);
    return downloadTo(std::move(model), destination);
}

QCoro::Task<Result<void, QString>> ModelStore::downloadTo(SpeechModel model, QString destination)
{
    if (QFileInfo::exists(destination))
        co_return {};

    const QString id = model.id;
    m_downloads.begin(id);

    FileDownloader::Options options;
    options.tag = id;
    options.transferTimeout = m_transferTimeout;
    options.progress = [this, id](qint64 received, qint64 total) { m_downloads.setProgress(id, double(received) / double(total)); };
    auto transfer = m_downloader.fetch(model.url, std::move(options));
    const auto staged = co_await std::move(transfer);
    if (m_closing)
        co_return FileDownloader::kStopped;
    if (!staged.ok()) {
        m_downloads.finish(id);
        co_return staged.error();
    }
    if (auto moved = FileDownloader::moveIntoPlace(staged.value().path, destination); !moved.ok()) {
        QFile::remove(staged.value().path);
        m_downloads.finish(id);
        co_return moved.error();
    }
    m_downloads.bumpRevision();
    m_downloads.finish(id);
    co_return {};
}
