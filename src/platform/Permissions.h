#pragma once

#include <QString>

// The privacy permissions a run checks, and the settings pages that grant them.
class Permissions {
public:
    virtual ~Permissions() = default;
    virtual bool microphoneGranted() const = 0;
    // Asks for microphone access; the answer is the new state.
    virtual bool requestMicrophone() = 0;
    virtual bool screenCaptureGranted() const = 0;
    virtual bool requestScreenCapture() = 0;
    // Opens a system settings location; locations this desktop does not know are ignored.
    virtual void openSettings(const QString &location) = 0;
};
