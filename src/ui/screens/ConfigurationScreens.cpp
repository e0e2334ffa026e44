#include "window/ScreenFactory.h"

#include "components/Components.h"
#include "components/ScreenColumn.h"

#include <QVBoxLayout>

// Until these screens exist, each section shows its title.
QWidget *makeConfigurationScreen(AppSection section, const WindowContext &, QWidget *parent)
{
    auto *screen = new ScreenColumn(parent);
    screen->column()->addWidget(new SectionHeading(QStringLiteral("Orvel Raza"), appSectionTitle(section)));
    screen->column()->addStretch();
    return screen;
}
