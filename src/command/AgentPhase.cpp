#include "AgentPhase.h"

#include <array>
#include <utility>

namespace {
constexpr std::array<std::pair<AgentPhase, const char *>, 8> kNames{{
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

QString agentPhaseRawValue(AgentPhase phase)
{
    for (const auto &[value, name] : kNames)
        if (value == phase)
            return QString::fromLatin1(name);
    return QStringLiteral("idle");
}

std::optional<AgentPhase> agentPhaseFromRawValue(const QString &raw)
{
    for (const auto &[value, name] : kNames)
        if (raw == QLatin1String(name))
            return value;
    return std::nullopt;
}
