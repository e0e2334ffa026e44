#include "LineChannel.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

LineChannel::LineChannel(QObject *parent) : QObject(parent)
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
            m_buffer.append(chunk, n);
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
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = m_buffer.indexOf('\n', start);
        if (end < 0)
            break;
        QByteArray line = m_buffer.mid(start, end - start);
        start = end + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.trimmed().isEmpty())
            emit lineReceived(line);
    }
    m_buffer.remove(0, start);
    if (m_closed)
        emit endOfInput();
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
