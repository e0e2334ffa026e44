#pragma once

#include <QString>

#include <optional>

// The phase of a Command run.
enum class AgentPhase { idle, listening, transcribing, loadingModel, generating, completed, cancelled, error };

QString agentPhaseRawValue(AgentPhase phase);
std::optional<AgentPhase> agentPhaseFromRawValue(const QString &raw);

// listening, transcribing, loadingModel or generating: a run that Dictation must not interrupt.
inline bool agentPhaseIsBusy(AgentPhase phase)
{
    return phase == AgentPhase::listening || phase == AgentPhase::transcribing || phase == AgentPhase::loadingModel ||
           phase == AgentPhase::generating;
}
