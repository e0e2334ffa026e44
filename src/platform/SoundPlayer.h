#pragma once

#include <QString>

class SoundPlayer {
public:
    virtual ~SoundPlayer() = default;
    // Stops what plays and plays the named sound; false when no such sound exists.
    virtual bool play(const QString &name, double volume) = 0;
    virtual void stop() = 0;
    virtual void beep() = 0;
};
