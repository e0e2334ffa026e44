#include "ui/screens/SpeechModelsView.h"

#include "app/AppState.h"
#include "app/PlatformWording.h"
#include "speech/ModelStore.h"
#include "ui/components/ScreenLayout.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

using namespace ScreenLayout;

namespace {

QString ratingText(int value)
{
    return QString(value, QChar(0x25CF)) + QString(5 - value, QChar(0x25CB));
}

QLabel *badge(const QString &text)
{
    auto *l = new QLabel(text);
    QFont f = l->font();
    f.setPointSizeF(f.pointSizeF() * 0.8);
    f.setBold(true);
    l->setFont(f);
    l->setForegroundRole(QPalette::PlaceholderText);
    return l;
}

QLabel *glyph(const SpeechModel &model, int size)
{
    auto *l = new QLabel;
    l->setFixedSize(size, size);
    l->setAlignment(Qt::AlignCenter);
    l->setText(model.name.left(1));
    const QColor c = model.accentColor();
    l->setStyleSheet(QStringLiteral("background: %1; color: white; border-radius: %2px; font-weight: bold;")
                         .arg(c.name())
                         .arg(size / 4));
    return l;
}

QString languagesBadge(const SpeechModel &model)
{
    return model.isEnglishOnly ? QStringLiteral("EN ONLY") : model.languageSummary.toUpper();
}

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
    m_error = note(QStringLiteral("exclamationmark.triangle"), QString(), &m_errorText);
    m_error->setObjectName(QStringLiteral("speechModelError"));
    m_error->hide();
    column->addWidget(m_error);

    column->addWidget(sectionTitle(QStringLiteral("RECOMMENDED")));
    column->addWidget(caption(QStringLiteral("Fast, reliable defaults")));
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
    m_table->hide();
    column->addWidget(m_table);

    auto *footer = new QVBoxLayout;
    footer->addWidget(note(QStringLiteral("checkmark.shield.fill"), QStringLiteral("Ratings are relative to this catalog.")));
    footer->addWidget(caption(QStringLiteral("Every model stays offline after download. Whisper uses MIT; NVIDIA "
                                             "Parakeet uses CC BY 4.0.")));
    column->addLayout(footer);

    connect(&state, &AppState::selectedModelIDChanged, this, &SpeechModelsView::refresh);
    if (m_store) {
        connect(m_store, &ModelStore::progressChanged, this, &SpeechModelsView::refresh);
        connect(m_store, &ModelStore::activeDownloadsChanged, this, &SpeechModelsView::refresh);
        connect(m_store, &ModelStore::revisionChanged, this, &SpeechModelsView::refresh);
    }
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

QWidget *SpeechModelsView::makeCard(const SpeechModel &model)
{
    QVBoxLayout *rows = nullptr;
    QFrame *frame = card(&rows);
    frame->setObjectName(QStringLiteral("modelCard-") + model.id);
    const int e = fontMetrics().height();

    auto *head = new QHBoxLayout;
    head->addWidget(glyph(model, e * 2));
    auto *name = sectionTitle(model.name);
    head->addWidget(name);
    auto *active = badge(QStringLiteral("ACTIVE"));
    active->setForegroundRole(QPalette::Highlight);
    head->addWidget(active);
    head->addStretch();
    rows->addLayout(head);
    rows->addWidget(caption(model.detail));

    auto *badges = new QHBoxLayout;
    badges->addWidget(badge(languagesBadge(model)));
    badges->addWidget(note(QStringLiteral("internaldrive"), model.sizeLabel));
    badges->addWidget(note(QStringLiteral("checkmark.seal"), model.license));
    badges->addStretch();
    rows->addLayout(badges);

    auto *ratings = new QGridLayout;
    ratings->addWidget(badge(QStringLiteral("RELATIVE")), 0, 0, 1, 2);
    ratings->addWidget(new QLabel(QStringLiteral("Speed")), 1, 0);
    ratings->addWidget(new QLabel(ratingText(model.speedRating())), 1, 1);
    ratings->addWidget(new QLabel(QStringLiteral("Quality")), 2, 0);
    ratings->addWidget(new QLabel(ratingText(model.qualityRating())), 2, 1);
    ratings->setColumnStretch(2, 1);
    rows->addLayout(ratings);

    auto *actions = new QHBoxLayout;
    auto *progress = new QLabel;
    auto *cancel = new QPushButton(QStringLiteral("Cancel"));
    cancel->setAccessibleName(QStringLiteral("Cancel download of ") + model.name);
    auto *primary = new QPushButton;
    auto *remove = new QPushButton(symbol(QStringLiteral("trash")), QStringLiteral("Remove"));
    remove->setAccessibleName(QStringLiteral("Remove ") + model.name);
    actions->addWidget(progress);
    actions->addWidget(cancel);
    actions->addWidget(primary);
    actions->addStretch();
    actions->addWidget(remove);
    rows->addLayout(actions);

    connect(cancel, &QPushButton::clicked, this, [this, model] { cancelDownload(model); });
    connect(remove, &QPushButton::clicked, this, [this, model] { askToRemove(model); });
    connect(primary, &QPushButton::clicked, this, [this, model] {
        if (ModelStore::isInstalled(model))
            select(model);
        else
            downloadAndSelect(model);
    });
    m_refreshers.append([this, model, active, progress, cancel, primary, remove] {
        const bool downloading = m_store && m_store->activeDownloads().contains(model.id);
        const bool installed = ModelStore::isInstalled(model);
        const bool selected = m_state.selectedModelID() == model.id;
        active->setVisible(selected);
        progress->setVisible(downloading);
        cancel->setVisible(downloading);
        if (downloading)
            progress->setText(QStringLiteral("Downloading %1%").arg(int(std::lround(m_store->progress().value(model.id) * 100))));
        primary->setVisible(!downloading);
        primary->setText(installed ? (selected ? QStringLiteral("Selected") : QStringLiteral("Use model"))
                                   : QStringLiteral("Download"));
        primary->setEnabled(!(installed && selected) && (installed || m_store));
        primary->setAccessibleName(primary->text() + QLatin1Char(' ') + model.name);
        remove->setVisible(installed && !downloading);
    });
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
        grid->addWidget(badge(headers[c]), 0, c);
    int r = 1;
    for (const SpeechModel &model : SpeechModel::catalog()) {
        auto *name = new QLabel(model.name);
        QFont f = name->font();
        f.setBold(true);
        name->setFont(f);
        grid->addWidget(name, r, 0);
        grid->addWidget(new QLabel(model.isEnglishOnly ? QStringLiteral("English") : model.languageSummary), r, 1);
        grid->addWidget(new QLabel(ratingText(model.speedRating())), r, 2);
        grid->addWidget(new QLabel(ratingText(model.qualityRating())), r, 3);
        grid->addWidget(new QLabel(model.sizeLabel), r, 4);

        auto *status = new QWidget;
        auto *h = new QHBoxLayout(status);
        h->setContentsMargins(0, 0, 0, 0);
        auto *active = badge(QStringLiteral("ACTIVE"));
        active->setForegroundRole(QPalette::Highlight);
        auto *use = new QPushButton(QStringLiteral("Use"));
        use->setAccessibleName(QStringLiteral("Use ") + model.name);
        auto *download = new QPushButton(QStringLiteral("Download"));
        download->setAccessibleName(QStringLiteral("Download ") + model.name);
        auto *cancel = new QPushButton(QStringLiteral("Cancel"));
        cancel->setAccessibleName(QStringLiteral("Cancel download of ") + model.name);
        auto *remove = new QToolButton;
        remove->setIcon(symbol(QStringLiteral("trash")));
        remove->setText(QStringLiteral("Remove ") + model.name);
        remove->setToolTip(remove->text());
        remove->setAccessibleName(remove->text());
        remove->setToolButtonStyle(remove->icon().isNull() ? Qt::ToolButtonTextOnly : Qt::ToolButtonIconOnly);
        remove->setAutoRaise(true);
        for (QWidget *w : std::initializer_list<QWidget *>{active, use, download, cancel, remove})
            h->addWidget(w);
        h->addStretch();
        grid->addWidget(status, r, 5);

        connect(use, &QPushButton::clicked, this, [this, model] { select(model); });
        connect(download, &QPushButton::clicked, this, [this, model] { downloadAndSelect(model); });
        connect(cancel, &QPushButton::clicked, this, [this, model] { cancelDownload(model); });
        connect(remove, &QToolButton::clicked, this, [this, model] { askToRemove(model); });
        m_refreshers.append([this, model, active, use, download, cancel, remove] {
            const bool downloading = m_store && m_store->activeDownloads().contains(model.id);
            const bool installed = ModelStore::isInstalled(model);
            const bool selected = m_state.selectedModelID() == model.id;
            active->setVisible(installed && selected);
            use->setVisible(installed && !selected);
            download->setVisible(!installed);
            download->setEnabled(!downloading && m_store);
            download->setText(downloading ? QStringLiteral("Download %1%").arg(int(std::lround(m_store->progress().value(model.id) * 100)))
                                          : QStringLiteral("Download"));
            cancel->setVisible(downloading);
            remove->setVisible(installed);
        });
        ++r;
    }
    grid->setColumnStretch(5, 1);
    rows->addLayout(grid);
    return frame;
}

void SpeechModelsView::setErrorMessage(std::optional<QString> message)
{
    m_errorMessage = std::move(message);
    m_errorText->setText(m_errorMessage.value_or(QString()));
    m_error->setVisible(m_errorMessage.has_value());
    emit errorMessageChanged();
}

void SpeechModelsView::refresh()
{
    for (const auto &update : std::as_const(m_refreshers))
        update();
}

QCoro::Task<> SpeechModelsView::downloadAndSelect(SpeechModel model)
{
    if (!m_store)
        co_return;
    setErrorMessage(std::nullopt);
    m_cancelled.remove(model.id);
    QPointer<SpeechModelsView> self(this);
    QPointer<AppState> state(&m_state);
    QPointer<ModelStore> store = m_store;
    auto downloading = store->download(model);
    const Result<void, QString> result = co_await downloading;
    if (result.ok()) {
        if (state)
            state->setSelectedModelID(model.id);
    } else if (self && !self->m_cancelled.remove(model.id)) {
        // The previous selection stays; the user sees why.
        self->setErrorMessage(result.error());
    }
}

void SpeechModelsView::cancelDownload(const SpeechModel &model)
{
    if (!m_store)
        return;
    m_cancelled.insert(model.id);
    m_store->cancelDownload(model);
}

void SpeechModelsView::select(const SpeechModel &model) { m_state.setSelectedModelID(model.id); }

void SpeechModelsView::askToRemove(const SpeechModel &model)
{
    m_pendingRemoval = model;
    if (m_confirmation)
        delete m_confirmation;
    m_confirmation = new QMessageBox(QMessageBox::Warning, QStringLiteral("Remove ") + model.name + QLatin1Char('?'),
                                     PlatformWording::adapt(QStringLiteral(
                                         "The model file will be deleted from this Mac. You can download it again later.")),
                                     QMessageBox::NoButton, this);
    m_confirmation->setText(QStringLiteral("Remove ") + model.name + QLatin1Char('?'));
    m_confirmation->setInformativeText(PlatformWording::adapt(
        QStringLiteral("The model file will be deleted from this Mac. You can download it again later.")));
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
            if (!removed.ok())
                setErrorMessage(removed.error());
            refresh();
        }
    });
    m_confirmation->open();
}
