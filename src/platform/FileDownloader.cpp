#include "platform/FileDownloader.h"

#include "platform/Json.h"
#include "platform/Sha256.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkReply>
#include <QUuid>

#include <qcoro/qcoronetworkreply.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

QString uuidName(const QString &prefix, const QString &suffix)
{
    return prefix + Json::uuidString(QUuid::createUuid()) + suffix;
}

constexpr qint64 kReadBufferBytes = 4 << 20;

bool isErrorStatus(int status) { return status != 0 && (status < 200 || status > 299); }

} // namespace

const QString FileDownloader::kStopped = QStringLiteral("The download was stopped.");

FileDownloader::FileDownloader(QObject *parent) : QObject(parent) {}

FileDownloader::~FileDownloader() { shutdown(); }

void FileDownloader::shutdown()
{
    m_closing = true;
    // Aborting finishes the reply at once, which resumes its fetch; that removes the transfer
    // from the list, so the list is walked as a copy of the replies.
    QList<QNetworkReply *> replies;
    for (Transfer *t : std::as_const(m_transfers))
        replies << t->reply;
    for (QNetworkReply *reply : std::as_const(replies)) {
        disconnect(reply, &QNetworkReply::downloadProgress, this, nullptr);
        reply->abort();
    }
}

QString FileDownloader::stagedFilePath()
{
    return QDir::tempPath() + QLatin1Char('/') + uuidName(QStringLiteral("orvel-plus-"), QStringLiteral(".download"));
}

void FileDownloader::cancel(const QString &tag)
{
    for (Transfer *t : std::as_const(m_transfers)) {
        if (t->tag != tag || t->cancelled)
            continue;
        t->cancelled = true;
        t->reply->abort();
    }
}

Result<void, QString> FileDownloader::moveIntoPlace(const QString &staged, const QString &destination)
{
    const QByteArray to = QFile::encodeName(destination);
    if (::rename(QFile::encodeName(staged).constData(), to.constData()) == 0)
        return {};
    if (errno != EXDEV)
        return QStringLiteral("The download could not be moved into place: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
    const QString nearby = QFileInfo(destination).absolutePath() + QLatin1Char('/') +
                           uuidName(QStringLiteral(".orvel-plus-"), QStringLiteral(".partial"));
    if (!QFile::copy(staged, nearby)) {
        QFile::remove(nearby);
        return QStringLiteral("The download could not be copied into place.");
    }
    if (::rename(QFile::encodeName(nearby).constData(), to.constData()) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        QFile::remove(nearby);
        return QStringLiteral("The download could not be moved into place: %1").arg(reason);
    }
    QFile::remove(staged);
    return {};
}

QCoro::Task<Result<FileDownloader::Staged, QString>> FileDownloader::fetch(QUrl url, Options options)
{
    using Outcome = Result<Staged, QString>;
    if (m_closing)
        co_return Outcome(kStopped);
    const QString stagedPath = stagedFilePath();
    auto file = std::make_shared<QFile>(stagedPath);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        QFile::remove(stagedPath);
        co_return Outcome(QStringLiteral("The download could not be staged: %1").arg(file->errorString()));
    }

    QNetworkRequest request(url);
    request.setTransferTimeout(options.transferTimeout);
    auto transfer = std::make_unique<Transfer>();
    transfer->reply = m_network.get(request);
    // Unbounded, Qt's network thread piles up the whole body in fresh memory faster than it is
    // written out, which made a fast transfer several times slower; a bounded buffer reuses it.
    transfer->reply->setReadBufferSize(kReadBufferBytes);
    transfer->tag = options.tag;
    transfer->stagedPath = stagedPath;
    QNetworkReply *reply = transfer->reply;
    m_transfers << transfer.get();

    struct Sink {
        bool writeFailed = false;
        qint64 written = 0;
        std::unique_ptr<Sha256> hash;
        // One buffer for the whole transfer instead of a new array for every arrival.
        QByteArray buffer{int(kReadBufferBytes), Qt::Uninitialized};
    };
    auto sink = std::make_shared<Sink>();
    if (options.computeSha256)
        sink->hash = std::make_unique<Sha256>();
    // The body goes straight to the staged file (and the hash) as it arrives; an error page never does.
    connect(reply, &QNetworkReply::readyRead, reply, [reply, file, sink] {
        const bool discard = sink->writeFailed || isErrorStatus(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt());
        for (;;) {
            const qint64 n = reply->read(sink->buffer.data(), sink->buffer.size());
            if (n <= 0)
                return;
            if (discard)
                continue;
            if (file->write(sink->buffer.constData(), n) != n) {
                sink->writeFailed = true;
                reply->abort();
                return;
            }
            if (sink->hash)
                sink->hash->update(sink->buffer.constData(), n);
            sink->written += n;
        }
    });
    // Qt reports the received size as the total once an unknown-length body ends, so the length
    // counts as known only when the response announced one.
    if (options.progress) {
        connect(reply, &QNetworkReply::downloadProgress, this, [reply, report = options.progress](qint64 received, qint64 total) {
            if (total >= 1 && reply->header(QNetworkRequest::ContentLengthHeader).isValid())
                report(received, total);
        });
    }

    co_await reply;
    m_transfers.removeOne(transfer.get());
    reply->disconnect();
    reply->deleteLater();

    const auto fail = [&](const QString &message) {
        file->close();
        QFile::remove(stagedPath);
        return Outcome(message);
    };
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    if (m_closing)
        co_return fail(kStopped);
    if (transfer->cancelled)
        co_return fail(QStringLiteral("The download was cancelled."));
    if (sink->writeFailed)
        co_return fail(QStringLiteral("The download could not be written: %1").arg(file->errorString()));
    if (isErrorStatus(status))
        co_return fail(QStringLiteral("The download failed: HTTP %1.").arg(status));
    if (reply->error() == QNetworkReply::OperationCanceledError)
        co_return fail(QStringLiteral("The download stalled and was stopped."));
    if (reply->error() != QNetworkReply::NoError)
        co_return fail(reply->errorString());
    if (length.isValid() && length.toLongLong() != sink->written)
        co_return fail(QStringLiteral("The download ended early."));
    if (!file->flush())
        co_return fail(QStringLiteral("The download could not be written: %1").arg(file->errorString()));
    file->close();
    co_return Staged{stagedPath, sink->written, sink->hash ? sink->hash->finalHex() : QString()};
}
