// Downloads of curated models: every file staged, hashed while it arrives and moved into the
// model's folder only when its digest matches.
#include "models/AgentModelStore.h"

#include "models/BackgroundWork.h"
#include "platform/FileDownloader.h"
#include "platform/Sha256.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>

namespace {
const QString kCancelled = QStringLiteral("The download was cancelled.");
} // namespace

void AgentModelStore::cancelDownload(const QString &id)
{
    if (!m_downloads.activeDownloads().contains(id))
        return;
    m_cancelled.insert(id);
    m_downloader->cancel(id);
}

QCoro::Task<Result<void, QString>> AgentModelStore::download(AgentModelDescriptor model)
{
    if (model.provider != AgentModelProvider::llamaCPP || isAvailable(model))
        co_return {};
    const QString id = model.id;
    m_cancelled.remove(id);
    m_downloads.begin(id);

    const auto fail = [&](const QString &message) -> Result<void, QString> {
        m_cancelled.remove(id);
        m_downloads.finish(id);
        return message;
    };

    const QString folder = modelDirectory(model);
    if (!QDir().mkpath(folder))
        co_return fail(QStringLiteral("The folder “%1” could not be created.").arg(folder));

    qint64 total = 0;
    for (const auto &a : model.artifacts)
        total += a.byteSize;
    total = std::max<qint64>(total, 1);
    qint64 completed = 0;

    for (const AgentModelArtifact &artifact : std::as_const(model.artifacts)) {
        const QString destination = folder + QLatin1Char('/') + artifact.fileName;
        if (QFileInfo::exists(destination)) {
            // A file verified by an earlier attempt is kept; hashing gigabytes stays off the main thread.
            // Named, not temporaries of the co_await expression, which GCC 12 destroys twice.
            std::function<Result<QString, QString>(const BackgroundWork::StopFlag &)> job =
                [destination](const BackgroundWork::StopFlag &) { return Sha256::ofFile(destination); };
            auto hashing = m_work->run(std::move(job));
            const auto digest = co_await std::move(hashing);
            if (m_closing)
                co_return FileDownloader::kStopped;
            if (digest.ok() && digest.value() == artifact.sha256) {
                completed += artifact.byteSize;
                continue;
            }
        }
        if (m_cancelled.contains(id))
            co_return fail(kCancelled);

        FileDownloader::Options options;
        options.tag = id;
        options.transferTimeout = m_transferTimeout;
        options.computeSha256 = true;
        options.progress = [this, id, completed, total, size = artifact.byteSize](qint64 received, qint64 length) {
            const double part = std::floor(double(received) / double(length) * double(size));
            m_downloads.setProgress(id, (double(completed) + part) / double(total));
        };
        auto transfer = m_downloader->fetch(artifact.url, std::move(options));
        const auto staged = co_await std::move(transfer);
        if (m_closing)
            co_return FileDownloader::kStopped;
        if (!staged.ok())
            co_return fail(staged.error());
        if (staged.value().sha256 != artifact.sha256) {
            QFile::remove(staged.value().path);
            co_return fail(QStringLiteral("The downloaded ") + artifact.fileName + QStringLiteral(" failed its integrity check."));
        }
        if (QFileInfo::exists(destination))
            QFile::remove(destination);
        if (auto moved = FileDownloader::moveIntoPlace(staged.value().path, destination); !moved.ok()) {
            QFile::remove(staged.value().path);
            co_return fail(moved.error());
        }
        completed += artifact.byteSize;
        m_downloads.setProgress(id, double(completed) / double(total));
    }

    m_downloads.bumpRevision();
    m_cancelled.remove(id);
    m_downloads.finish(id);
    co_return {};
}
