#include "ScreenTestSupport.h"
#include "ui/screens/AgentSettingsScreen.h"
#include "ui/screens/VocabularyScreen.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace {
using CommandAndVocabularyTest = ScreenTest;
} // namespace

TEST_F(CommandAndVocabularyTest, PersonalContextIsCutToItsLimitInUserPerceivedCharacters)
{
    AgentSettingsScreen screen(*state);
    QPlainTextEdit *editor = screen.personalContextEditor();
    // A flag is two code units of UTF-16 twice over, but one character to the user, and is
    // never cut in half.
    const QString flag = QStringLiteral("🇩🇪");
    editor->setPlainText(QString(19999, QLatin1Char('b')) + flag + flag + QString(5000, QLatin1Char('a')));
    EXPECT_EQ(state->agentSettings().personalContext, QString(19999, QLatin1Char('b')) + flag);
    EXPECT_EQ(editor->toPlainText(), state->agentSettings().personalContext);
    EXPECT_TRUE(screen.countLine().startsWith(QStringLiteral("20000 / ")));

    // Typing adds at the cursor and is stored as typed.
    editor->clear();
    QTest::keyClicks(editor, QStringLiteral("I'm Ana"));
    EXPECT_EQ(state->agentSettings().personalContext, QStringLiteral("I'm Ana"));
    control(&screen, QStringLiteral("Clear personal context"))->click();
    EXPECT_EQ(state->agentSettings().personalContext, QString());

    // A change from elsewhere shows up in the editor.
    AgentSettings s = state->agentSettings();
    s.personalContext = QStringLiteral("Sign off with Ana");
    state->setAgentSettings(s);
    EXPECT_EQ(editor->toPlainText(), QStringLiteral("Sign off with Ana"));
}

TEST_F(CommandAndVocabularyTest, SwitchesAndInstructionsEditTheCommandSettings)
{
    AgentSettingsScreen screen(*state);
    const QList<std::pair<QString, bool AgentSettings::*>> switches = {
        {QStringLiteral("Selected-text context"), &AgentSettings::includeSelectedText},
        {QStringLiteral("Copy result"), &AgentSettings::copyResult},
        {QStringLiteral("Automatic paste"), &AgentSettings::automaticPaste},
        {QStringLiteral("Safe refinement replacement"), &AgentSettings::safelyReplaceRefinements},
        {QStringLiteral("Result notification"), &AgentSettings::showCompletionNotification},
        {QStringLiteral("Completion sound"), &AgentSettings::playCompletionSound},
    };
    for (const auto &[title, field] : switches) {
        auto *box = control<QCheckBox>(&screen, title);
        ASSERT_TRUE(box);
        box->click();
        EXPECT_FALSE(state->agentSettings().*field) << title.toStdString();
    }
    // Only the Command paste: the Dictation one is its own preference.
    EXPECT_TRUE(state->automaticPaste());

    QPlainTextEdit *instructions = screen.instructionsEditor();
    instructions->setPlainText(QString());
    EXPECT_EQ(state->agentSettings().trustedInstructions, QString());
    control(&screen, QStringLiteral("Restore default"))->click();
    EXPECT_EQ(state->agentSettings().trustedInstructions, AgentSettings::defaultTrustedInstructions());
    EXPECT_EQ(instructions->toPlainText(), AgentSettings::defaultTrustedInstructions());
}

TEST_F(CommandAndVocabularyTest, VocabularyAddsWithEnterRemovesByItsButtonAndShowsTheEmptyState)
{
    VocabularyScreen screen(*state);
    screen.show();
    EXPECT_TRUE(screen.showsEmptyState());
    QTest::keyClicks(screen.termField(), QStringLiteral("  whisper.cpp "));
    QTest::keyClick(screen.termField(), Qt::Key_Return);
    EXPECT_EQ(state->vocabulary(), QStringList{QStringLiteral("whisper.cpp")});
    screen.termField()->setText(QStringLiteral("Orvel Raza"));
    screen.addButton()->click();
    EXPECT_EQ(screen.shownTerms(), (QStringList{QStringLiteral("Orvel Raza"), QStringLiteral("whisper.cpp")}));
    EXPECT_FALSE(screen.showsEmptyState());

    control(&screen, QStringLiteral("Remove Orvel Raza"))->click();
    settle();
    EXPECT_EQ(state->vocabulary(), QStringList{QStringLiteral("whisper.cpp")});
    control(&screen, QStringLiteral("Remove whisper.cpp"))->click();
    settle();
    EXPECT_TRUE(screen.shownTerms().isEmpty());
    EXPECT_TRUE(screen.showsEmptyState());
}
