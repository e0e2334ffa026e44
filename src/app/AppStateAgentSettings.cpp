// The Command preferences, stored as one JSON value.
#include "app/AppState.h"
#include "app/Preferences.h"

void AppState::loadAgentSettings()
{
    // Nothing stored yet means fresh settings, and so does a value that does not decode.
    const auto data = m_defaults->data(PreferenceKeys::agentSettings);
    m_agentSettings = data ? AgentSettings::fromStoredData(*data) : AgentSettings::fresh();
}

void AppState::setAgentSettings(const AgentSettings &settings)
{
    const bool changed = m_agentSettings != settings;
    m_agentSettings = settings;
    m_defaults->setData(PreferenceKeys::agentSettings, settings.storedData());
    if (changed)
        emit agentSettingsChanged();
}
