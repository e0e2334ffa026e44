#include "audio/AudioModule.h"

#include "platform/x11/QtSoundPlayer.h"
#include "speech/AudioRecorder.h"

#include <QMediaDevices>

namespace {

std::unique_ptr<MeteredRecorder> makeRecorder(Scheduler &scheduler) { return std::make_unique<AudioRecorder>(scheduler); }

std::unique_ptr<SoundPlayer> makeSoundPlayer(std::function<std::optional<QString>(const QString &)> locate)
{
    return std::make_unique<QtSoundPlayer>(std::move(locate));
}

bool microphonePresent() { return !QMediaDevices::audioInputs().isEmpty(); }

const AudioModule g_module{makeRecorder, makeSoundPlayer, microphonePresent};

} // namespace

extern "C" __attribute__((visibility("default"))) const AudioModule *orvelAudioModule() { return &g_module; }
