// The Command preferences stored as one JSON value.
#include "app/AppState.h"
#include "app/Preferences.h"

void AppState::loadAgentSettings() {}
