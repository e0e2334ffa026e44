#include "ProcessOutputCollector.h"

#include <QRegularExpression>
#include <QString>

#include <cmath>

void ProcessOutputCollector::append(const QByteArray &chunk)
{
    if (chunk.isEmpty())
        return;
    QMutexLocker lock(&m_lock);
    m_data.append(chunk);
}

QByteArray ProcessOutputCollector::data() const
{
    QMutexLocker lock(&m_lock);
    return m_data;
}

std::optional<double> ProcessOutputCollector::latestWhisperProgress() const
{
    return latestWhisperProgress(QString::fromUtf8(data()));
}

std::optional<double> ProcessOutputCollector::latestWhisperProgress(const QString &text)
{
    static const QRegularExpression lineBreaks(QStringLiteral("\r\n|[\n\r\v\f\u0085\u2028\u2029]"));
    const QStringList lines = text.split(lineBreaks, Qt::SkipEmptyParts);
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        const QString &line = *it;
        if (!line.contains(QLatin1String("progress")))
            continue;
        const qsizetype equals = line.lastIndexOf(QLatin1Char('='));
        const qsizetype percent = line.lastIndexOf(QLatin1Char('%'));
        if (equals < 0 || percent < 0 || percent < equals)
            continue;
        QString number = line.mid(equals + 1, percent - equals - 1);
        qsizetype from = 0, to = number.size();
        while (from < to && (number[from] == QLatin1Char(' ') || number[from] == QLatin1Char('\t')))
            ++from;
        while (to > from && (number[to - 1] == QLatin1Char(' ') || number[to - 1] == QLatin1Char('\t')))
            --to;
        number = number.mid(from, to - from);
        // toDouble() forgives surrounding white space; the number itself must be all there is.
        if (number.isEmpty() || number.front().isSpace() || number.back().isSpace())
            continue;
        bool ok = false;
        const double value = number.toDouble(&ok);
        if (ok && std::isfinite(value))
            return value;
    }
    return std::nullopt;
}
