#include "ui/screens/AgentSettingsScreen.h"

#include "app/AppState.h"
#include "app/PlatformWording.h"
#include "ui/components/ScreenLayout.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBoundaryFinder>
#include <QVBoxLayout>

using namespace ScreenLayout;

namespace {

QWidget *section(const QString &title, QVBoxLayout **rows)
{
    auto *box = new QWidget;
    auto *v = new QVBoxLayout(box);
    v->setContentsMargins(0, 0, 0, 0);
    v->addWidget(sectionTitle(title));
    v->addWidget(card(rows));
    return box;
}

QPlainTextEdit *editor(int lines)
{
    auto *e = new QPlainTextEdit;
    e->setTabChangesFocus(true);
    e->setMinimumHeight(e->fontMetrics().lineSpacing() * lines + 12);
    return e;
}

// Replaces the editor's text without moving the view when nothing changed.
void showText(QPlainTextEdit *e, const QString &text)
{
    if (e->toPlainText() == text)
        return;
    const QSignalBlocker block(e);
    e->setPlainText(text);
    e->moveCursor(QTextCursor::End);
}

} // namespace

AgentSettingsScreen::AgentSettingsScreen(AppState &state, QWidget *parent) : QWidget(parent), m_state(state)
{
    QVBoxLayout *column = page(this);
    column->addWidget(heading(QStringLiteral("Command"), QStringLiteral("Your writing assistant"),
                              QStringLiteral("Give Command useful background and tune how it handles context, "
                                             "delivery, and completion.")));

    QVBoxLayout *rows = nullptr;
    column->addWidget(section(QStringLiteral("Personal context"), &rows));
    rows->addWidget(wrapping(QStringLiteral("Background Command can use when relevant—such as your name, role, "
                                            "company, preferred tone, email sign-off, or recurring facts.")));
    rows->addWidget(caption(PlatformWording::adapt(QStringLiteral(
        "This is persistent context, not a new request. It stays on this Mac with local models; when an OpenAI "
        "model is selected, it is sent to OpenAI with the Command request."))));
    m_personalContext = editor(7);
    m_personalContext->setObjectName(QStringLiteral("personalContext"));
    m_personalContext->setAccessibleName(QStringLiteral("Personal context"));
    m_personalContext->setPlaceholderText(
        QStringLiteral("I'm Sam Rivera, product lead at Northwind. Keep emails warm but brief.\n"
                       "Sign off with: Best, Sam"));
    rows->addWidget(m_personalContext);
    auto *countRow = new QHBoxLayout;
    m_count = caption(QString());
    m_count->setObjectName(QStringLiteral("personalContextCount"));
    auto *clear = new QPushButton(QStringLiteral("Clear"));
    clear->setAccessibleName(QStringLiteral("Clear personal context"));
    countRow->addWidget(m_count, 1);
    countRow->addWidget(clear);
    rows->addLayout(countRow);
    connect(m_personalContext, &QPlainTextEdit::textChanged, this, &AgentSettingsScreen::personalContextEdited);
    connect(clear, &QPushButton::clicked, this, [this] { m_personalContext->clear(); });

    column->addWidget(section(QStringLiteral("Context and delivery"), &rows));
    addSwitch(rows, QStringLiteral("Selected-text context"),
              QStringLiteral("Capture the selection as untrusted reference material"), &AgentSettings::includeSelectedText);
    addSwitch(rows, QStringLiteral("Copy result"), QStringLiteral("Leave the finished text on the clipboard"),
              &AgentSettings::copyResult);
    addSwitch(rows, QStringLiteral("Automatic paste"),
              QStringLiteral("Insert the result into the app that started the run"), &AgentSettings::automaticPaste);
    addSwitch(rows, QStringLiteral("Safe refinement replacement"),
              QStringLiteral("Replace only an exact, unchanged prior result"), &AgentSettings::safelyReplaceRefinements);

    column->addWidget(section(QStringLiteral("Completion"), &rows));
    addSwitch(rows, QStringLiteral("Result notification"),
              QStringLiteral("Show a five-second result card with Open and Dismiss"),
              &AgentSettings::showCompletionNotification);
    addSwitch(rows, QStringLiteral("Completion sound"), QStringLiteral("Play a local sound when writing finishes"),
              &AgentSettings::playCompletionSound);

    column->addWidget(section(QStringLiteral("Advanced Command instructions"), &rows));
    rows->addWidget(caption(QStringLiteral("Use Personal context for facts about you. These instructions control "
                                           "Command behavior; attachments and selected text remain untrusted "
                                           "reference material.")));
    m_instructions = editor(8);
    m_instructions->setObjectName(QStringLiteral("trustedInstructions"));
    m_instructions->setAccessibleName(QStringLiteral("Advanced Command instructions"));
    rows->addWidget(m_instructions);
    auto *restore = new QPushButton(symbol(QStringLiteral("arrow.counterclockwise")), QStringLiteral("Restore default"));
    rows->addWidget(restore, 0, Qt::AlignRight);
    connect(m_instructions, &QPlainTextEdit::textChanged, this, [this] {
        edit([text = m_instructions->toPlainText()](AgentSettings &s) { s.trustedInstructions = text; });
    });
    connect(restore, &QPushButton::clicked, this, [this] {
        edit([](AgentSettings &s) { s.trustedInstructions = AgentSettings::defaultTrustedInstructions(); });
    });

    column->addWidget(note(QStringLiteral("lock.shield.fill"),
                           PlatformWording::adapt(QStringLiteral(
                               "Local models remain fully on-device. OpenAI is optional, uses only your "
                               "Keychain-stored API key, and applies only to Command."))));
    column->addStretch();

    connect(&state, &AppState::agentSettingsChanged, this, &AgentSettingsScreen::refresh);
    refresh();
}

QCheckBox *AgentSettingsScreen::addSwitch(QVBoxLayout *rows, const QString &title, const QString &explanation,
                                          bool AgentSettings::*field)
{
    if (rows->count() > 0)
        rows->addWidget(divider());
    auto *box = new QCheckBox;
    connect(box, &QCheckBox::toggled, this, [this, field](bool on) { edit([&](AgentSettings &s) { s.*field = on; }); });
    rows->addWidget(row(QString(), title, explanation, box));
    m_switches.append({box, field});
    return box;
}

void AgentSettingsScreen::edit(const std::function<void(AgentSettings &)> &change)
{
    AgentSettings s = m_state.agentSettings();
    change(s);
    m_state.setAgentSettings(s);
}

int AgentSettingsScreen::graphemeCount(const QString &text)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (finder.toNextBoundary() > 0)
        ++count;
    return count;
}

QString AgentSettingsScreen::truncatedToGraphemes(const QString &text, int limit)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    qsizetype position = 0;
    while (count < limit) {
        const qsizetype next = finder.toNextBoundary();
        if (next < 0)
            return text;
        position = next;
        ++count;
    }
    return text.left(position);
}

void AgentSettingsScreen::personalContextEdited()
{
    QString text = m_personalContext->toPlainText();
    if (graphemeCount(text) > AgentSettings::personalContextLimit) {
        text = truncatedToGraphemes(text, AgentSettings::personalContextLimit);
        showText(m_personalContext, text);
    }
    edit([&](AgentSettings &s) { s.personalContext = text; });
    m_count->setText(countLine());
}

QString AgentSettingsScreen::countLine() const
{
    return QString::number(graphemeCount(m_state.agentSettings().personalContext)) +
           QStringLiteral(" / 20,000 characters · included with every Command request");
}

void AgentSettingsScreen::refresh()
{
    const AgentSettings &s = m_state.agentSettings();
    showText(m_personalContext, s.personalContext);
    showText(m_instructions, s.trustedInstructions);
    for (const auto &[box, field] : std::as_const(m_switches)) {
        const QSignalBlocker block(box);
        box->setChecked(s.*field);
    }
    m_count->setText(countLine());
}
