#pragma once

// Sound for the test session's virtual microphone (scripts/test-session.sh): what is played into
// its sink is what a recorder hears. Also unplugs that microphone for a while, or adds another.

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <functional>

namespace sinkaudio {

// Lets events run while real time passes.
inline bool waitFor(const std::function<bool()> &condition, int milliseconds = 10000)
{
    QDeadlineTimer deadline(milliseconds);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Scales the 16-bit samples of a WAV file's data chunk by gainDb, in place.
inline bool scaleWav(const QString &path, double gainDb)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    QByteArray b = f.readAll();
    f.close();
    if (b.size() < 12 || !b.startsWith("RIFF") || b.mid(8, 4) != "WAVE")
        return false;
    const double gain = std::pow(10.0, gainDb / 20.0);
    qsizetype at = 12;
    while (at + 8 <= b.size()) {
        const QByteArray id = b.mid(at, 4);
        const qsizetype size = qFromLittleEndian<quint32>(b.constData() + at + 4);
        const qsizetype begin = at + 8, end = std::min(b.size(), begin + size);
        if (id == "data") {
            for (qsizetype i = begin; i + 1 < end; i += 2) {
                const double v = qFromLittleEndian<qint16>(b.constData() + i) * gain;
                qToLittleEndian<qint16>(qint16(std::lrint(std::clamp(v, -32768.0, 32767.0))), b.data() + i);
            }
            return f.open(QIODevice::WriteOnly) && f.write(b) == b.size();
        }
        at = begin + size + (size % 2);
    }
    return false;
}

// Speech as espeak-ng says it (16-bit mono WAV), turned down by gainDb.
inline bool writeSpeech(const QString &path, const QString &text, double gainDb)
{
    QProcess espeak;
    espeak.start(QStringLiteral("espeak-ng"), {QStringLiteral("-w"), path, text});
    return espeak.waitForFinished(20000) && espeak.exitCode() == 0 && scaleWav(path, gainDb);
}

// Plays a file into the test sink; stopped when destroyed.
class Playback {
public:
    explicit Playback(const QString &file)
    {
        m_process.start(QStringLiteral("paplay"), {QStringLiteral("--device=orvel_test_sink"), file});
        m_process.waitForStarted();
    }
    ~Playback()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished();
    }
    bool waitUntilPlayed(int milliseconds = 20000)
    {
        return waitFor([this] { return m_process.state() == QProcess::NotRunning; }, milliseconds) &&
               m_process.exitCode() == 0;
    }

private:
    QProcess m_process;
};

inline QString pactl(const QStringList &arguments)
{
    QProcess p;
    p.start(QStringLiteral("pactl"), arguments);
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// Takes the virtual microphone away, as pulling a USB headset out does; puts it back when destroyed.
class UnpluggedMicrophone {
public:
    UnpluggedMicrophone()
    {
        // PipeWire's pulse server has no virtual source; a test session there uses a remapped one.
        static const QRegularExpression line(QStringLiteral("^(\\d+)\\s+(module-(?:virtual|remap)-source)\\s+(.*)$"),
                                             QRegularExpression::MultilineOption);
        const auto match = line.match(pactl({QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("modules")}));
        if (!match.hasMatch())
            return;
        m_module = match.captured(2);
        m_arguments = match.captured(3).trimmed();
        pactl({QStringLiteral("unload-module"), match.captured(1)});
        m_unplugged = true;
    }
    ~UnpluggedMicrophone()
    {
        if (!m_unplugged)
            return;
        QStringList load{QStringLiteral("load-module"), m_module};
        load += m_arguments.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        pactl(load);
        pactl({QStringLiteral("set-default-source"), QStringLiteral("orvel_test_mic")});
    }
    bool unplugged() const { return m_unplugged; }

private:
    QString m_module;
    QString m_arguments;
    bool m_unplugged = false;
};

// Another microphone on the same sink, made the default while it exists, as picking a headset in
// the sound settings does. Leaves the test microphone the default again when destroyed.
class SecondMicrophone {
public:
    static constexpr const char *name = "orvel_other_mic";
    SecondMicrophone()
    {
        for (const char *module : {"module-virtual-source", "module-remap-source"}) {
            m_module = pactl({QStringLiteral("load-module"), QLatin1String(module),
                              QStringLiteral("source_name=") + QLatin1String(name),
                              QStringLiteral("master=orvel_test_sink.monitor")})
                           .trimmed();
            if (!m_module.isEmpty())
                break;
        }
        if (!m_module.isEmpty())
            pactl({QStringLiteral("set-default-source"), QLatin1String(name)});
    }
    ~SecondMicrophone()
    {
        if (m_module.isEmpty())
            return;
        pactl({QStringLiteral("unload-module"), m_module});
        pactl({QStringLiteral("set-default-source"), QStringLiteral("orvel_test_mic")});
    }
    bool loaded() const { return !m_module.isEmpty(); }

private:
    QString m_module;
};

} // namespace sinkaudio
