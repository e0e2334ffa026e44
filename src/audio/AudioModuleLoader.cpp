#include "audio/AudioModuleLoader.h"

#include "speech/ResourceLocator.h"

#include <QApplication>
#include <QFileInfo>
#include <QLibrary>
#include <QStringList>

namespace {

constexpr auto kModuleFile = "liborvel-audio.so";

// Next to the program in the build tree; under the private library folder once installed.
QStringList candidates()
{
    const QString here = QCoreApplication::applicationDirPath();
    QStringList out;
    const QString override = qEnvironmentVariable("ORVEL_AUDIO_MODULE");
    if (!override.isEmpty())
        out << override;
    out << here + QLatin1Char('/') + QLatin1String(kModuleFile)
        << ResourceLocator::installRoot() + QStringLiteral("/" ORVEL_PRIVATE_LIBDIR "/") + QLatin1String(kModuleFile);
    return out;
}

} // namespace

const AudioModule *loadAudioModule(QString *error)
{
    static const AudioModule *module = nullptr;
    static QString failure;
    if (module || !failure.isEmpty()) {
        if (error)
            *error = failure;
        return module;
    }
    QStringList tried;
    for (const QString &path : candidates()) {
        if (!QFileInfo::exists(path))
            continue;
        QLibrary library(path);
        using Entry = const AudioModule *(*)();
        const auto entry = reinterpret_cast<Entry>(library.resolve("orvelAudioModule"));
        if (entry && (module = entry()))
            return module;
        tried << library.errorString();
    }
    failure = tried.isEmpty() ? QStringLiteral("%1 was not found next to the program.").arg(QLatin1String(kModuleFile))
                              : tried.join(QLatin1Char(' '));
    qWarning("Orvel Raza has no audio: %s", qPrintable(failure));
    if (error)
        *error = failure;
    return nullptr;
}

QString audioModuleMissingMessage(const QString &reason)
{
    return QStringLiteral("Orvel Raza could not load its audio part, so it cannot record: %1").arg(reason);
}

ModuleRecorder::~ModuleRecorder() = default;

MeteredRecorder *ModuleRecorder::recorder()
{
    if (m_recorder)
        return m_recorder.get();
    const AudioModule *module = loadAudioModule();
    if (!module)
        return nullptr;
    m_recorder = module->makeRecorder(m_scheduler);
    m_recorder->onFailure = [this](const QString &message) {
        if (onFailure)
            onFailure(message);
    };
    if (m_cleanupPending)
        m_recorder->cleanupTemporaryRecordings();
    return m_recorder.get();
}

Result<QString, QString> ModuleRecorder::start()
{
    QString reason;
    if (MeteredRecorder *r = recorder())
        return r->start();
    (void)loadAudioModule(&reason);
    return Result<QString, QString>::failure(audioModuleMissingMessage(reason));
}

std::optional<DictationRecorder::Recording> ModuleRecorder::stop() { return m_recorder ? m_recorder->stop() : std::nullopt; }

void ModuleRecorder::cancel()
{
    if (m_recorder)
        m_recorder->cancel();
}

void ModuleRecorder::cleanupTemporaryRecordings()
{
    if (m_recorder)
        m_recorder->cleanupTemporaryRecordings();
    else
        m_cleanupPending = true;
}

QList<double> ModuleRecorder::samples() const { return m_recorder ? m_recorder->meterSamples() : QList<double>(); }

ModuleSoundPlayer::~ModuleSoundPlayer() = default;

SoundPlayer *ModuleSoundPlayer::player()
{
    if (!m_player) {
        if (const AudioModule *module = loadAudioModule())
            m_player = module->makeSoundPlayer(m_locate);
    }
    return m_player.get();
}

bool ModuleSoundPlayer::play(const QString &name, double volume)
{
    SoundPlayer *p = player();
    return p && p->play(name, volume);
}

void ModuleSoundPlayer::stop()
{
    if (m_player)
        m_player->stop();
}

void ModuleSoundPlayer::beep()
{
    if (SoundPlayer *p = player())
        p->beep();
    else
        QApplication::beep();
}

bool microphonePresent()
{
    const AudioModule *module = loadAudioModule();
    return module && module->microphonePresent();
}
