#include "platform/FileDownloader.h"

#include "platform/Json.h"
#include "platform/StagedFileWriter.h"

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
constexpr qint64 kMinChunkBytes = 1 << 20;

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
    auto transfer = std::make_unique<Transfer>();
    // Reads resume from the writing thread once it has room again; posted to the reply, which
    // outlives that thread (joined below before the reply is let go).
    auto resume = std::make_shared<std::function<void()>>();
    auto writer = std::make_shared<StagedFileWriter>(stagedPath, options.computeSha256, [resume, transfer = transfer.get()] {
        QMetaObject::invokeMethod(transfer->reply, [resume] { (*resume)(); }, Qt::QueuedConnection);
    });
    if (const QString error = writer->open(); !error.isEmpty()) {
        QFile::remove(stagedPath);
        co_return Outcome(QStringLiteral("The download could not be staged: %1").arg(error));
    }

    QNetworkRequest request(url);
    request.setTransferTimeout(options.transferTimeout);
    transfer->reply = m_network.get(request);
    // Unbounded, Qt's network thread piles up the whole body in fresh memory faster than it is
    // written out, which made a fast transfer several times slower; bounded, the buffers are reused
    // and a slow disk holds the transfer back.
    transfer->reply->setReadBufferSize(kReadBufferBytes);
    transfer->tag = options.tag;
    transfer->stagedPath = stagedPath;
    QNetworkReply *reply = transfer->reply;
    m_transfers << transfer.get();

    // The body goes to the writer as it arrives, until it has a few chunks waiting; an error page never does.
    const auto drain = [reply, writer](bool all) {
        const bool discard = isErrorStatus(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt());
        while (all || discard || !writer->full()) {
            if (writer->failed()) {
                reply->abort();
                return;
            }
            // Whole chunks only: the network hands over a few kilobytes at a time, and a queue of
            // slivers would hold the receiver back long before the writer is busy.
            if (!all && !discard && reply->bytesAvailable() < kMinChunkBytes)
                return;
            QByteArray buffer = writer->takeBuffer(kReadBufferBytes);
            const qint64 n = reply->read(buffer.data(), buffer.size());
            if (n <= 0)
                return;
            if (!discard)
                writer->push(std::move(buffer), n);
        }
    };
    *resume = [drain] { drain(false); };
    connect(reply, &QNetworkReply::readyRead, reply, [drain] { drain(false); });
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
    *resume = [] {};

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    const bool complete = !m_closing && !transfer->cancelled && !isErrorStatus(status) && reply->error() == QNetworkReply::NoError;
    if (complete)
        drain(true);
    // Waits for the few chunks still queued; the writing thread is gone afterwards.
    const StagedFileWriter::Written written = writer->finish();
    const auto fail = [&](const QString &message) {
        QFile::remove(stagedPath);
        return Outcome(message);
    };
    if (m_closing)
        co_return fail(kStopped);
    if (transfer->cancelled)
        co_return fail(QStringLiteral("The download was cancelled."));
    if (!written.error.isEmpty())
        co_return fail(QStringLiteral("The download could not be written: %1").arg(written.error));
    if (isErrorStatus(status))
        co_return fail(QStringLiteral("The download failed: HTTP %1.").arg(status));
    if (reply->error() == QNetworkReply::OperationCanceledError)
        co_return fail(QStringLiteral("The download stalled and was stopped."));
    if (reply->error() != QNetworkReply::NoError)
        co_return fail(reply->errorString());
    if (length.isValid() && length.toLongLong() != written.size)
        co_return fail(QStringLiteral("The download ended early."));
    co_return Staged{stagedPath, written.size, written.sha256};
}
