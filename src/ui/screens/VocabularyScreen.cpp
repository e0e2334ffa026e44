#include "ui/screens/VocabularyScreen.h"

#include "app/AppState.h"
#include "app/PlatformWording.h"
#include "ui/components/ScreenLayout.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

using namespace ScreenLayout;

VocabularyScreen::VocabularyScreen(AppState &state, QWidget *parent) : QWidget(parent), m_state(state)
{
    QVBoxLayout *column = page(this);
    column->addWidget(heading(QStringLiteral("Your language"), QStringLiteral("Vocabulary"),
                              QStringLiteral("Give the recognizer spelling hints for names, abbreviations, and "
                                             "specialized terms you use often.")));

    auto *entry = new QHBoxLayout;
    m_term = new QLineEdit;
    m_term->setObjectName(QStringLiteral("vocabularyTerm"));
    m_term->setPlaceholderText(QStringLiteral("Add a name, brand, or technical term"));
    m_term->setAccessibleName(QStringLiteral("New term"));
    m_add = new QPushButton(QStringLiteral("Add term"));
    m_add->setDefault(true);
    entry->addWidget(m_term, 1);
    entry->addWidget(m_add);
    column->addLayout(entry);
    connect(m_term, &QLineEdit::returnPressed, this, &VocabularyScreen::addTerm);
    connect(m_add, &QPushButton::clicked, this, &VocabularyScreen::addTerm);

    QVBoxLayout *rows = nullptr;
    column->addWidget(card(&rows));
    m_list = new QWidget;
    m_listRows = new QVBoxLayout(m_list);
    m_listRows->setContentsMargins(0, 0, 0, 0);
    rows->addWidget(m_list);
    m_empty = new QWidget;
    auto *emptyColumn = new QVBoxLayout(m_empty);
    auto *emptyIcon = new QLabel;
    const int e = fontMetrics().height();
    emptyIcon->setPixmap(symbol(QStringLiteral("text.book.closed")).pixmap(QSize(e * 2, e * 2)));
    emptyIcon->setAlignment(Qt::AlignCenter);
    auto *emptyTitle = new QLabel(QStringLiteral("No custom words yet"));
    emptyTitle->setAlignment(Qt::AlignCenter);
    QFont bold = emptyTitle->font();
    bold.setBold(true);
    emptyTitle->setFont(bold);
    auto *emptyHint = caption(QStringLiteral("Try project names like “Orvel Raza”, “whisper.cpp”, or your teammates’ names."));
    emptyHint->setAlignment(Qt::AlignCenter);
    emptyColumn->addWidget(emptyIcon);
    emptyColumn->addWidget(emptyTitle);
    emptyColumn->addWidget(emptyHint);
    rows->addWidget(m_empty);

    QVBoxLayout *noteRows = nullptr;
    column->addWidget(card(&noteRows));
    auto *behaviorHead = new QHBoxLayout;
    m_behaviorIcon = new QLabel;
    m_behaviorTitle = new QLabel;
    m_behaviorTitle->setFont(bold);
    behaviorHead->addWidget(m_behaviorIcon);
    behaviorHead->addWidget(m_behaviorTitle, 1);
    noteRows->addLayout(behaviorHead);
    m_behaviorText = wrapping(QString());
    noteRows->addWidget(m_behaviorText);
    noteRows->addWidget(caption(PlatformWording::adapt(
        QStringLiteral("Terms stay on this Mac. They do not train or modify the model."))));
    column->addStretch();

    connect(&state, &AppState::preferencesChanged, this, &VocabularyScreen::refreshTerms);
    connect(&state, &AppState::selectedModelIDChanged, this, &VocabularyScreen::refreshBehavior);
    refreshTerms();
    refreshBehavior();
}

void VocabularyScreen::addTerm()
{
    m_state.addVocabulary(m_term->text());
    m_term->clear();
}

QStringList VocabularyScreen::shownTerms() const
{
    QStringList out;
    for (int i = 0; i < m_listRows->count(); ++i)
        if (const QWidget *w = m_listRows->itemAt(i)->widget())
            if (const auto *label = w->findChild<QLabel *>(QStringLiteral("term")))
                out << label->text();
    return out;
}

bool VocabularyScreen::showsEmptyState() const { return !m_empty->isHidden(); }
QString VocabularyScreen::behaviorTitle() const { return m_behaviorTitle->text(); }
QString VocabularyScreen::behaviorText() const { return m_behaviorText->text(); }

void VocabularyScreen::refreshTerms()
{
    const QStringList terms = m_state.vocabulary();
    if (terms == shownTerms() && !terms.isEmpty() == m_empty->isHidden())
        return;
    // Removing the row whose button was clicked happens after the click has been handled.
    while (QLayoutItem *item = m_listRows->takeAt(0)) {
        if (QWidget *w = item->widget()) {
            w->hide();
            w->deleteLater();
        }
        delete item;
    }
    const int e = fontMetrics().height();
    for (const QString &term : terms) {
        auto *rowWidget = new QWidget;
        auto *h = new QHBoxLayout(rowWidget);
        h->setContentsMargins(0, 0, 0, 0);
        auto *icon = new QLabel;
        icon->setPixmap(symbol(QStringLiteral("textformat")).pixmap(QSize(e, e)));
        auto *label = new QLabel(term);
        label->setObjectName(QStringLiteral("term"));
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        auto *remove = new QToolButton;
        remove->setIcon(symbol(QStringLiteral("xmark")));
        remove->setText(QStringLiteral("×"));
        remove->setToolButtonStyle(remove->icon().isNull() ? Qt::ToolButtonTextOnly : Qt::ToolButtonIconOnly);
        remove->setAccessibleName(QStringLiteral("Remove ") + term);
        remove->setToolTip(QStringLiteral("Remove ") + term);
        remove->setAutoRaise(true);
        connect(remove, &QToolButton::clicked, this, [this, term] { m_state.removeVocabulary(term); });
        h->addWidget(icon);
        h->addWidget(label, 1);
        h->addWidget(remove);
        m_listRows->addWidget(rowWidget);
    }
    m_list->setHidden(terms.isEmpty());
    m_empty->setHidden(!terms.isEmpty());
}

void VocabularyScreen::refreshBehavior()
{
    const auto model = m_state.selectedModel();
    const int e = fontMetrics().height();
    if (model && model->engine == SpeechEngine::parakeet) {
        m_behaviorIcon->setPixmap(symbol(QStringLiteral("character.cursor.ibeam")).pixmap(QSize(e, e)));
        m_behaviorTitle->setText(QStringLiteral("Matching capitalization is active"));
        m_behaviorText->setText(QStringLiteral("NVIDIA Parakeet’s current local runtime has no vocabulary-prompt "
                                               "input. Orvel Raza corrects the capitalization of matching words "
                                               "after recognition."));
    } else {
        m_behaviorIcon->setPixmap(symbol(QStringLiteral("text.badge.checkmark")).pixmap(QSize(e, e)));
        m_behaviorTitle->setText(QStringLiteral("Recognition hints are active"));
        m_behaviorText->setText(QStringLiteral("With ") + (model ? model->name : QStringLiteral("Whisper")) +
                                QStringLiteral(", Orvel Raza passes these terms to the Whisper decoder before each "
                                               "dictation. They bias spelling but cannot guarantee it."));
    }
}
