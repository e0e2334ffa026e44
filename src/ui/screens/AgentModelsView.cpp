#include "ui/screens/AgentModelsView.h"

#include "app/AppState.h"
#include "app/PlatformWording.h"
#include "models/AgentModelStore.h"
#include "ui/screens/ModelRowParts.h"
#include "ui/screens/ModelServersCard.h"
#include "ui/screens/OpenAIKeyCard.h"
#include "ui/components/ScreenLayout.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

using namespace ScreenLayout;
using ModelRowParts::badge;

namespace {

const QString kSystemModelID = QStringLiteral("apple-system");

QString fitSymbol(AgentModelHardwareFit fit)
{
    switch (fit) {
    case AgentModelHardwareFit::goodFit:
        return QStringLiteral("checkmark.circle.fill");
    case AgentModelHardwareFit::limitedHeadroom:
        return QStringLiteral("exclamationmark.circle");
    case AgentModelHardwareFit::notRecommended:
    case AgentModelHardwareFit::requiresAppleSilicon:
        return QStringLiteral("exclamationmark.triangle.fill");
    case AgentModelHardwareFit::system:
        return QStringLiteral("cpu");
    case AgentModelHardwareFit::cloud:
        return QStringLiteral("cloud");
    }
    return {};
}

QColor fitColor(AgentModelHardwareFit fit, const QPalette &palette)
{
    switch (fit) {
    case AgentModelHardwareFit::goodFit:
        return QColor(0x2f, 0x9e, 0x5b);
    case AgentModelHardwareFit::limitedHeadroom:
    case AgentModelHardwareFit::notRecommended:
    case AgentModelHardwareFit::requiresAppleSilicon:
        return QColor(0xe0, 0x8a, 0x1e);
    default:
        return palette.color(QPalette::PlaceholderText);
    }
}

// A secondary fact on one line.
QLabel *quiet(const QString &text)
{
    auto *l = new QLabel(text);
    l->setForegroundRole(QPalette::PlaceholderText);
    return l;
}

} // namespace

AgentModelsView::AgentModelsView(AppState &state, std::optional<AgentHardwareProfile> profile, QWidget *parent)
    : QWidget(parent), m_state(state), m_store(state.agentModels()),
      m_hardwareProfile(profile ? *profile : AgentHardwareProfile::current())
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    const int e = fontMetrics().height();
    column->setSpacing(e);

    m_error = new ModelRowParts::ErrorLine(QStringLiteral("agentModelError"));
    column->addWidget(m_error);

    // Local models.
    QVBoxLayout *rows = nullptr;
    column->addWidget(section(QStringLiteral("Local fallback"),
                              QStringLiteral("On-device models · hardware guidance for this Mac"), &rows));
    auto *summary = wrapping(hardwareRecommendation());
    summary->setObjectName(QStringLiteral("hardwareRecommendation"));
    rows->addWidget(summary);
    m_localRows = new QVBoxLayout;
    rows->addLayout(m_localRows);
    auto *importRow = new QHBoxLayout;
    auto *importButton = new QPushButton(QStringLiteral("Import GGUF"));
    connect(importButton, &QPushButton::clicked, this, &AgentModelsView::chooseGGUF);
    importRow->addWidget(importButton);
    m_importProgress = new QWidget;
    auto *progressRow = new QHBoxLayout(m_importProgress);
    progressRow->setContentsMargins(0, 0, 0, 0);
    auto *busy = new QProgressBar;
    busy->setRange(0, 0);
    busy->setMaximumWidth(e * 6);
    busy->setTextVisible(false);
    m_importProgressText = caption(QString());
    auto *stop = new QPushButton(QStringLiteral("Stop"));
    stop->setObjectName(QStringLiteral("stopImport"));
    stop->setProperty("role", QStringLiteral("quiet"));
    connect(stop, &QPushButton::clicked, this, [this] { m_store.cancelImport(); });
    progressRow->addWidget(busy);
    progressRow->addWidget(m_importProgressText, 1);
    progressRow->addWidget(stop);
    m_importProgress->hide();
    importRow->addWidget(m_importProgress, 1);
    importRow->addStretch();
    rows->addLayout(importRow);
    m_importWarning = note(QStringLiteral("exclamationmark.triangle"), QString(), &m_importWarningText);
    m_importWarning->setObjectName(QStringLiteral("importWarning"));
    rows->addWidget(m_importWarning);
    rows->addWidget(caption(PlatformWording::adapt(QStringLiteral(
        "Downloads live in ~/Library/Application Support/Orvel Raza, outside the app bundle. Remove deletes a "
        "model from this Mac; deleting the app by itself leaves downloaded models in Application Support."))));
    rows->addWidget(caption(PlatformWording::adapt(QStringLiteral(
        "Kimi and gpt-oss are not recommended on a 16 GB Mac because their useful variants leave too little "
        "runtime headroom. Compatible GGUF builds can still be imported manually."))));

    // The user's own OpenAI-compatible servers.
    column->addWidget(section(QStringLiteral("Your model servers"),
                              QStringLiteral("OpenAI-compatible servers: llama-server, Ollama, LM Studio, vLLM"), &rows));
    m_serversCard = new ModelServersCard(state);
    rows->addWidget(m_serversCard);

    // Cloud models and the key.
    column->addWidget(section(QStringLiteral("OpenAI API"), QStringLiteral("Luna is recommended and selected by default"), &rows));
    rows->addWidget(note(QStringLiteral("creditcard.trianglebadge.exclamationmark"),
                         QStringLiteral("OpenAI models use your API account and can create charges. Personal "
                                        "context, instructions, selected text, screenshots, and relevant "
                                        "conversation turns are sent to OpenAI when selected.")));
    m_cloudRows = new QVBoxLayout;
    rows->addLayout(m_cloudRows);
    m_keyCard = new OpenAIKeyCard(state);
    rows->addWidget(m_keyCard);

    // The speech model Command listens with.
    column->addWidget(section(QStringLiteral("Command speech input"),
                              QStringLiteral("Spoken commands are always transcribed on this Mac"), &rows));
    m_speechModel = new QComboBox;
    m_speechModel->setObjectName(QStringLiteral("agentSpeechModel"));
    for (const SpeechModel &m : SpeechModel::catalog())
        m_speechModel->addItem(m.name, m.id);
    connect(m_speechModel, &QComboBox::activated, this, [this](int index) {
        AgentSettings s = m_state.agentSettings();
        s.speechModelID = m_speechModel->itemData(index).toString();
        m_state.setAgentSettings(s);
    });
    rows->addWidget(row(QStringLiteral("waveform.badge.mic"), QStringLiteral("Speech-to-text model"),
                        QStringLiteral("Used before the writing request is sent to the selected provider"),
                        m_speechModel));

    connect(&m_store, &AgentModelStore::customModelsChanged, this, &AgentModelsView::rebuildRows);
    connect(&m_store, &AgentModelStore::progressChanged, this, &AgentModelsView::refresh);
    connect(&m_store, &AgentModelStore::activeDownloadsChanged, this, &AgentModelsView::refresh);
    connect(&m_store, &AgentModelStore::revisionChanged, this, &AgentModelsView::refresh);
    connect(&m_store, &AgentModelStore::lastImportWarningChanged, this, &AgentModelsView::refresh);
    connect(&state, &AppState::agentSettingsChanged, this, &AgentModelsView::refresh);
    rebuildRows();
}

AgentModelsView::~AgentModelsView()
{
    if (m_importDialog)
        delete m_importDialog;
}

QWidget *AgentModelsView::section(const QString &title, const QString &detail, QVBoxLayout **rows)
{
    auto *box = new QWidget;
    auto *v = new QVBoxLayout(box);
    v->setContentsMargins(0, 0, 0, 0);
    v->addWidget(sectionTitle(title));
    v->addWidget(caption(PlatformWording::adapt(detail)));
    v->addWidget(card(rows));
    return box;
}

QString AgentModelsView::recommendedLocalModelID(const AgentHardwareProfile &profile)
{
    // llama.cpp runs on this processor, so memory alone picks the model.
    if (!profile.isAppleSilicon && AgentHardwareProfile::localModelsNeedAppleSilicon)
        return {};
    return profile.memoryGB < 16 ? QStringLiteral("gemma4-e2b-q4") : QStringLiteral("gemma4-e4b-q4");
}

QString AgentModelsView::hardwareRecommendationText(const AgentHardwareProfile &profile)
{
    if (const QString id = recommendedLocalModelID(profile); !id.isEmpty()) {
        if (const auto model = AgentModelDescriptor::catalogEntry(id))
            return PlatformWording::adapt(profile.summary() + QStringLiteral(". ") + model->name +
                                          QStringLiteral(" is the recommended local balance for this Mac. The first "
                                                         "request can take longer while the model loads."));
        return PlatformWording::adapt(profile.summary() + QStringLiteral("."));
    }
    return PlatformWording::adapt(profile.summary() + QStringLiteral(". Downloaded local models require Apple silicon; "
                                                                     "use Apple On-Device or an OpenAI model on this Mac."));
}

QString AgentModelsView::hardwareRecommendation() const { return hardwareRecommendationText(m_hardwareProfile); }

QString AgentModelsView::fitText(AgentModelHardwareFit fit)
{
    switch (fit) {
    case AgentModelHardwareFit::system:
        return PlatformWording::adapt(QStringLiteral("Managed by macOS"));
    case AgentModelHardwareFit::cloud:
        return QStringLiteral("Runs in the cloud");
    case AgentModelHardwareFit::goodFit:
        return PlatformWording::adapt(QStringLiteral("Good fit for this Mac"));
    case AgentModelHardwareFit::limitedHeadroom:
        return QStringLiteral("Runs with limited headroom");
    case AgentModelHardwareFit::notRecommended:
        return PlatformWording::adapt(QStringLiteral("Not recommended on this Mac"));
    case AgentModelHardwareFit::requiresAppleSilicon:
        return PlatformWording::adapt(QStringLiteral("Requires Apple silicon"));
    }
    return {};
}

void AgentModelsView::rebuildRows()
{
    m_refreshers.clear();
    for (QVBoxLayout *rows : {m_localRows, m_cloudRows}) {
        while (QLayoutItem *item = rows->takeAt(0)) {
            if (QWidget *w = item->widget()) {
                w->hide();
                w->deleteLater();
            }
            delete item;
        }
    }
    for (const AgentModelDescriptor &d : m_store.allModels()) {
        QVBoxLayout *rows = d.provider == AgentModelProvider::openAI ? m_cloudRows : m_localRows;
        if (rows->count() > 0)
            rows->addWidget(divider());
        rows->addWidget(makeRow(d));
    }
    refresh();
}

QWidget *AgentModelsView::makeRow(const AgentModelDescriptor &d)
{
    auto *box = new QWidget;
    box->setObjectName(QStringLiteral("agentModel-") + d.id);
    auto *h = new QHBoxLayout(box);
    h->setContentsMargins(0, 0, 0, 0);

    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    auto *head = new QHBoxLayout;
    head->addWidget(ModelRowParts::boldLabel(d.name));
    if (d.id == QLatin1String("openai-luna"))
        head->addWidget(badge(QStringLiteral("RECOMMENDED CLOUD"), true));
    else if (d.id == recommendedLocalModelID(m_hardwareProfile))
        head->addWidget(badge(PlatformWording::adapt(QStringLiteral("BEST FOR THIS MAC")), true));
    head->addStretch();
    texts->addLayout(head);
    if (!d.detail.isEmpty())
        texts->addWidget(caption(PlatformWording::adapt(d.detail)));

    auto *facts = new QHBoxLayout;
    facts->setSpacing(fontMetrics().height());
    const bool images = d.capabilities.images;
    facts->addWidget(ModelRowParts::fact(images ? QStringLiteral("photo") : QStringLiteral("textformat"),
                          images ? QStringLiteral("Text + images") : QStringLiteral("Text")));
    const AgentModelHardwareFit fit = d.hardwareFit(m_hardwareProfile);
    QLabel *fitLabel = nullptr;
    facts->addWidget(ModelRowParts::fact(fitSymbol(fit), fitText(fit), &fitLabel));
    QPalette fitPalette = fitLabel->palette();
    fitPalette.setColor(QPalette::WindowText, fitColor(fit, palette()));
    fitLabel->setPalette(fitPalette);
    if (d.provider == AgentModelProvider::llamaCPP)
        facts->addWidget(quiet(PlatformWording::adapt(d.hardwareRequirementLabel())));
    facts->addWidget(quiet(d.sizeLabel));
    facts->addStretch();
    texts->addLayout(facts);
    h->addLayout(texts, 1);

    auto *actions = new ModelActions(d.name, ModelActions::Form::full);
    h->addWidget(actions, 0, Qt::AlignVCenter);
    connect(actions, &ModelActions::downloadRequested, this, [this, d] { download(d); });
    connect(actions, &ModelActions::useRequested, this, [this, d] { select(d); });
    connect(actions, &ModelActions::cancelRequested, this, [this, id = d.id] { m_store.cancelDownload(id); });
    connect(actions, &ModelActions::removeRequested, this, [this, d] { remove(d); });
    m_refreshers.append([this, d, actions] {
        ModelActions::Status s;
        s.downloading = m_store.activeDownloads().contains(d.id);
        s.progress = m_store.progress().value(d.id);
        s.installed = AgentModelStore::isAvailable(d);
        s.selected = isSelected(d);
        // Only local files can be removed; the system and cloud models are always there.
        s.removable = d.provider == AgentModelProvider::llamaCPP;
        actions->showStatus(s);
    });
    return box;
}

void AgentModelsView::refresh()
{
    for (const auto &update : std::as_const(m_refreshers))
        update();
    const auto &warning = m_store.lastImportWarning();
    m_importWarningText->setText(PlatformWording::adapt(warning.value_or(QString())));
    m_importWarning->setVisible(warning.has_value() && !m_importing);
    m_importProgress->setVisible(m_importing);
    const QSignalBlocker block(m_speechModel);
    m_speechModel->setCurrentIndex(m_speechModel->findData(m_state.agentSettings().speechModelID));
}

void AgentModelsView::setErrorMessage(std::optional<QString> message)
{
    // Store errors may name a macOS fact ("bundled llama-server").
    if (message)
        message = PlatformWording::adapt(*message);
    m_errorMessage = std::move(message);
    m_error->setMessage(m_errorMessage);
    emit errorMessageChanged();
}

bool AgentModelsView::isSelected(const AgentModelDescriptor &d) const
{
    const AgentSettings &s = m_state.agentSettings();
    if (d.provider == AgentModelProvider::openAI)
        return s.writingProvider == AgentWritingProvider::openAI && s.selectedOpenAIModelID == d.id;
    if (d.provider == AgentModelProvider::openAICompatible)
        return s.writingProvider == AgentWritingProvider::openAICompatible && s.selectedServerModelID == d.id;
    return s.writingProvider == AgentWritingProvider::local && s.selectedModelID == d.id;
}

void AgentModelsView::select(const AgentModelDescriptor &d)
{
    AgentSettings s = m_state.agentSettings();
    if (d.provider == AgentModelProvider::openAI) {
        s.writingProvider = AgentWritingProvider::openAI;
        s.selectedOpenAIModelID = d.id;
    } else if (d.provider == AgentModelProvider::openAICompatible) {
        s.writingProvider = AgentWritingProvider::openAICompatible;
        s.selectedServerModelID = d.id;
    } else {
        s.writingProvider = AgentWritingProvider::local;
        s.selectedModelID = d.id;
    }
    m_state.setAgentSettings(s);
}

QCoro::Task<> AgentModelsView::download(AgentModelDescriptor d)
{
    setErrorMessage(std::nullopt);
    QPointer<AgentModelsView> self(this);
    auto downloading = m_store.download(d);
    const Result<void, QString> result = co_await downloading;
    if (self && !result.ok() && result.error() != QLatin1String("The download was cancelled."))
        self->setErrorMessage(result.error());
}

void AgentModelsView::remove(const AgentModelDescriptor &d)
{
    const auto removed = m_store.deleteModel(d);
    if (!removed.ok()) {
        setErrorMessage(removed.error());
        return;
    }
    setErrorMessage(std::nullopt);
    AgentSettings s = m_state.agentSettings();
    if (s.selectedModelID == d.id) {
        // The operating system's model is always there to fall back on.
        s.selectedModelID = kSystemModelID;
        m_state.setAgentSettings(s);
    }
    refresh();
}

void AgentModelsView::chooseGGUF()
{
    if (m_importDialog)
        delete m_importDialog;
    auto *dialog = new QFileDialog(this, QStringLiteral("Import a GGUF model"));
    m_importDialog = dialog;
    dialog->setFileMode(QFileDialog::ExistingFiles);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setNameFilter(QStringLiteral("All files (*)"));
    // Qt's own dialog, so the message can stand in it.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setLabelText(QFileDialog::Accept, QStringLiteral("Import"));
    if (auto *grid = qobject_cast<QGridLayout *>(dialog->layout()))
        grid->addWidget(wrapping(QStringLiteral("Choose one model and, optionally, its vision projector.")),
                        grid->rowCount(), 0, 1, grid->columnCount());
    connect(dialog, &QFileDialog::filesSelected, this, [this](const QStringList &files) { importChosenFiles(files); });
    connect(dialog, &QFileDialog::finished, dialog, &QObject::deleteLater);
    dialog->open();
}

QCoro::Task<> AgentModelsView::importChosenFiles(QStringList files)
{
    std::optional<QString> model, projector;
    for (const QString &file : files) {
        const QFileInfo info(file);
        if (info.suffix().toLower() != QLatin1String("gguf"))
            continue;
        const bool isProjector = info.fileName().toLower().contains(QLatin1String("mmproj"));
        if (isProjector && !projector)
            projector = file;
        else if (!isProjector && !model)
            model = file;
    }
    if (!model) {
        setErrorMessage(QStringLiteral("Choose a GGUF model file."));
        co_return;
    }
    if (m_importing)
        co_return;
    setErrorMessage(std::nullopt);
    m_importing = true;
    const QString name = QFileInfo(*model).completeBaseName();
    m_importProgressText->setText(QStringLiteral("Checking %1 with the local inference server…").arg(name));
    refresh();
    QPointer<AgentModelsView> self(this);
    auto importing = m_store.importGGUF(*model, projector, name);
    const auto imported = co_await importing;
    if (!self)
        co_return;
    m_importing = false;
    if (imported.ok())
        select(imported.value());
    else
        setErrorMessage(imported.error());
    refresh();
}
