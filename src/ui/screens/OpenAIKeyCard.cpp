#include "ui/screens/OpenAIKeyCard.h"

#include "app/AppState.h"
#include "app/PlatformWording.h"
#include "command/OpenAIKeychainStore.h"
#include "ui/components/ScreenLayout.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

using namespace ScreenLayout;

OpenAIKeyCard::OpenAIKeyCard(AppState &state, QWidget *parent) : QWidget(parent), m_state(state)
{
    setObjectName(QStringLiteral("openAIKeyCard"));
    QVBoxLayout *rows = nullptr;
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(card(&rows));
    const int e = fontMetrics().height();

    auto *head = new QHBoxLayout;
    m_icon = new QLabel;
    m_icon->setFixedWidth(e * 3 / 2);
    m_title = new QLabel;
    QFont bold = m_title->font();
    bold.setBold(true);
    m_title->setFont(bold);
    head->addWidget(m_icon);
    head->addWidget(m_title, 1);
    rows->addLayout(head);

    auto *entry = new QHBoxLayout;
    m_field = new QLineEdit;
    m_field->setObjectName(QStringLiteral("openAIKey"));
    m_field->setEchoMode(QLineEdit::Password);
    m_field->setAccessibleName(QStringLiteral("OpenAI API key"));
    // The key never goes through the input method or the undo history as readable text.
    m_field->setAttribute(Qt::WA_InputMethodEnabled, false);
    m_field->setContextMenuPolicy(Qt::NoContextMenu);
    m_save = new QPushButton;
    m_remove = new QPushButton(QStringLiteral("Remove key"));
    entry->addWidget(m_field, 1);
    entry->addWidget(m_save);
    entry->addWidget(m_remove);
    rows->addLayout(entry);
    connect(m_field, &QLineEdit::returnPressed, this, [this] { save(); });
    connect(m_save, &QPushButton::clicked, this, [this] { save(); });
    connect(m_remove, &QPushButton::clicked, this, &OpenAIKeyCard::askToRemove);
    connect(m_field, &QLineEdit::textChanged, this, &OpenAIKeyCard::refresh);

    m_link = new QLabel(QStringLiteral("<a href=\"%1\">Create or manage keys</a>").arg(keysPage));
    m_link->setOpenExternalLinks(true);
    m_link->setTextInteractionFlags(Qt::TextBrowserInteraction);
    rows->addWidget(m_link);
    rows->addWidget(caption(PlatformWording::adapt(QStringLiteral(
        "Your key is stored in macOS Keychain. OpenAI usage is billed directly to your API account; Orvel Raza "
        "does not impose or monitor a spending limit."))));
    m_messageLabel = wrapping(QString());
    m_messageLabel->setObjectName(QStringLiteral("openAIKeyMessage"));
    m_messageLabel->hide();
    rows->addWidget(m_messageLabel);

    connect(&state, &AppState::openAIAPIKeyConfiguredChanged, this, &OpenAIKeyCard::refresh);
    refresh();
}

OpenAIKeyCard::~OpenAIKeyCard()
{
    if (m_confirmation)
        delete m_confirmation;
}

QString OpenAIKeyCard::title() const { return m_title->text(); }

void OpenAIKeyCard::refresh()
{
    const bool saved = m_state.openAIAPIKeyConfigured();
    const int e = fontMetrics().height();
    m_icon->setPixmap(symbol(saved ? QStringLiteral("checkmark.shield.fill") : QStringLiteral("key")).pixmap(QSize(e, e)));
    m_title->setText(saved ? PlatformWording::adapt(QStringLiteral("OpenAI API key saved in Keychain"))
                           : QStringLiteral("Add your OpenAI API key"));
    m_field->setPlaceholderText(saved ? QStringLiteral("Paste a new key to replace the saved key")
                                      : QStringLiteral("Paste your OpenAI API key (sk-…)"));
    m_save->setText(saved ? QStringLiteral("Replace key") : QStringLiteral("Save key and use Luna"));
    m_save->setEnabled(!m_busy && !m_field->text().trimmed().isEmpty());
    m_remove->setVisible(saved);
    m_remove->setEnabled(!m_busy);
    m_link->setVisible(!saved);
}

void OpenAIKeyCard::setMessage(std::optional<QString> message)
{
    m_message = std::move(message);
    m_messageLabel->setText(m_message.value_or(QString()));
    m_messageLabel->setVisible(m_message.has_value());
    emit openAIKeyMessageChanged();
}

QCoro::Task<> OpenAIKeyCard::save()
{
    OpenAIKeychainStore *store = m_state.openAIKeychain();
    if (m_busy)
        co_return;
    if (!store) {
        // Said rather than ignored: the button would otherwise do nothing at all.
        setMessage(PlatformWording::adapt(OpenAIKeychainError::operationFailed(0).description()));
        co_return;
    }
    m_busy = true;
    refresh();
    QPointer<OpenAIKeyCard> self(this);
    QPointer<AppState> state(&m_state);
    auto saving = store->save(m_field->text());
    const auto saved = co_await saving;
    if (!self || !state)
        co_return;
    m_busy = false;
    if (saved.ok()) {
        m_state.setOpenAIAPIKeyConfigured(true);
        AgentSettings s = m_state.agentSettings();
        s.writingProvider = AgentWritingProvider::openAI;
        s.selectedOpenAIModelID = QStringLiteral("openai-luna");
        m_state.setAgentSettings(s);
        m_field->clear();
        setMessage(QStringLiteral("Saved securely. Luna is now the active Command model."));
    } else {
        // The typed key stays, so a typo can be fixed.
        setMessage(PlatformWording::adapt(saved.error().description()));
    }
    refresh();
}

void OpenAIKeyCard::askToRemove()
{
    if (m_confirmation)
        delete m_confirmation;
    m_confirmation = new QMessageBox(QMessageBox::Warning, QStringLiteral("Remove the OpenAI API key?"),
                                     QStringLiteral("Remove the OpenAI API key?"), QMessageBox::NoButton, this);
    m_confirmation->setInformativeText(QStringLiteral("OpenAI models will remain unavailable until another key is saved."));
    QPushButton *remove = m_confirmation->addButton(QStringLiteral("Remove API key"), QMessageBox::DestructiveRole);
    QPushButton *cancel = m_confirmation->addButton(QMessageBox::Cancel);
    m_confirmation->setDefaultButton(cancel);
    m_confirmation->setEscapeButton(cancel);
    QMessageBox *box = m_confirmation;
    connect(box, &QMessageBox::finished, this, [this, box, remove] {
        const bool confirmed = box->clickedButton() == remove;
        box->deleteLater();
        m_confirmation = nullptr;
        if (confirmed)
            removeKey();
    });
    m_confirmation->open();
}

QCoro::Task<> OpenAIKeyCard::removeKey()
{
    if (m_busy)
        co_return;
    m_busy = true;
    refresh();
    QPointer<OpenAIKeyCard> self(this);
    auto removing = m_state.removeOpenAIAPIKey();
    const auto removed = co_await removing;
    if (!self)
        co_return;
    m_busy = false;
    if (removed.ok())
        setMessage(PlatformWording::adapt(QStringLiteral("Removed from macOS Keychain.")));
    else
        setMessage(PlatformWording::adapt(removed.error().description()));
    refresh();
}
