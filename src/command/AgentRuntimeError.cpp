#include "AgentRuntimeError.h"

QString AgentRuntimeError::description() const
{
    switch (m_kind) {
    case Kind::writingModelUnavailable:
    case Kind::modelImportFailed:
        return m_message;
    case Kind::busy:
        return QStringLiteral("Command is already working.");
    case Kind::speechModelUnavailable:
        return QStringLiteral("Download the selected speech model first.");
    case Kind::screenshotsUnsupported:
        return QStringLiteral("Switch to an image-capable model to include a screenshot.");
    case Kind::screenRecordingDenied:
        return m_message.isEmpty() ? QStringLiteral("Screen Recording access is required for the screenshot shortcut.")
                                   : m_message;
    case Kind::noInstruction:
        return QStringLiteral("No instruction was detected.");
    case Kind::contextTooLarge:
        return QStringLiteral("The selected context is too large for this local model.");
    case Kind::runtimeMissing:
        return QStringLiteral("The bundled Command runtime is missing.");
    case Kind::invalidRuntimeResponse:
        return QStringLiteral("Command returned an invalid response.");
    }
    return {};
}
