#include "window/ScreenFactory.h"

#include "screens/HistoryScreen.h"
#include "screens/HomeScreen.h"

QWidget *makeSectionScreen(AppSection section, const WindowContext &context, QWidget *parent)
{
    switch (section) {
    case AppSection::home:
        return new HomeScreen(context, parent);
    case AppSection::history:
        return new HistoryScreen(context, parent);
    case AppSection::agent:
    case AppSection::models:
    case AppSection::vocabulary:
    case AppSection::settings:
        break;
    }
    return makeConfigurationScreen(section, context, parent);
}
