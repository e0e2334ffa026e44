#include "ui/screens/SpeechModelsView.h"

#include "app/AppState.h"
#include "app/PlatformWording.h"
#include "speech/ModelStore.h"
#include "ui/components/ModelViews.h"
#include "ui/components/ScreenLayout.h"
#include "ui/components/SpeechEnginesOffer.h"
#include "ui/screens/ModelRowParts.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <tuple>

using namespace ScreenLayout;
using ModelRowParts::badge;
using ModelRowParts::columnCaption;

namespace {

QString languagesBadge(const SpeechModel &model)
{
    return model.isEnglishOnly ? QStringLiteral("EN ONLY") : model.languageSummary.toUpper();
}

const QString kRemovalText = QStringLiteral("The model file will be deleted from this Mac. You can download it again later.");

} // namespace

SpeechModelsView::SpeechModelsView(AppState &state, QWidget *parent)
    : QWidget(parent), m_state(state), m_store(&state.modelStore())
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    const int e = fontMetrics().height();
    column->setSpacing(e);
    column->addWidget(heading(QStringLiteral("Dictation models"), QStringLiteral("Local speech-to-text"),
                              QStringLiteral("Pocket and Velocity are the fastest defaults. Explore larger models only "
                                             "when you want a different balance of speed, quality, or language "
                                             "coverage.")));
    m_error = new ModelRowParts::ErrorLine(QStringLiteral("speechModelError"));
    column->addWidget(m_error);
    column->addWidget(new SpeechEnginesOffer(state.speechEngines()));

    auto *recommended = new QVBoxLayout;
    recommended->setSpacing(e / 4);
    recommended->addWidget(sectionTitle(QStringLiteral("RECOMMENDED")));
    recommended->addWidget(caption(QStringLiteral("Fast, reliable defaults")));
    column->addLayout(recommended);
    auto *cards = new QHBoxLayout;
    cards->setSpacing(e);
    for (const QString &id : {QStringLiteral("pocket"), QStringLiteral("velocity")})
        if (const auto model = SpeechModel::withID(id))
            cards->addWidget(makeCard(*model), 1);
    column->addLayout(cards);

    m_allModelsToggle = new QToolButton;
    m_allModelsToggle->setObjectName(QStringLiteral("allModels"));
    m_allModelsToggle->setCheckable(true);
    m_allModelsToggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_allModelsToggle->setText(QStringLiteral("All models"));
    m_allModelsToggle->setAccessibleName(QStringLiteral("All models"));
    m_allModelsToggle->setAutoRaise(true);
    QFont bold = m_allModelsToggle->font();
    bold.setBold(true);
    m_allModelsToggle->setFont(bold);
    connect(m_allModelsToggle, &QToolButton::toggled, this, &SpeechModelsView::setShowsAllModels);
    auto *groupHead = new QHBoxLayout;
    auto *groupIcon = new QLabel;
    groupIcon->setPixmap(symbol(QStringLiteral("square.stack.3d.up")).pixmap(QSize(e, e)));
    groupHead->addWidget(groupIcon);
    groupHead->addWidget(m_allModelsToggle);
    groupHead->addWidget(caption(QStringLiteral("Compare, download, activate, or remove any local model")), 1);
    column->addLayout(groupHead);
    m_table = makeTable();
    column->addWidget(m_table);

    auto *footer = new QVBoxLayout;
    footer->addWidget(note(QStringLiteral("checkmark.shield.fill"), QStringLiteral("Ratings are relative to this catalog.")));
    footer->addWidget(caption(QStringLiteral("Every model stays offline after download. Whisper uses MIT; NVIDIA "
                                             "Parakeet uses CC BY 4.0.")));
    column->addLayout(footer);

    connect(&state, &AppState::selectedModelIDChanged, this, &SpeechModelsView::refresh);
    connect(m_store, &ModelStore::progressChanged, this, &SpeechModelsView::refresh);
    connect(m_store, &ModelStore::activeDownloadsChanged, this, &SpeechModelsView::refresh);
    connect(m_store, &ModelStore::revisionChanged, this, &SpeechModelsView::refresh);
    setShowsAllModels(false);
    refresh();
}

SpeechModelsView::~SpeechModelsView()
{
    if (m_confirmation)
        delete m_confirmation;
}

void SpeechModelsView::setShowsAllModels(bool shown)
{
    m_showsAllModels = shown;
    const QSignalBlocker block(m_allModelsToggle);
    m_allModelsToggle->setChecked(shown);
    m_allModelsToggle->setArrowType(shown ? Qt::DownArrow : Qt::RightArrow);
    m_table->setVisible(shown);
}

QWidget *SpeechModelsView::makeActions(const SpeechModel &model, bool compact)
{
    auto *actions = new ModelActions(model.name, compact ? ModelActions::Form::compact : ModelActions::Form::full);
    connect(actions, &ModelActions::downloadRequested, this, [this, model] { downloadAndSelect(model); });
    connect(actions, &ModelActions::useRequested, this, [this, model] { select(model); });
    connect(actions, &ModelActions::cancelRequested, this, [this, model] { cancelDownload(model); });
    connect(actions, &ModelActions::removeRequested, this, [this, model] { askToRemove(model); });
    m_refreshers.append([this, model, actions] {
        ModelActions::Status s;
        s.downloading = m_store && m_store->activeDownloads().contains(model.id);
        s.progress = m_store ? m_store->progress().value(model.id) : 0;
        s.installed = ModelStore::isInstalled(model);
        s.selected = m_state.selectedModelID() == model.id;
        // Pocket ships with the program and is what every removal falls back to.
        s.removable = model.id != QLatin1String("pocket");
        s.downloadable = m_store;
        actions->showStatus(s);
    });
    return actions;
}

QWidget *SpeechModelsView::makeCard(const SpeechModel &model)
{
    QVBoxLayout *rows = nullptr;
    QFrame *frame = card(&rows);
    frame->setObjectName(QStringLiteral("modelCard-") + model.id);
    const int e = fontMetrics().height();

    auto *head = new QHBoxLayout;
    head->addWidget(new ModelGlyph(model, e * 2));
    head->addWidget(sectionTitle(model.name));
    auto *active = badge(QStringLiteral("ACTIVE"), true);
    head->addWidget(active);
    head->addStretch();
    rows->addLayout(head);
    rows->addWidget(caption(model.detail));

    auto *badges = new QHBoxLayout;
    badges->addWidget(badge(languagesBadge(model)));
    badges->setSpacing(e);
    badges->addWidget(ModelRowParts::fact(QStringLiteral("internaldrive"), model.sizeLabel));
    badges->addWidget(ModelRowParts::fact(QStringLiteral("checkmark.seal"), model.license));
    badges->addStretch();
    rows->addLayout(badges);

    auto *ratings = new QVBoxLayout;
    ratings->setSpacing(e / 4);
    ratings->addWidget(columnCaption(QStringLiteral("RELATIVE")));
    ratings->addWidget(new ModelRating(QStringLiteral("Speed"), model.speedRating(), false));
    ratings->addWidget(new ModelRating(QStringLiteral("Quality"), model.qualityRating(), false));
    rows->addLayout(ratings);
    rows->addStretch();
    rows->addWidget(makeActions(model, false));

    m_refreshers.append([this, model, active] { active->setVisible(m_state.selectedModelID() == model.id); });
    return frame;
}

QWidget *SpeechModelsView::makeTable()
{
    QVBoxLayout *rows = nullptr;
    QFrame *frame = card(&rows);
    frame->setObjectName(QStringLiteral("allModelsTable"));
    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(fontMetrics().height());
    const QStringList headers = {QStringLiteral("MODEL"), QStringLiteral("LANGUAGES"), QStringLiteral("SPEED"),
                                 QStringLiteral("QUALITY"), QStringLiteral("DISK"), QStringLiteral("STATUS")};
    for (int c = 0; c < headers.size(); ++c)
        grid->addWidget(columnCaption(headers[c]), 0, c);
    int r = 1;
    for (const SpeechModel &model : SpeechModel::catalog()) {
        grid->addWidget(ModelRowParts::boldLabel(model.name), r, 0);
        grid->addWidget(new QLabel(model.isEnglishOnly ? QStringLiteral("English") : model.languageSummary), r, 1);
        // The column names the rating; the stars stand alone, read aloud with their label.
        for (auto [column, label, value] : {std::tuple(2, QStringLiteral("Speed"), model.speedRating()),
                                            std::tuple(3, QStringLiteral("Quality"), model.qualityRating())}) {
            auto *rating = new ModelRating(label, value, true);
            rating->setLabelShown(false);
            grid->addWidget(rating, r, column);
        }
        grid->addWidget(new QLabel(model.sizeLabel), r, 4);
        grid->addWidget(makeActions(model, true), r, 5);
        ++r;
    }
    grid->setColumnStretch(5, 1);
    rows->addLayout(grid);
    return frame;
}

void SpeechModelsView::setErrorMessage(std::optional<QString> message)
{
    m_errorMessage = std::move(message);
    m_error->setMessage(m_errorMessage);
    emit errorMessageChanged();
}

void SpeechModelsView::refresh()
{
    for (const auto &update : std::as_const(m_refreshers))
        update();
}

QCoro::Task<> SpeechModelsView::downloadAndSelect(SpeechModel model)
{
    if (!m_store || m_store->activeDownloads().contains(model.id))
        co_return;
    setErrorMessage(std::nullopt);
    QPointer<SpeechModelsView> self(this);
    QPointer<AppState> state(&m_state);
    auto downloading = m_store->download(model);
    const Result<void, QString> result = co_await downloading;
    if (result.ok()) {
        if (state)
            state->setSelectedModelID(model.id);
    } else if (self && result.error() != ModelStore::cancelledMessage()) {
        // The previous selection stays; the user sees why. A cancel needs no explanation.
        self->setErrorMessage(result.error());
    }
}

void SpeechModelsView::cancelDownload(const SpeechModel &model)
{
    if (!m_store || !m_store->activeDownloads().contains(model.id))
        return;
    m_store->cancelDownload(model);
}

void SpeechModelsView::select(const SpeechModel &model) { m_state.setSelectedModelID(model.id); }

void SpeechModelsView::askToRemove(const SpeechModel &model)
{
    if (m_confirmation)
        delete m_confirmation;
    m_pendingRemoval = model;
    const QString title = QStringLiteral("Remove ") + model.name + QLatin1Char('?');
    m_confirmation = new QMessageBox(QMessageBox::Warning, title, title, QMessageBox::NoButton, this);
    m_confirmation->setInformativeText(PlatformWording::adapt(kRemovalText));
    QPushButton *removeButton = m_confirmation->addButton(QStringLiteral("Remove downloaded model"), QMessageBox::DestructiveRole);
    QPushButton *cancel = m_confirmation->addButton(QMessageBox::Cancel);
    m_confirmation->setDefaultButton(cancel);
    m_confirmation->setEscapeButton(cancel);
    QMessageBox *box = m_confirmation;
    connect(box, &QMessageBox::finished, this, [this, box, removeButton] {
        const bool confirmed = box->clickedButton() == removeButton;
        const auto model = m_pendingRemoval;
        m_pendingRemoval.reset();
        box->deleteLater();
        if (confirmed && model) {
            // Removing the selected model moves the selection back to Pocket.
            const auto removed = m_state.removeModel(*model);
            setErrorMessage(removed.ok() ? std::nullopt : std::optional(removed.error()));
            refresh();
        }
    });
    m_confirmation->open();
}
