#include "window/ScreenFactory.h"

#include "screens/AgentSettingsScreen.h"
#include "screens/HistoryScreen.h"
#include "screens/HomeScreen.h"
#include "screens/ModelsScreen.h"
#include "screens/SettingsScreen.h"
#include "screens/VocabularyScreen.h"

QWidget *makeSectionScreen(AppSection section, const WindowContext &context, QWidget *parent)
{
    AppState &state = *context.state;
    switch (section) {
    case AppSection::home: return new HomeScreen(context, parent);
    case AppSection::agent: return new AgentSettingsScreen(state, parent);
    case AppSection::history: return new HistoryScreen(context, parent);
    case AppSection::models: return new ModelsScreen(state, parent);
    case AppSection::vocabulary: return new VocabularyScreen(state, parent);
    case AppSection::settings: return new SettingsScreen(state, parent);
    }
    return nullptr;
}
