#include "AppStateFixture.h"
#include "app/Preferences.h"
#include "platform/StoreFile.h"
#include "speech/ModelStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

class PreferencesTest : public AppStateTest {
protected:
    // The file the state reads, as another process would see it.
    std::unique_ptr<QSettings> store() { return Preferences::openDefaultStore(); }

    void reload()
    {
        state.reset();
        state = makeState();
    }
};

TEST_F(PreferencesTest, UnreadableValuesFallBackWithoutBeingRewritten)
{
    {
        auto s = store();
        s->setValue(PreferenceKeys::overlayAppearance, QStringLiteral("Blue"));
        s->setValue(PreferenceKeys::automaticPaste, QStringLiteral("nope"));
        s->setValue(PreferenceKeys::onboardingComplete, 1);
        s->setValue(PreferenceKeys::overlaySize, QStringList{QStringLiteral("Mini"), QStringLiteral("x")});
        s->setValue(PreferenceKeys::completionSound, QStringLiteral("Glass chime"));
        s->setValue(PreferenceKeys::toggleShortcut, QByteArray("{not json"));
        // A shortcut lacking one of its six fields is no shortcut.
        s->setValue(PreferenceKeys::pushToTalkShortcut,
                    QByteArray(R"({"keyCode":12,"keyLabel":"Q","command":false,"option":true,"control":true})"));
        s->setValue(PreferenceKeys::agentShortcut,
                    QByteArray(R"({"keyCode":-1,"keyLabel":"Q","command":false,"option":true,"control":true,"shift":false})"));
        s->setValue(PreferenceKeys::agentSettings, QByteArray("corrupt"));
    }
    reload();
    EXPECT_EQ(state->overlayAppearance(), OverlayAppearance::automatic);
    EXPECT_TRUE(state->automaticPaste());
    EXPECT_FALSE(state->onboardingComplete());
    EXPECT_EQ(state->overlaySize(), OverlaySize::classic);
    EXPECT_EQ(state->completionSound(), CompletionSound::glassChime);
    EXPECT_EQ(state->toggleShortcut(), KeyboardShortcutSetting::defaultToggle());
    EXPECT_EQ(state->pushToTalkShortcut(), KeyboardShortcutSetting::defaultPushToTalk());
    EXPECT_EQ(state->agentShortcut(), KeyboardShortcutSetting::defaultAgent());
    EXPECT_EQ(state->agentSettings(), AgentSettings::fresh());
    EXPECT_EQ(store()->value(PreferenceKeys::overlayAppearance).toString(), QStringLiteral("Blue"));
}

// Values the settings file cannot even hold (a type it does not know) would be written back as
// "@Invalid()" by the next change: the user's file is kept aside once before that happens.
TEST_F(PreferencesTest, ValuesOfUnknownTypesAreKeptAsideOnceAndFallBack)
{
    const QString path = store()->fileName();
    const QByteArray original = "[General]\nselectedModelID=@Variant(garbage)\nvocabulary=@Invalid()\n"
                                "automaticPaste=@Rect(1 2 3 4)\noverlayAppearance=Dark\n";
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(original);
    }
    reload();
    {
        const auto opened = store();
        Preferences prefs(opened.get());
        EXPECT_EQ(prefs.selectedModelID(), QStringLiteral("pocket"));
        EXPECT_TRUE(prefs.vocabulary().isEmpty());
        EXPECT_TRUE(prefs.automaticPaste());
        EXPECT_EQ(prefs.overlayAppearance(), OverlayAppearance::dark);
        prefs.setBool(PreferenceKeys::onboardingComplete, true);
    }
    QFile aside(path + QStringLiteral(".unreadable"));
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(aside.readAll(), original);
    EXPECT_TRUE(StorageNotices::instance().texts().join(QLatin1Char(' ')).contains(aside.fileName()));
    QFile rewritten(path);
    ASSERT_TRUE(rewritten.open(QIODevice::ReadOnly));
    const QByteArray now = rewritten.readAll();
    EXPECT_FALSE(now.contains("@Invalid")) << now.toStdString();
    EXPECT_TRUE(now.contains("overlayAppearance=Dark")) << now.toStdString();
    // Once: the next start finds nothing to keep.
    reload();
    (void)store();
    EXPECT_FALSE(QFile::exists(path + QStringLiteral(".unreadable-2")));
}

TEST_F(PreferencesTest, StoredValuesLoadAndEveryChangeIsWritten)
{
    // Loading writes nothing.
    EXPECT_TRUE(store()->allKeys().isEmpty());
    state->setOnboardingComplete(true);
    state->setAutomaticPaste(false);
    state->setOverlayAppearance(OverlayAppearance::dark);
    state->setOverlaySize(OverlaySize::mini);
    state->setCompletionSound(CompletionSound::gentleTap);
    state->setSelectedModelID(QStringLiteral("swift"));
    KeyboardShortcutSetting f8;
    f8.keyCode = 100;
    f8.keyLabel = QStringLiteral("F8");
    f8.command = true;
    state->setAgentShortcut(f8);
    AgentSettings agent = state->agentSettings();
    agent.personalContext = QStringLiteral("I write in British English.");
    state->setAgentSettings(agent);

    // The stored forms are the raw values and plain JSON.
    auto s = store();
    EXPECT_EQ(s->value(PreferenceKeys::overlayAppearance).toString(), QStringLiteral("Dark"));
    EXPECT_EQ(s->value(PreferenceKeys::completionSound).toString(), QStringLiteral("Gentle tap"));
    EXPECT_EQ(KeyboardShortcutSetting::fromJson(s->value(PreferenceKeys::agentShortcut).toByteArray()), f8);

    reload();
    EXPECT_TRUE(state->onboardingComplete());
    EXPECT_FALSE(state->automaticPaste());
    EXPECT_EQ(state->overlayAppearance(), OverlayAppearance::dark);
    EXPECT_EQ(state->overlaySize(), OverlaySize::mini);
    EXPECT_EQ(state->completionSound(), CompletionSound::gentleTap);
    EXPECT_EQ(state->selectedModelID(), QStringLiteral("swift"));
    EXPECT_EQ(state->agentShortcut(), f8);
    EXPECT_EQ(state->agentSettings(), agent);
}

TEST_F(PreferencesTest, FinishShortcutIsTheCancelFallbackAndIsNeverWritten)
{
    KeyboardShortcutSetting q;
    q.keyCode = 12;
    q.keyLabel = QStringLiteral("Q");
    q.control = true;
    store()->setValue(PreferenceKeys::finishShortcut, q.toJson());
    reload();
    EXPECT_EQ(state->cancelShortcut(), q);

    KeyboardShortcutSetting w = q;
    w.keyCode = 13;
    w.keyLabel = QStringLiteral("W");
    state->setCancelShortcut(w);
    auto s = store();
    EXPECT_EQ(KeyboardShortcutSetting::fromJson(s->value(PreferenceKeys::cancelShortcut).toByteArray()), w);
    EXPECT_EQ(KeyboardShortcutSetting::fromJson(s->value(PreferenceKeys::finishShortcut).toByteArray()), q);
    reload();
    EXPECT_EQ(state->cancelShortcut(), w);
}

// Adding through the screen, trimmed and sorted, is the Vocabulary screen test's.
TEST_F(PreferencesTest, VocabularyDropsBlanksAndCaseDuplicatesAndSurvivesARestart)
{
    for (const char *term : {"  zebra\n", "Apple", "apple", "banana, split", "   ", "ZEBRA"})
        state->addVocabulary(QString::fromUtf8(term));
    const QStringList expected{QStringLiteral("Apple"), QStringLiteral("banana, split"), QStringLiteral("zebra")};
    EXPECT_EQ(state->vocabulary(), expected);
    reload();
    EXPECT_EQ(state->vocabulary(), expected);

    state->removeVocabulary(QStringLiteral("apple")); // removal is exact
    EXPECT_EQ(state->vocabulary().size(), 3);
    state->removeVocabulary(QStringLiteral("Apple"));
    state->removeVocabulary(QStringLiteral("zebra"));
    reload();
    // A single term survives the file format's one-element lists.
    EXPECT_EQ(state->vocabulary(), QStringList{QStringLiteral("banana, split")});
}

// Removing the selected model falls back to Pocket in the Models screen test.
TEST_F(PreferencesTest, PocketIsNeverRemovedAndALinkWhoseTargetWentAwayIsRemoved)
{
    const SpeechModel pocket = *SpeechModel::withID(QStringLiteral("pocket"));
    const SpeechModel studio = *SpeechModel::withID(QStringLiteral("studio"));
    ModelStore &store = state->modelStore();
    int revisions = 0;
    QObject::connect(&store, &ModelStore::revisionChanged, [&] { ++revisions; });
    EXPECT_TRUE(state->removeModel(pocket).ok());
    EXPECT_TRUE(QFile::exists(AppPaths::models() + QLatin1Char('/') + pocket.fileName));
    EXPECT_EQ(revisions, 0);

    const QString link = ModelStore::installedPath(studio);
    ASSERT_TRUE(QFile::link(home.path() + QStringLiteral("/gone.bin"), link));
    ASSERT_TRUE(state->removeModel(studio).ok());
    EXPECT_FALSE(QFileInfo(link).isSymLink());
    EXPECT_EQ(revisions, 1);
    // Nothing there: nothing changes.
    ASSERT_TRUE(state->removeModel(studio).ok());
    EXPECT_EQ(revisions, 1);
}
