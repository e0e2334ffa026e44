#include "ScreenSnapshots.h"
#include "ScreenTestSupport.h"
#include "ui/screens/AgentSettingsScreen.h"
#include "ui/screens/ModelsScreen.h"
#include "ui/screens/SpeechModelsView.h"
#include "ui/screens/SettingsScreen.h"
#include "ui/screens/VocabularyScreen.h"

#include <QFileInfo>
#include <QImage>

#include <functional>

namespace {
using ScreenSnapshotTest = ScreenTest;

void renderBoth(const std::function<std::unique_ptr<QWidget>()> &make, const QString &name)
{
    for (bool dark : {false, true}) {
        auto screen = make();
        const QString path = ScreenSnapshots::render(*screen, name, dark);
        const QImage image(path);
        EXPECT_FALSE(image.isNull()) << path.toStdString();
        EXPECT_GT(image.height(), 300) << path.toStdString();
    }
}
} // namespace

TEST_F(ScreenSnapshotTest, ModelsScreen)
{
    renderBoth(
        [&] {
            auto screen = std::make_unique<ModelsScreen>(*state);
            screen->speechModels()->setShowsAllModels(true);
            return screen;
        },
        QStringLiteral("models-dictation"));
    renderBoth(
        [&] {
            auto screen = std::make_unique<ModelsScreen>(*state);
            screen->setArea(ModelsArea::agent);
            return screen;
        },
        QStringLiteral("models-command"));
}
