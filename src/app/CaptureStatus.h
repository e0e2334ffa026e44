#pragma once

#include <QString>

// The Dictation status shown by the overlay and the tray.
struct CaptureStatus {
    enum class Kind { idle, recording, processing, success, error };
    Kind kind = Kind::idle;
    QString text; // the transcript for success, the message for error
    bool needsPaste = false; // success, but the text is only on the clipboard

    static CaptureStatus idle() { return {}; }
    static CaptureStatus recording() { return {Kind::recording, {}}; }
    static CaptureStatus processing() { return {Kind::processing, {}}; }
    static CaptureStatus success(QString transcript) { return {Kind::success, std::move(transcript)}; }
    static CaptureStatus needingPaste(QString transcript) { return {Kind::success, std::move(transcript), true}; }
    static CaptureStatus error(QString message) { return {Kind::error, std::move(message)}; }

    bool isBusy() const { return kind == Kind::recording || kind == Kind::processing; }
    bool operator==(const CaptureStatus &) const = default;
};

enum class PermissionAttention { microphone, accessibility, microphoneAndAccessibility };

enum class AppSection { home, agent, history, models, vocabulary, settings };

QString appSectionTitle(AppSection section);
