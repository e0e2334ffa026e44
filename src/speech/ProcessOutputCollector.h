#pragma once

#include <QByteArray>
#include <QMutex>

#include <optional>

// Collects one output stream of a child program. Safe to use from any thread.
class ProcessOutputCollector {
public:
    void append(const QByteArray &chunk);
    QByteArray data() const;
    // The last "… progress = N%" percentage printed so far, or nothing.
    std::optional<double> latestWhisperProgress() const;

    static std::optional<double> latestWhisperProgress(const QString &text);

private:
    mutable QMutex m_lock;
    QByteArray m_data;
};
