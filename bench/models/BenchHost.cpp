#include "BenchHost.h"

#include "FakeModelHost.h"

#include <QFile>
#include <QSemaphore>

namespace {
QSemaphore g_listening;
}

BenchHost::BenchHost(const QString &file, const QString &path) : m_path(path), m_file(std::make_unique<QFile>(file)) {}

BenchHost::~BenchHost()
{
    quit();
    wait();
}

bool BenchHost::start()
{
    if (!m_file->open(QIODevice::ReadOnly))
        return false;
    uchar *mapped = m_file->map(0, m_file->size());
    if (!mapped)
        return false;
    m_body = QByteArray::fromRawData(reinterpret_cast<const char *>(mapped), m_file->size());
    QThread::start();
    g_listening.acquire();
    return !m_baseUrl.isEmpty();
}

void BenchHost::run()
{
    FakeModelHost host;
    if (host.listen()) {
        FakeModelHost::Route route;
        route.body = m_body;
        // Large writes keep the host from being what limits the rate.
        route.chunk = 4 << 20;
        host.route(m_path, route);
        m_baseUrl = host.baseUrl();
    }
    g_listening.release();
    if (!m_baseUrl.isEmpty())
        exec();
}
