// History: the Dictation search, copy and delete, and the Command conversations.
#include "WindowFixture.h"
#include "command/AgentConversationStore.h"
#include "screens/AgentConversationsView.h"
#include "speech/AppPaths.h"
#include "screens/DictationHistoryModel.h"
#include "screens/DictationHistoryView.h"
#include "screens/HistoryScreen.h"

#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

QStringList rows(const DictationHistoryModel *model)
{
    QStringList out;
    for (int i = 0; i < model->rowCount(); ++i)
        out << model->data(model->index(i), DictationHistoryModel::textRole).toString();
    return out;
}

// Answers the next modal message box once it is up: with the named button, or with Esc.
void answerNextMessageBox(const QString &buttonText)
{
    QTimer::singleShot(0, [buttonText] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        if (buttonText.isEmpty()) {
            QTest::keyClick(box, Qt::Key_Escape);
            return;
        }
        // Enter must not be what destroys the history.
        EXPECT_NE(box->defaultButton()->text(), buttonText);
        for (QAbstractButton *b : box->buttons())
            if (b->text() == buttonText)
                b->click();
    });
}

} // namespace

using HistoryTest = WindowTest;

TEST_F(HistoryTest, SearchIgnoresCaseAndAccentsAndMatchesModelNames)
{
    addTranscript(QStringLiteral("Café au lait"), QStringLiteral("pocket"));
    addTranscript(QStringLiteral("Meeting notes"), QStringLiteral("balanced"));
    addTranscript(QStringLiteral("Old words"), QStringLiteral("retired-model"));
    HistoryScreen screen(context);
    DictationHistoryView *view = screen.dictation();
    EXPECT_EQ(rows(view->model()), (QStringList{"Old words", "Meeting notes", "Café au lait"}));

    const QString balancedName = SpeechModel::withID(QStringLiteral("balanced"))->name;
    screen.searchField()->setText(balancedName.toUpper());
    EXPECT_EQ(rows(view->model()), QStringList{"Meeting notes"});
    screen.searchField()->setText(QStringLiteral("CAFE"));
    EXPECT_EQ(rows(view->model()), QStringList{"Café au lait"});
    // A model no longer in the catalog is "Local model".
    screen.searchField()->setText(QStringLiteral("local"));
    EXPECT_EQ(rows(view->model()), QStringList{"Old words"});
    // The text and the model name are matched apart, never across their join.
    screen.searchField()->setText(QStringLiteral("wordslocal"));
    EXPECT_EQ(view->model()->rowCount(), 0);

    // New transcripts show up at once, filtered like the rest.
    screen.searchField()->setText(QStringLiteral("notes"));
    addTranscript(QStringLiteral("More notes"));
    EXPECT_EQ(rows(view->model()), (QStringList{"More notes", "Meeting notes"}));
}

TEST_F(HistoryTest, RowButtonsCopyAndDeleteTheirTranscript)
{
    addTranscript(QStringLiteral("first"));
    addTranscript(QStringLiteral("second"));
    HistoryScreen screen(context);
    screen.resize(800, 600);
    screen.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&screen));
    QListView *list = screen.dictation()->list();
    const QRect row = list->visualRect(list->model()->index(0, 0)).adjusted(0, 0, 0, -8);
    const QFontMetrics fm(list->font());

    pasteboard.setString(QStringLiteral("before"));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      HistoryRowDelegate::buttonRect(row, HistoryRowDelegate::Button::copy, fm).center());
    EXPECT_EQ(pasteboard.string(), QStringLiteral("second"));
    EXPECT_EQ(history->items().size(), 2);

    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      HistoryRowDelegate::buttonRect(row, HistoryRowDelegate::Button::remove, fm).center());
    ASSERT_EQ(history->items().size(), 1);
    EXPECT_EQ(history->items()[0].text, QStringLiteral("first"));
    EXPECT_EQ(rows(screen.dictation()->model()), QStringList{"first"});

    // From the keyboard: Delete removes the current row.
    list->setFocus();
    list->setCurrentIndex(list->model()->index(0, 0));
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_TRUE(history->items().isEmpty());
}

TEST_F(HistoryTest, LongHistoriesFilterWithoutOneWidgetPerRow)
{
    for (int i = 0; i < 10000; ++i)
        addTranscript(QStringLiteral("transcript number %1").arg(i));
    HistoryScreen screen(context);
    EXPECT_EQ(screen.dictation()->model()->rowCount(), 10000);
    screen.searchField()->setText(QStringLiteral("number 9999"));
    EXPECT_EQ(rows(screen.dictation()->model()), QStringList{"transcript number 9999"});
    // A model/view: no child widget per transcript.
    EXPECT_LT(screen.findChildren<QWidget *>().size(), 100);
}

TEST_F(HistoryTest, CommandAreaListsOpensDeletesAndClearsAfterConfirmation)
{
    AgentConversationStore &store = state->agentConversationStore();
    const QUuid polish = QUuid::createUuid(), shorten = QUuid::createUuid();
    store.createConversation(shorten, QStringLiteral("Shorten"), QString(), {});
    store.createConversation(polish, QStringLiteral("Polish the reply"), QStringLiteral("Mail"), {});
    HistoryScreen screen(context);
    screen.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&screen));
    QTest::mouseClick(screen.areaButton(HistoryScreen::HistoryArea::agent), Qt::LeftButton);
    EXPECT_EQ(screen.area(), HistoryScreen::HistoryArea::agent);
    EXPECT_FALSE(screen.searchField()->isVisible());
    AgentConversationsView *view = screen.conversations();
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->list()->count(), 2);
    EXPECT_EQ(view->list()->item(0)->text(), QStringLiteral("Polish the reply"));
    EXPECT_EQ(view->list()->item(0)->data(Qt::UserRole + 2).toString(), QStringLiteral("Mail · 1 message · just now"));

    QTest::mouseClick(view->list()->viewport(), Qt::LeftButton, {},
                      view->list()->visualItemRect(view->list()->item(1)).center());
    EXPECT_EQ(state->activeAgentConversationID(), shorten);
    EXPECT_TRUE(state->agentPanelVisible());

    view->list()->setFocus();
    view->list()->setCurrentRow(0);
    QTest::keyClick(view->list(), Qt::Key_Delete);
    ASSERT_EQ(store.conversations().size(), 1);
    EXPECT_EQ(store.conversations()[0].id, shorten);
    EXPECT_EQ(view->list()->count(), 1);

    // Cancel keeps everything; confirming clears the store, the runtime's sessions and the
    // active conversation.
    QFile sessions(AppPaths::agentSessions());
    ASSERT_TRUE(sessions.open(QIODevice::WriteOnly));
    sessions.close();
    answerNextMessageBox(QString());
    EXPECT_FALSE(view->confirmAndClear());
    EXPECT_EQ(store.conversations().size(), 1);
    EXPECT_TRUE(QFile::exists(AppPaths::agentSessions()));
    answerNextMessageBox(QStringLiteral("Delete Command history"));
    EXPECT_TRUE(view->confirmAndClear());
    EXPECT_TRUE(store.conversations().isEmpty());
    EXPECT_FALSE(QFile::exists(AppPaths::agentSessions()));
    EXPECT_FALSE(state->activeAgentConversationID().has_value());

    // Back in Dictation the search is there again.
    QTest::mouseClick(screen.areaButton(HistoryScreen::HistoryArea::dictation), Qt::LeftButton);
    EXPECT_TRUE(screen.searchField()->isVisible());
}
