#pragma once

#include "platform/SoundPlayer.h"
#include "speech/DictationServices.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class Scheduler;

// A recorder that also gives the levels the waveform draws.
class MeteredRecorder : public DictationRecorder {
public:
    virtual QList<double> meterSamples() const = 0;
};

// What the audio module offers. The module holds everything that needs Qt Multimedia and the
// sound server's libraries; loading those took a good part of start-up before the window could
// appear, so the program loads the module once its window is up.
struct AudioModule {
    std::unique_ptr<MeteredRecorder> (*makeRecorder)(Scheduler &scheduler);
    // `locate` finds a shipped sound's file by its name.
    std::unique_ptr<SoundPlayer> (*makeSoundPlayer)(std::function<std::optional<QString>(const QString &)> locate);
    // Whether the sound server knows any audio input.
    bool (*microphonePresent)();
};

extern "C" const AudioModule *orvelAudioModule();
