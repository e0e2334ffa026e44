#pragma once

#include <QString>

// The error vocabulary of Command code, each case with the text the user sees.
class AgentRuntimeError {
public:
    enum class Kind {
        writingModelUnavailable,
        modelImportFailed,
        busy,
        speechModelUnavailable,
        screenshotsUnsupported,
        screenRecordingDenied,
        noInstruction,
        contextTooLarge,
        runtimeMissing,
        invalidRuntimeResponse,
    };

    AgentRuntimeError(Kind kind, QString message = {}) : m_kind(kind), m_message(std::move(message)) {}
    static AgentRuntimeError writingModelUnavailable(QString message) { return {Kind::writingModelUnavailable, std::move(message)}; }
    static AgentRuntimeError modelImportFailed(QString message) { return {Kind::modelImportFailed, std::move(message)}; }

    Kind kind() const { return m_kind; }
    // The payload of the two cases that carry one; a screen-recording failure may say more.
    const QString &message() const { return m_message; }
    QString description() const;

    bool operator==(const AgentRuntimeError &) const = default;

private:
    Kind m_kind;
    QString m_message;
};
