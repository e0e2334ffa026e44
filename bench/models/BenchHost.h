#pragma once

#include <QString>
#include <QThread>

#include <memory>

class QFile;

// The stand-in model host on a thread of its own, serving one file straight from its mapping, so
// the client under test and the server do not share an event loop.
class BenchHost : public QThread {
public:
    BenchHost(const QString &file, const QString &path);
    ~BenchHost() override;

    // Maps the file and waits until the host listens.
    bool start();
    QString baseUrl() const { return m_baseUrl; }

protected:
    void run() override;

private:
    QString m_path;
    std::unique_ptr<QFile> m_file;
    QByteArray m_body;
    QString m_baseUrl;
};
