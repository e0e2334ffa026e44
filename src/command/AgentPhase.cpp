#include "AgentPhase.h"

#include "platform/RawValues.h"

namespace {
constexpr RawValueTable<AgentPhase, 8> kNames{{
    {AgentPhase::idle, "idle"},
    {AgentPhase::listening, "listening"},
    {AgentPhase::transcribing, "transcribing"},
    {AgentPhase::loadingModel, "loadingModel"},
    {AgentPhase::generating, "generating"},
    {AgentPhase::completed, "completed"},
    {AgentPhase::cancelled, "cancelled"},
    {AgentPhase::error, "error"},
}};
} // namespace

QString agentPhaseRawValue(AgentPhase phase) { return rawValueIn(kNames, phase); }

std::optional<AgentPhase> agentPhaseFromRawValue(const QString &raw) { return valueIn(kNames, raw); }
