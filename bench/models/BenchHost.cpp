#include "BenchHost.h"

#include <QFile>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

BenchHost::BenchHost(const QString &file, const QString &path) : m_file(file), m_path(path.toUtf8()) {}

BenchHost::~BenchHost()
{
    if (m_listener < 0)
        return;
    m_stopping = true;
    // Wakes the blocked accept.
    ::shutdown(m_listener, SHUT_RDWR);
    if (m_thread.joinable())
        m_thread.join();
    ::close(m_listener);
}

bool BenchHost::start()
{
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listener < 0)
        return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(m_listener, 8) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return false;
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
    return true;
}

QString BenchHost::baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }

void BenchHost::serve()
{
    while (!m_stopping) {
        const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        answer(client);
        ::close(client);
    }
}

// One request per connection, as the store and curl make them.
void BenchHost::answer(int client)
{
    QByteArray request;
    char buffer[4096];
    while (!request.contains("\r\n\r\n")) {
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0)
            return;
        request.append(buffer, n);
    }
    const QList<QByteArray> line = request.left(request.indexOf("\r\n")).split(' ');
    const QByteArray target = line.size() > 1 ? line[1] : QByteArray();
    const int file = ::open(QFile::encodeName(m_file).constData(), O_RDONLY | O_CLOEXEC);
    struct stat info{};
    const qsizetype query = target.indexOf('?');
    if ((query < 0 ? target : target.first(query)) != m_path || file < 0 || ::fstat(file, &info) != 0) {
        const QByteArray missing = "HTTP/1.1 404 Not Found\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
        (void)!::send(client, missing.constData(), missing.size(), MSG_NOSIGNAL);
        if (file >= 0)
            ::close(file);
        return;
    }
    const QByteArray head = "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: application/octet-stream\r\n"
                            "Content-Length: " + QByteArray::number(qint64(info.st_size)) + "\r\n\r\n";
    if (::send(client, head.constData(), head.size(), MSG_NOSIGNAL) == head.size()) {
        off_t offset = 0;
        while (offset < info.st_size && ::sendfile(client, file, &offset, size_t(info.st_size - offset)) > 0) {
        }
    }
    ::close(file);
}
