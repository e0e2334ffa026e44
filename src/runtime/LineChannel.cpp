#include "LineChannel.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <utility>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

LineChannel::LineChannel(qsizetype maxLineBytes, QObject *parent) : QObject(parent), m_maxLineBytes(maxLineBytes)
{
    fcntl(STDIN_FILENO, F_SETFL, fcntl(STDIN_FILENO, F_GETFL) | O_NONBLOCK);
    m_notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &LineChannel::readAvailable);
}

void LineChannel::readAvailable()
{
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n > 0) {
            take(chunk, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        m_closed = true; // end of file, or a broken descriptor: either way no more requests
        m_notifier->setEnabled(false);
        break;
    }
    if (m_closed)
        emit endOfInput();
}

void LineChannel::take(const char *bytes, qsizetype size)
{
    while (size > 0) {
        const char *feed = static_cast<const char *>(std::memchr(bytes, '\n', size_t(size)));
        const qsizetype part = feed ? feed - bytes : size;
        if (!m_discarding && m_buffer.size() + part > m_maxLineBytes) {
            m_discarding = true;
            m_buffer.clear();
            emit lineTooLong();
        }
        if (!m_discarding)
            m_buffer.append(bytes, part);
        if (!feed)
            return;
        bytes += part + 1;
        size -= part + 1;
        if (m_discarding) {
            m_discarding = false;
            continue;
        }
        QByteArray line = std::exchange(m_buffer, {});
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.trimmed().isEmpty())
            emit lineReceived(line);
    }
}

void LineChannel::writeLine(const QByteArray &line)
{
    QByteArray bytes = line;
    bytes.append('\n');
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes.constData() + written, size_t(bytes.size() - written));
        if (n > 0) {
            written += n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd pfd{STDOUT_FILENO, POLLOUT, 0};
            ::poll(&pfd, 1, -1);
        } else {
            return; // the reader is gone; the end of input will follow
        }
    }
}
