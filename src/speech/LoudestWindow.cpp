#include "LoudestWindow.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>

double LoudestWindow::decibels(double sumSquares, qint64 count)
{
    const double meanSquare = sumSquares / double(count);
    return meanSquare <= 1e-16 ? silenceFloor : std::max(silenceFloor, 10 * std::log10(meanSquare));
}

void LoudestWindow::add(const QByteArray &pcm)
{
    QByteArray bytes = m_oddByte + pcm;
    m_oddByte = bytes.size() % 2 ? bytes.right(1) : QByteArray();
    const qsizetype whole = bytes.size() - m_oddByte.size();
    for (qsizetype i = 0; i < whole; i += 2) {
        const double x = qFromLittleEndian<qint16>(bytes.constData() + i) / 32768.0;
        m_sumSquares += x * x;
        if (++m_count == windowSamples) {
            const double power = decibels(m_sumSquares, m_count);
            m_loudest = std::max(m_loudest.value_or(power), power);
            m_sumSquares = 0;
            m_count = 0;
        }
    }
}

std::optional<double> LoudestWindow::loudestPower() const
{
    if (m_loudest || m_count == 0)
        return m_loudest;
    return decibels(m_sumSquares, m_count);
}
