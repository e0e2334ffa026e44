#include "ScreenSnapshots.h"
#include "ScreenTestSupport.h"
#include "ui/screens/AgentSettingsScreen.h"
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

TEST_F(ScreenSnapshotTest, SettingsScreens)
{
    state->addVocabulary(QStringLiteral("Orvel Raza"));
    state->addVocabulary(QStringLiteral("whisper.cpp"));
    permissions.microphone = false;
    renderBoth([&] { return std::make_unique<SettingsScreen>(*state); }, QStringLiteral("settings"));
    renderBoth([&] { return std::make_unique<AgentSettingsScreen>(*state); }, QStringLiteral("command-settings"));
    renderBoth([&] { return std::make_unique<VocabularyScreen>(*state); }, QStringLiteral("vocabulary"));
    state->setVocabulary({});
    renderBoth([&] { return std::make_unique<VocabularyScreen>(*state); }, QStringLiteral("vocabulary-empty"));
}
