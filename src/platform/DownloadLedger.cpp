#include "platform/DownloadLedger.h"

void DownloadLedger::begin(const QString &id)
{
    m_activeDownloads.insert(id);
    emit activeDownloadsChanged();
    setProgress(id, 0);
}

void DownloadLedger::setProgress(const QString &id, double fraction)
{
    m_progress.insert(id, fraction);
    emit progressChanged();
}

void DownloadLedger::finish(const QString &id)
{
    m_activeDownloads.remove(id);
    m_progress.remove(id);
    emit activeDownloadsChanged();
    emit progressChanged();
}

void DownloadLedger::bumpRevision()
{
    ++m_revision;
    emit revisionChanged();
}
