#include "platform/StoreFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace RegularFile {

Result<int, QString> open(const QString &path)
{
    using Outcome = Result<int, QString>;
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return Outcome::failure(QString::fromLocal8Bit(std::strerror(errno)));
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Outcome::failure(S_ISDIR(st.st_mode) ? QStringLiteral("it is a folder, not a file")
                                                    : QStringLiteral("it is not a regular file"));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

Result<QByteArray, QString> read(const QString &path, qint64 maxBytes)
{
    using Outcome = Result<QByteArray, QString>;
    const auto fd = open(path);
    if (!fd)
        return Outcome::failure(fd.error());
    struct stat st = {};
    ::fstat(fd.value(), &st);
    if (st.st_size > maxBytes) {
        ::close(fd.value());
        return Outcome::failure(QStringLiteral("it is larger than %1 MB").arg(maxBytes / 1000000));
    }
    // Read no more than the size seen at open: a file still growing is read as it was.
    QByteArray bytes(qsizetype(st.st_size), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd.value(), bytes.data() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const QString error = QString::fromLocal8Bit(std::strerror(errno));
            ::close(fd.value());
            return Outcome::failure(error);
        }
        if (n == 0)
            break;
        done += n;
    }
    ::close(fd.value());
    bytes.truncate(done);
    return bytes;
}

bool occupied(const QString &path)
{
    struct stat st = {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

Result<QString, QString> keepAside(const QString &path)
{
    const QString base = path + QStringLiteral(".unreadable");
    QString aside = base;
    for (int n = 2; occupied(aside); ++n)
        aside = base + QLatin1Char('-') + QString::number(n);
    // link() + unlink() instead of rename(): rename would replace a copy that appeared meanwhile.
    const QByteArray from = QFile::encodeName(path);
    const QByteArray to = QFile::encodeName(aside);
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return aside;
    }
    if (::rename(from.constData(), to.constData()) == 0)
        return aside;
    return Result<QString, QString>::failure(QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace RegularFile

StorageNotices &StorageNotices::instance()
{
    static StorageNotices notices;
    return notices;
}

void StorageNotices::post(const QString &key, const QString &text)
{
    const qsizetype at = m_keys.indexOf(key);
    if (at >= 0 && m_texts.at(at) == text)
        return;
    if (at >= 0) {
        m_texts[at] = text;
    } else {
        m_keys.append(key);
        m_texts.append(text);
    }
    emit changed();
}

void StorageNotices::clear(const QString &key)
{
    const qsizetype at = m_keys.indexOf(key);
    if (at < 0)
        return;
    m_keys.removeAt(at);
    m_texts.removeAt(at);
    emit changed();
}

QStringList StorageNotices::texts() const { return m_texts; }

StoreFile::StoreFile(QString path, QString what) : m_path(std::move(path)), m_what(std::move(what))
{
    m_retry.setSingleShot(true);
    m_retry.setInterval(retryMilliseconds);
    QObject::connect(&m_retry, &QTimer::timeout, [this] {
        if (retry)
            retry();
    });
}

std::optional<QByteArray> StoreFile::load()
{
    m_owned = !RegularFile::occupied(m_path);
    if (m_owned)
        return std::nullopt;
    auto bytes = RegularFile::read(m_path, maxBytes);
    if (!bytes) {
        StorageNotices::instance().post(
            m_path, QStringLiteral("Your %1 “%2” could not be read: %3. It is left as it is; new entries are kept "
                                   "until they can be saved.")
                        .arg(m_what, m_path, bytes.error()));
        return std::nullopt;
    }
    m_owned = true;
    return std::move(bytes).value();
}

void StoreFile::rejectLoaded() { m_owned = false; }

void StoreFile::failed(const QString &message)
{
    StorageNotices::instance().post(m_path, message);
    m_retry.start();
}

Result<void, QString> StoreFile::save(const QByteArray &bytes)
{
    if (!m_owned && RegularFile::occupied(m_path)) {
        // A link is moved aside, never what it points to; a folder, FIFO or device is left alone.
        const QFileInfo info(m_path);
        if (!info.isSymLink() && !info.isFile()) {
            const QString message = QStringLiteral("Your %1 could not be saved: “%2” is not a file. It is kept in memory "
                                                   "and saved once that path is free.")
                                        .arg(m_what, m_path);
            failed(message);
            return message;
        }
        const auto aside = RegularFile::keepAside(m_path);
        if (!aside) {
            const QString message = QStringLiteral("Your %1 could not be saved: the unreadable “%2” could not be moved "
                                                   "aside (%3). It is kept in memory and saved again shortly.")
                                        .arg(m_what, m_path, aside.error());
            failed(message);
            return message;
        }
        StorageNotices::instance().post(aside.value(),
                                        QStringLiteral("Your %1 “%2” could not be read. It was kept as “%3” and a new "
                                                       "one was started.")
                                            .arg(m_what, m_path, aside.value()));
    }
    m_owned = true;
    QSaveFile file(m_path);
    QString error;
    if (!file.open(QIODevice::WriteOnly))
        error = file.errorString();
    else if (file.write(bytes) != bytes.size() || !file.commit())
        error = file.errorString();
    if (!error.isEmpty()) {
        const QString message = QStringLiteral("Your %1 could not be saved to “%2”: %3. It is kept in memory and saved "
                                               "again shortly.")
                                    .arg(m_what, m_path, error);
        failed(message);
        return message;
    }
    m_retry.stop();
    StorageNotices::instance().clear(m_path);
    return {};
}
