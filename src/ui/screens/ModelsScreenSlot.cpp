#include "window/ScreenFactory.h"

#include "components/Components.h"
#include "components/ScreenColumn.h"

#include <QVBoxLayout>

// The model lists need the state's speech-model store; until the program has it, the section
// says where models stand instead of offering controls that could not work.
QWidget *makeModelsScreen(AppState &, QWidget *parent)
{
    auto *screen = new ScreenColumn(parent);
    screen->column()->addWidget(new SectionHeading(
        QStringLiteral("Every inference engine"), QStringLiteral("Models"),
        QStringLiteral("Choose speech-to-text for Dictation and writing models for Command in one place."), screen));
    auto *note = roleLabel(QStringLiteral("secondary"),
                           QStringLiteral("Model management is not available in this build yet. The model chosen "
                                          "during setup stays active."),
                           screen);
    note->setWordWrap(true);
    screen->column()->addWidget(note);
    screen->column()->addStretch();
    return screen;
}
