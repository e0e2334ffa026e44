#pragma once

#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>

// What a model store publishes about its downloads: the fraction 0…1 of each running download by
// model id, the ids in flight, and a revision that grows whenever installed files change. The
// speech and writing-model stores each keep one and pass its signals on as their own.
class DownloadLedger final : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    const QMap<QString, double> &progress() const { return m_progress; }
    const QSet<QString> &activeDownloads() const { return m_activeDownloads; }
    int revision() const { return m_revision; }

    // The id is in flight from here, at 0.
    void begin(const QString &id);
    void setProgress(const QString &id, double fraction);
    // The id leaves both the active set and the progress map, whatever the outcome.
    void finish(const QString &id);
    void bumpRevision();

signals:
    void progressChanged();
    void activeDownloadsChanged();
    void revisionChanged();

private:
    QMap<QString, double> m_progress;
    QSet<QString> m_activeDownloads;
    int m_revision = 0;
};
