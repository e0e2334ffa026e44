#include "ui/screens/ModelServersCard.h"

#include "app/AppState.h"
#include "command/ModelServerKeyStore.h"
#include "models/AgentModelStore.h"
#include "models/ModelServerProbe.h"
#include "ui/components/ScreenLayout.h"
#include "ui/screens/ModelRowParts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

using namespace ScreenLayout;

namespace {

bool isSelected(const AgentSettings &s, const ModelServer &server)
{
    return s.writingProvider == AgentWritingProvider::openAICompatible && s.selectedServerModelID == server.modelID();
}

} // namespace

ModelServersCard::ModelServersCard(AppState &state, QWidget *parent) : QWidget(parent), m_state(state)
{
    setObjectName(QStringLiteral("modelServersCard"));
    // The section around it is already a card.
    auto *rows = new QVBoxLayout(this);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->addWidget(note(QStringLiteral("server.rack"),
                         QStringLiteral("Personal context, instructions, selected text, screenshots, and relevant "
                                        "conversation turns are sent to the server you choose. A server on another "
                                        "computer receives them over the network.")));
    m_rows = new QVBoxLayout;
    rows->addLayout(m_rows);

    rows->addWidget(divider());
    auto *title = ModelRowParts::boldLabel(QStringLiteral("Add a server"));
    rows->addWidget(title);
    auto *form = new QFormLayout;
    m_name = new QLineEdit;
    m_name->setObjectName(QStringLiteral("serverName"));
    m_name->setPlaceholderText(QStringLiteral("Team server"));
    m_address = new QLineEdit;
    m_address->setObjectName(QStringLiteral("serverAddress"));
    m_address->setPlaceholderText(QStringLiteral("http://localhost:11434/v1"));
    m_key = new QLineEdit;
    m_key->setObjectName(QStringLiteral("serverKey"));
    m_key->setEchoMode(QLineEdit::Password);
    m_key->setPlaceholderText(QStringLiteral("Optional; kept in the system keyring"));
    m_key->setAttribute(Qt::WA_InputMethodEnabled, false);
    m_key->setContextMenuPolicy(Qt::NoContextMenu);
    form->addRow(QStringLiteral("Name"), m_name);
    form->addRow(QStringLiteral("Address"), m_address);
    form->addRow(QStringLiteral("API key"), m_key);
    auto *modelRow = new QHBoxLayout;
    m_model = new QComboBox;
    m_model->setObjectName(QStringLiteral("serverModel"));
    m_model->setPlaceholderText(QStringLiteral("Test the connection to list the models"));
    m_model->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_model->setMinimumContentsLength(16);
    m_test = new QPushButton(QStringLiteral("Test connection"));
    modelRow->addWidget(m_model, 1);
    modelRow->addWidget(m_test);
    form->addRow(QStringLiteral("Model"), modelRow);
    m_images = new QCheckBox(QStringLiteral("This model takes image input (screenshots are sent to it)"));
    form->addRow(QString(), m_images);
    rows->addLayout(form);
    auto *actions = new QHBoxLayout;
    m_status = wrapping(QString());
    m_status->setObjectName(QStringLiteral("serverStatus"));
    m_status->hide();
    m_add = new QPushButton(QStringLiteral("Add server and use model"));
    actions->addWidget(m_status, 1);
    actions->addWidget(m_add, 0, Qt::AlignTop);
    rows->addLayout(actions);

    connect(m_test, &QPushButton::clicked, this, [this] { testConnection(); });
    connect(m_add, &QPushButton::clicked, this, [this] { addServer(); });
    // A list from another address or key would be a lie: edits ask for a new test.
    connect(m_address, &QLineEdit::textChanged, this, &ModelServersCard::formEdited);
    connect(m_key, &QLineEdit::textChanged, this, &ModelServersCard::formEdited);
    connect(m_model, &QComboBox::currentIndexChanged, this, &ModelServersCard::refresh);
    connect(&state.agentModels(), &AgentModelStore::serversChanged, this, &ModelServersCard::rebuildRows);
    connect(&state, &AppState::agentSettingsChanged, this, &ModelServersCard::refresh);
    rebuildRows();
}

QString ModelServersCard::statusText() const { return m_status->isHidden() ? QString() : m_status->text(); }

QString ModelServersCard::destinationText(const ModelServer &server)
{
    return server.isOnThisComputer()
               ? QStringLiteral("Stays on this computer")
               : QStringLiteral("Leaves this computer: text is sent to %1").arg(server.host());
}

void ModelServersCard::setStatus(const QString &text, bool failure)
{
    m_status->setText(text);
    m_status->setVisible(!text.isEmpty());
    QPalette p = m_status->palette();
    p.setColor(QPalette::WindowText, failure ? QColor(0xd0, 0x3b, 0x2f) : palette().color(QPalette::WindowText));
    m_status->setPalette(p);
    emit statusChanged();
}

void ModelServersCard::formEdited()
{
    m_model->clear();
    refresh();
}

void ModelServersCard::refresh()
{
    for (const auto &update : std::as_const(m_refreshers))
        update();
    m_test->setEnabled(!m_busy && !m_address->text().trimmed().isEmpty());
    m_add->setEnabled(!m_busy && m_model->currentIndex() >= 0);
}

void ModelServersCard::rebuildRows()
{
    m_refreshers.clear();
    while (QLayoutItem *item = m_rows->takeAt(0)) {
        if (QWidget *w = item->widget()) {
            w->hide();
            w->deleteLater();
        }
        delete item;
    }
    const QList<ModelServer> &servers = m_state.agentModels().servers();
    if (servers.isEmpty())
        m_rows->addWidget(caption(QStringLiteral("No servers yet. Ollama listens on http://localhost:11434/v1, "
                                                 "LM Studio on http://localhost:1234/v1, llama-server and vLLM on "
                                                 "the address they were started with.")));
    for (const ModelServer &server : servers) {
        if (m_rows->count() > 0)
            m_rows->addWidget(divider());
        m_rows->addWidget(makeRow(server));
    }
    refresh();
}

QWidget *ModelServersCard::makeRow(const ModelServer &server)
{
    auto *box = new QWidget;
    box->setObjectName(QStringLiteral("agentModel-") + server.modelID());
    auto *h = new QHBoxLayout(box);
    h->setContentsMargins(0, 0, 0, 0);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    auto *head = new QHBoxLayout;
    head->addWidget(ModelRowParts::boldLabel(server.model));
    head->addWidget(ModelRowParts::badge(server.name.toUpper()));
    head->addStretch();
    texts->addLayout(head);
    texts->addWidget(caption(server.baseURL));
    auto *facts = new QHBoxLayout;
    facts->setSpacing(fontMetrics().height());
    const bool local = server.isOnThisComputer();
    QLabel *where = nullptr;
    facts->addWidget(ModelRowParts::fact(local ? QStringLiteral("checkmark.shield.fill")
                                               : QStringLiteral("exclamationmark.triangle.fill"),
                                         destinationText(server), &where));
    where->setObjectName(QStringLiteral("serverDestination"));
    if (!local) {
        QPalette p = where->palette();
        p.setColor(QPalette::WindowText, QColor(0xe0, 0x8a, 0x1e));
        where->setPalette(p);
    }
    facts->addWidget(ModelRowParts::fact(server.images ? QStringLiteral("photo") : QStringLiteral("textformat"),
                                         server.images ? QStringLiteral("Text + images") : QStringLiteral("Text")));
    if (server.hasKey)
        facts->addWidget(ModelRowParts::fact(QStringLiteral("key"), QStringLiteral("API key in the system keyring")));
    facts->addStretch();
    texts->addLayout(facts);
    h->addLayout(texts, 1);

    auto *actions = new ModelActions(server.model + QStringLiteral(" on ") + server.name, ModelActions::Form::full);
    h->addWidget(actions, 0, Qt::AlignVCenter);
    connect(actions, &ModelActions::useRequested, this, [this, server] {
        AgentSettings s = m_state.agentSettings();
        s.writingProvider = AgentWritingProvider::openAICompatible;
        s.selectedServerModelID = server.modelID();
        m_state.setAgentSettings(s);
    });
    connect(actions, &ModelActions::removeRequested, this, [this, server] { removeServer(server); });
    m_refreshers.append([this, server, actions] {
        ModelActions::Status s;
        s.installed = true;
        s.removable = !m_busy;
        s.selected = isSelected(m_state.agentSettings(), server);
        actions->showStatus(s);
    });
    return box;
}

QCoro::Task<> ModelServersCard::testConnection()
{
    if (m_busy)
        co_return;
    m_busy = true;
    m_model->clear();
    setStatus(QStringLiteral("Testing the connection…"), false);
    refresh();
    QPointer<ModelServersCard> self(this);
    auto listing = ModelServerProbe::listModels(m_network, m_address->text(), m_key->text());
    const auto listed = co_await listing;
    if (!self)
        co_return;
    m_busy = false;
    if (listed.ok()) {
        m_model->addItems(listed.value());
        m_model->setCurrentIndex(0);
        const int n = int(listed.value().size());
        setStatus(n == 1 ? QStringLiteral("Connected. The server lists one model.")
                         : QStringLiteral("Connected. The server lists %1 models.").arg(n),
                  false);
    } else {
        setStatus(listed.error(), true);
    }
    refresh();
}

QCoro::Task<> ModelServersCard::addServer()
{
    const auto base = ModelServer::normalizedBaseURL(m_address->text());
    if (m_busy || !base || m_model->currentIndex() < 0)
        co_return;
    ModelServer server;
    server.baseURL = *base;
    server.name = m_name->text().trimmed().isEmpty() ? QUrl(*base).host() : m_name->text().trimmed();
    server.model = m_model->currentText();
    server.images = m_images->isChecked();
    server.hasKey = !m_key->text().trimmed().isEmpty();
    ModelServerKeyStore *keys = m_state.serverKeys();
    if (server.hasKey && !keys) {
        setStatus(QStringLiteral("The system keyring is not available, so the API key cannot be kept."), true);
        co_return;
    }
    m_busy = true;
    refresh();
    QPointer<ModelServersCard> self(this);
    if (server.hasKey) {
        auto saving = keys->save(server.id, m_key->text());
        const auto saved = co_await saving;
        if (!self)
            co_return;
        if (!saved.ok()) {
            m_busy = false;
            setStatus(saved.error(), true);
            refresh();
            co_return;
        }
    }
    m_busy = false;
    if (!m_state.agentModels().addServer(server)) {
        if (server.hasKey)
            keys->remove(server.id); // no server to go with it
        setStatus(QStringLiteral("The server could not be saved in the program's data folder."), true);
        refresh();
        co_return;
    }
    AgentSettings s = m_state.agentSettings();
    s.writingProvider = AgentWritingProvider::openAICompatible;
    s.selectedServerModelID = server.modelID();
    m_state.setAgentSettings(s);
    m_name->clear();
    m_address->clear();
    m_key->clear();
    m_model->clear();
    m_images->setChecked(false);
    setStatus(QStringLiteral("Added. %1 on %2 is now the active Command model.").arg(server.model, server.name), false);
    refresh();
}

QCoro::Task<> ModelServersCard::removeServer(ModelServer server)
{
    if (m_busy)
        co_return;
    QPointer<ModelServersCard> self(this);
    if (server.hasKey && m_state.serverKeys()) {
        m_busy = true;
        refresh();
        auto removing = m_state.serverKeys()->remove(server.id);
        const auto removed = co_await removing;
        if (!self)
            co_return;
        m_busy = false;
        if (!removed.ok()) {
            // The server stays, so its key is not left behind without it.
            setStatus(removed.error(), true);
            refresh();
            co_return;
        }
    }
    if (!m_state.agentModels().removeServer(server.id)) {
        setStatus(QStringLiteral("The server could not be removed from the program's data folder."), true);
        refresh();
        co_return;
    }
    AgentSettings s = m_state.agentSettings();
    if (isSelected(s, server)) {
        // Back to the local choice, which is always there.
        s.writingProvider = AgentWritingProvider::local;
        m_state.setAgentSettings(s);
    }
    setStatus(QStringLiteral("Removed %1.").arg(server.name), false);
    refresh();
}
