#pragma once

#include <QString>

// The Dictation error vocabulary.
struct OrvelError {
    enum class Kind { transcriptionFailed, noModel, recorderUnavailable, emptyTranscript, missingEngine };

    Kind kind = Kind::transcriptionFailed;
    QString message; // transcriptionFailed: the text; missingEngine: the program not found

    static OrvelError transcriptionFailed(QString message) { return {Kind::transcriptionFailed, std::move(message)}; }
    static OrvelError noModel() { return {Kind::noModel, {}}; }
    static OrvelError recorderUnavailable() { return {Kind::recorderUnavailable, {}}; }
    static OrvelError emptyTranscript() { return {Kind::emptyTranscript, {}}; }
    static OrvelError missingEngine(QString program = {}) { return {Kind::missingEngine, std::move(program)}; }

    QString description() const
    {
        switch (kind) {
        case Kind::transcriptionFailed:
            return message.isEmpty() ? QStringLiteral("The local transcription failed.") : message;
        case Kind::noModel:
            return QStringLiteral("Download and select a speech model first.");
        case Kind::recorderUnavailable:
            return QStringLiteral("Orvel Raza could not access the microphone.");
        case Kind::emptyTranscript:
            return QStringLiteral("No speech was detected.");
        case Kind::missingEngine:
            return QStringLiteral("The bundled local speech engine is missing.");
        }
        return {};
    }
    bool operator==(const OrvelError &) const = default;
};
