#pragma once

#include <QString>

#include <atomic>
#include <thread>

// A minimal model host for the download bench: one file behind one path, sent with sendfile(2)
// from the page cache on a thread of its own. The real host is another machine; here the host
// shares the two cores with the client, so it must cost as little as it can, for the store and
// for curl alike.
class BenchHost {
public:
    BenchHost(const QString &file, const QString &path);
    ~BenchHost();
    BenchHost(const BenchHost &) = delete;
    BenchHost &operator=(const BenchHost &) = delete;

    // Listens on 127.0.0.1; false when it cannot.
    bool start();
    QString baseUrl() const;

private:
    void serve();
    void answer(int client);

    QString m_file;
    QByteArray m_path;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::thread m_thread;
};
