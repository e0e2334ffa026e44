#include "ModelStore.h"

#include "platform/Json.h"
#include "speech/AppPaths.h"
#include "speech/ResourceLocator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkReply>
#include <QPointer>
#include <QUuid>

#include <qcoro/qcoronetworkreply.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

QString newName(const QString &prefix, const QString &suffix)
{
    return prefix + Json::uuidString(QUuid::createUuid()) + suffix;
}

// rename(2) replaces the destination atomically. Across file systems the file is first copied
// next to the destination under a hidden name, so the destination still only ever appears whole.
Result<void, QString> moveIntoPlace(const QString &staged, const QString &destination)
{
    const QByteArray from = QFile::encodeName(staged);
    const QByteArray to = QFile::encodeName(destination);
    if (::rename(from.constData(), to.constData()) == 0)
        return {};
    if (errno != EXDEV)
        return QStringLiteral("The model could not be moved into place: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    const QFileInfo dest(destination);
    const QString nearby = dest.absolutePath() + QLatin1Char('/') + newName(QStringLiteral(".orvel-plus-"), QStringLiteral(".partial"));
    if (!QFile::copy(staged, nearby)) {
        QFile::remove(nearby);
        return QStringLiteral("The model could not be copied into place.");
    }
    if (::rename(QFile::encodeName(nearby).constData(), to.constData()) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        QFile::remove(nearby);
        return QStringLiteral("The model could not be moved into place: %1").arg(reason);
    }
    QFile::remove(staged);
    return {};
}

} // namespace

ModelStore::ModelStore(QObject *parent) : QObject(parent)
{
    (void)AppPaths::prepare();
    bootstrapBundledPocket();
}

ModelStore::~ModelStore()
{
    // Downloads still running are dropped together with their staged files.
    for (QNetworkReply *reply : std::as_const(m_replies)) {
        reply->disconnect();
        reply->abort();
    }
    for (const QString &path : std::as_const(m_stagedFiles))
        QFile::remove(path);
}

QString ModelStore::installedPath(const SpeechModel &model) { return AppPaths::modelFile(model.fileName); }

bool ModelStore::isInstalled(const SpeechModel &model) { return QFileInfo::exists(installedPath(model)); }

void ModelStore::bumpRevision()
{
    ++m_revision;
    emit revisionChanged();
}

void ModelStore::setProgress(const QString &id, double fraction)
{
    m_progress.insert(id, fraction);
    emit progressChanged();
}

void ModelStore::finishDownload(const QString &id)
{
    m_activeDownloads.remove(id);
    m_progress.remove(id);
    emit activeDownloadsChanged();
    emit progressChanged();
}

void ModelStore::bootstrapBundledPocket()
{
    const SpeechModel &pocket = SpeechModel::catalog().first();
    if (isInstalled(pocket))
        return;
    const auto shipped = ResourceLocator::file(QStringLiteral("ggml-tiny.en-q5_1.bin"));
    if (!shipped)
        return;
    // Copied under a temporary name first, so an interrupted copy never looks installed.
    const QString partial = AppPaths::models() + QLatin1Char('/') + newName(QStringLiteral(".orvel-plus-"), QStringLiteral(".partial"));
    if (QFile::copy(*shipped, partial)) {
        if (::rename(QFile::encodeName(partial).constData(), QFile::encodeName(installedPath(pocket)).constData()) != 0)
            QFile::remove(partial);
    } else {
        QFile::remove(partial);
    }
    bumpRevision();
}

Result<void, QString> ModelStore::deleteModel(const SpeechModel &model)
{
    const QString path = installedPath(model);
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return {};
    QFile file(path);
    if (!file.remove())
        return QStringLiteral("The model could not be removed: %1").arg(file.errorString());
    bumpRevision();
    return {};
}

QCoro::Task<Result<void, QString>> ModelStore::download(SpeechModel model)
{
    const QString destination = installedPath(model);
    if (QFileInfo::exists(destination))
        co_return {};

    const QString id = model.id;
    m_activeDownloads.insert(id);
    emit activeDownloadsChanged();
    setProgress(id, 0);

    QPointer<ModelStore> self(this);
    const QString stagedPath = QDir::tempPath() + QLatin1Char('/') + newName(QStringLiteral("orvel-plus-"), QStringLiteral(".download"));
    auto staged = std::make_shared<QFile>(stagedPath);
    const auto fail = [&](const QString &message) -> Result<void, QString> {
        staged->close();
        QFile::remove(stagedPath);
        if (self) {
            m_stagedFiles.remove(stagedPath);
            finishDownload(id);
        }
        return message;
    };
    if (!staged->open(QIODevice::WriteOnly | QIODevice::Truncate))
        co_return fail(QStringLiteral("The download could not be staged: %1").arg(staged->errorString()));
    m_stagedFiles.insert(stagedPath);

    QNetworkRequest request(model.url);
    request.setTransferTimeout(m_transferTimeout);
    QNetworkReply *reply = m_network.get(request);
    m_replies.insert(reply);

    // The body goes straight to the staged file; an error page is never written.
    auto writeFailed = std::make_shared<bool>(false);
    auto written = std::make_shared<qint64>(0);
    connect(reply, &QNetworkReply::readyRead, reply, [reply, staged, writeFailed, written] {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray chunk = reply->readAll();
        if (*writeFailed || (status != 0 && (status < 200 || status > 299)))
            return;
        if (staged->write(chunk) != chunk.size()) {
            *writeFailed = true;
            reply->abort();
            return;
        }
        *written += chunk.size();
    });
    // Qt reports the received size as the total once an unknown-length body ends, so the length
    // counts as known only when the response announced one.
    connect(reply, &QNetworkReply::downloadProgress, this, [this, id, reply](qint64 received, qint64 total) {
        if (total >= 1 && reply->header(QNetworkRequest::ContentLengthHeader).isValid())
            setProgress(id, double(received) / double(total));
    });

    co_await reply;
    if (!self)
        co_return QStringLiteral("The download was stopped.");
    m_replies.remove(reply);
    reply->disconnect();
    reply->deleteLater();

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    if (*writeFailed)
        co_return fail(QStringLiteral("The download could not be written: %1").arg(staged->errorString()));
    if (status != 0 && (status < 200 || status > 299))
        co_return fail(QStringLiteral("The download failed: HTTP %1.").arg(status));
    if (reply->error() != QNetworkReply::NoError)
        co_return fail(reply->errorString());
    if (length.isValid() && length.toLongLong() != *written)
        co_return fail(QStringLiteral("The download ended early."));
    if (!staged->flush()) {
        co_return fail(QStringLiteral("The download could not be written: %1").arg(staged->errorString()));
    }
    staged->close();

    if (auto moved = moveIntoPlace(stagedPath, destination); !moved.ok())
        co_return fail(moved.error());
    m_stagedFiles.remove(stagedPath);
    bumpRevision();
    finishDownload(id);
    co_return {};
}
