#pragma once

#include "audio/AudioModule.h"

#include <QString>

// Loads the audio module on first use. Null when it cannot be loaded; `error` then says why.
const AudioModule *loadAudioModule(QString *error = nullptr);

// The text shown when a recording cannot start because the module is missing.
QString audioModuleMissingMessage(const QString &reason);

class Scheduler;

// The recorder, made from the module at its first use: after the window's first picture, or at
// once when a recording starts before that. (Opening the sound server takes a noticeable time.)
class ModuleRecorder final : public DictationRecorder {
public:
    explicit ModuleRecorder(Scheduler &scheduler) : m_scheduler(scheduler) {}
    ~ModuleRecorder() override;
    // Null when the module cannot be loaded.
    MeteredRecorder *recorder();
    Result<QString, QString> start() override;
    std::optional<Recording> stop() override;
    void cancel() override;
    void cleanupTemporaryRecordings() override;
    QList<double> samples() const;

private:
    Scheduler &m_scheduler;
    std::unique_ptr<MeteredRecorder> m_recorder;
    bool m_cleanupPending = false;
};

// The completion sounds, played through the module once it is loaded; without it, the beep.
class ModuleSoundPlayer final : public SoundPlayer {
public:
    using Locate = std::function<std::optional<QString>(const QString &)>;
    explicit ModuleSoundPlayer(Locate locate) : m_locate(std::move(locate)) {}
    ~ModuleSoundPlayer() override;
    bool play(const QString &name, double volume) override;
    void stop() override;
    void beep() override;

private:
    SoundPlayer *player();

    Locate m_locate;
    std::unique_ptr<SoundPlayer> m_player;
};

// Whether the sound server knows an audio input; false when the module is missing.
bool microphonePresent();
