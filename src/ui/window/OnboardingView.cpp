#include "window/OnboardingView.h"

#include "app/AppState.h"
#include "app/PlatformWording.h"
#include "components/Components.h"
#include "components/ModelViews.h"
#include "components/ScreenColumn.h"
#include "components/SpeechEnginesOffer.h"
#include "speech/ModelStore.h"
#include "window/OnboardingModelCard.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

const QStringList kRecommended{QStringLiteral("pocket"), QStringLiteral("velocity")};

QLabel *paragraph(const QString &text, QWidget *parent)
{
    QLabel *label = roleLabel(QStringLiteral("subtitle"), PlatformWording::adapt(text), parent);
    label->setWordWrap(true);
    return label;
}

QWidget *keyHint(const QString &symbol, const QString &text, QWidget *parent)
{
    auto *box = new QWidget(parent);
    box->setProperty("role", QStringLiteral("keyHint"));
    box->setAttribute(Qt::WA_StyledBackground);
    auto *row = new QHBoxLayout(box);
    row->setContentsMargins(10, 6, 12, 6);
    row->addWidget(new SymbolLabel(symbol, 16, SymbolLabel::Tone::text, box));
    row->addWidget(new QLabel(text, box));
    return box;
}

} // namespace

OnboardingView::OnboardingView(const WindowContext &context, QWidget *parent) : QWidget(parent), m_context(context)
{
    setObjectName(QStringLiteral("screen"));
    setAttribute(Qt::WA_StyledBackground);
    auto *layout = new QVBoxLayout(this);
    const int margin = qMax(28, fontMetrics().height() * 2);
    layout->setContentsMargins(margin, margin * 3 / 4, margin, margin * 3 / 4);
    layout->setSpacing(16);

    auto *header = new QHBoxLayout;
    header->setSpacing(10);
    header->addWidget(new BrandMark(qMax(30, fontMetrics().height() * 2), this));
    header->addWidget(roleLabel(QStringLiteral("brandName"), QStringLiteral("Orvel Raza"), this));
    header->addStretch();
    for (int i = 0; i < steps; ++i) {
        QLabel *dot = roleLabel(QStringLiteral("stepDot"), QString(), this);
        m_indicator << dot;
        header->addWidget(dot);
    }
    layout->addLayout(header);

    m_pages = new QStackedWidget(this);
    m_pages->addWidget(makeWelcome());
    m_pages->addWidget(makePermission(1));
    m_pages->addWidget(makePermission(2));
    m_pages->addWidget(makeModels());
    layout->addWidget(m_pages, 1);

    auto *footer = new QHBoxLayout;
    m_back = new QuietButton(QStringLiteral("Back"), QStringLiteral("chevron.left"), [this] { setStep(m_step - 1); }, this);
    m_continue = new PrimaryButton(QStringLiteral("Continue"), QStringLiteral("arrow.right"),
                                   [this] { setStep(m_step + 1); }, this);
    m_continue->setLayoutDirection(Qt::RightToLeft); // the arrow after the word
    footer->addWidget(m_back);
    footer->addStretch();
    footer->addWidget(m_continue);
    footer->addWidget(m_finish);
    layout->addLayout(footer);

    connect(context.state, &AppState::permissionsChanged, this, &OnboardingView::refreshPermissions);
    {
        ModelStore *store = &context.state->modelStore();
        connect(store, &ModelStore::progressChanged, this, &OnboardingView::refreshModels);
        connect(store, &ModelStore::activeDownloadsChanged, this, &OnboardingView::refreshModels);
        connect(store, &ModelStore::revisionChanged, this, &OnboardingView::refreshModels);
    }
    refreshPermissions();
    refreshModels();
    refreshFrame();
}

QWidget *OnboardingView::makeWelcome()
{
    auto *page = new QWidget(this);
    auto *column = new QVBoxLayout(page);
    column->setSpacing(14);
    column->addStretch();
    column->addWidget(roleLabel(QStringLiteral("eyebrow"), QStringLiteral("PRIVATE BY DESIGN"), page));
    column->addWidget(roleLabel(QStringLiteral("hero"), QStringLiteral("Speak freely.\nNothing leaves."), page));
    column->addWidget(paragraph(QStringLiteral("Orvel Raza gives you Dictation and Command in every app. Dictation and "
                                               "local models stay on your Mac; optional OpenAI models use your own API key."),
                                page));
    auto *picture = new CardBackground(page);
    auto *pictureRow = new QHBoxLayout(picture);
    pictureRow->setContentsMargins(20, 16, 20, 16);
    pictureRow->setSpacing(14);
    pictureRow->addWidget(new SymbolLabel(QStringLiteral("waveform"), 44, SymbolLabel::Tone::accent, picture));
    pictureRow->addStretch();
    pictureRow->addWidget(keyHint(QStringLiteral("keyboard"),
                                  KeyboardShortcutSetting::defaultToggle().displayName() + QStringLiteral(" · Toggle"), picture));
    pictureRow->addWidget(keyHint(QStringLiteral("hand.tap.fill"),
                                  KeyboardShortcutSetting::defaultPushToTalk().displayName() + QStringLiteral(" · Hold"),
                                  picture));
    column->addWidget(picture);
    column->addStretch(2);
    return page;
}

QWidget *OnboardingView::makePermission(int step)
{
    const bool microphone = step == 1;
    auto *page = new QWidget(this);
    auto *column = new QVBoxLayout(page);
    column->setSpacing(14);
    column->addStretch();
    auto *top = new QHBoxLayout;
    top->addWidget(roleLabel(QStringLiteral("stepNumber"), microphone ? QStringLiteral("01") : QStringLiteral("02"), page));
    top->addWidget(new SymbolLabel(microphone ? QStringLiteral("mic.fill") : QStringLiteral("cursorarrow.motionlines"), 28,
                                   SymbolLabel::Tone::accent, page));
    top->addStretch();
    column->addLayout(top);
    column->addWidget(roleLabel(QStringLiteral("title"),
                                microphone ? QStringLiteral("Let Orvel Raza hear you.") : QStringLiteral("Put words at your cursor."),
                                page));
    column->addWidget(paragraph(microphone ? QStringLiteral("Microphone access is used only while you dictate. Recordings "
                                                            "never leave your Mac.")
                                           : QStringLiteral("Accessibility access lets Orvel Raza read selected text and "
                                                            "paste finished results into the app you were using."),
                                page));
    AppState *state = m_context.state;
    auto *button = new PrimaryButton(
        PlatformWording::adapt(microphone ? QStringLiteral("Allow microphone") : QStringLiteral("Allow auto-paste")), {},
        [state, microphone] {
            if (microphone)
                state->requestMicrophone();
            else
                state->requestAccessibility();
        },
        page);
    auto *ready = new QLabel(page);
    auto *readyRow = new QHBoxLayout;
    readyRow->addWidget(button);
    readyRow->addWidget(ready);
    readyRow->addStretch();
    column->addLayout(readyRow);
    column->addStretch(2);
    m_permissionButtons[step - 1] = button;
    m_permissionReady[step - 1] = ready;
    return page;
}

QWidget *OnboardingView::makeModels()
{
    auto *scroll = new ScreenColumn(this);
    scroll->column()->setContentsMargins(0, 0, 4, 0);
    QWidget *page = scroll->widget();
    QVBoxLayout *column = scroll->column();
    column->setSpacing(12);
    column->addWidget(new SectionHeading(QStringLiteral("Recommended models"), QStringLiteral("Pick your language."),
                                         QStringLiteral("Pocket is fastest for English. Velocity adds fast, automatic "
                                                        "transcription across 25 European languages."),
                                         page));
    if (m_context.state)
        column->addWidget(new SpeechEnginesOffer(m_context.state->speechEngines(), page));
    auto addCard = [this](const SpeechModel &model, QWidget *parent, QVBoxLayout *into) {
        auto *card = new OnboardingModelCard(model, parent);
        connect(card, &OnboardingModelCard::chosenByUser, this, &OnboardingView::setChosenModelID);
        m_cards << card;
        into->addWidget(card);
    };
    for (const QString &id : kRecommended)
        if (const auto model = SpeechModel::withID(id))
            addCard(*model, page, column);

    m_moreToggle = new QuietButton(QStringLiteral("More model options"), QStringLiteral("square.stack.3d.up"),
                                   [this] { setShowsMoreModels(!m_showsMoreModels); }, page);
    m_moreToggle->setToolTip(QStringLiteral("Compare larger and specialist open-source models"));
    auto *more = new QHBoxLayout;
    more->addWidget(m_moreToggle);
    more->addWidget(roleLabel(QStringLiteral("secondary"), QStringLiteral("Compare larger and specialist open-source models"), page));
    more->addStretch();
    column->addLayout(more);

    m_moreModels = new QWidget(page);
    auto *moreColumn = new QVBoxLayout(m_moreModels);
    moreColumn->setContentsMargins(0, 0, 0, 0);
    moreColumn->setSpacing(12);
    for (const SpeechModel &model : SpeechModel::catalog())
        if (!kRecommended.contains(model.id))
            addCard(model, m_moreModels, moreColumn);
    m_moreModels->hide();
    column->addWidget(m_moreModels);

    m_error = roleLabel(QStringLiteral("error"), QString(), page);
    m_error->setWordWrap(true);
    m_error->hide();
    column->addWidget(m_error);
    column->addStretch();

    m_finish = new PrimaryButton(QString(), QString(), [this] { finishOrDownload(); }, this);
    return scroll;
}

QWidget *OnboardingView::page(int step) const { return m_pages->widget(step); }
PrimaryButton *OnboardingView::permissionButton(int step) const { return m_permissionButtons[step - 1]; }
QLabel *OnboardingView::permissionReady(int step) const { return m_permissionReady[step - 1]; }

void OnboardingView::setStep(int step)
{
    m_step = qBound(0, step, steps - 1);
    refreshFrame();
}

void OnboardingView::refreshFrame()
{
    m_pages->setCurrentIndex(m_step);
    for (int i = 0; i < m_indicator.size(); ++i)
        m_indicator[i]->setProperty("current", i == m_step);
    for (QLabel *dot : m_indicator) {
        dot->setText(dot->property("current").toBool() ? QStringLiteral("●") : QStringLiteral("○"));
        dot->setAccessibleName(QStringLiteral("Step %1 of %2").arg(m_step + 1).arg(steps));
    }
    m_back->setVisible(m_step >= 1);
    m_continue->setVisible(m_step <= 2);
    m_finish->setVisible(m_step == 3);
}

void OnboardingView::refreshPermissions()
{
    const AppState &s = *m_context.state;
    for (int step : {1, 2}) {
        const bool granted = step == 1 ? s.microphoneGranted() : s.accessibilityGranted();
        const QString text = step == 1 ? QStringLiteral("Microphone ready") : QStringLiteral("Auto-paste ready");
        permissionButton(step)->setVisible(!granted);
        QLabel *ready = permissionReady(step);
        ready->setVisible(granted);
        ready->setText(QStringLiteral("✓ ") + text);
        ready->setAccessibleName(text);
        ready->setProperty("role", QStringLiteral("heading"));
    }
}

std::optional<SpeechModel> OnboardingView::chosenModel() const { return SpeechModel::withID(m_chosenModelID); }

bool OnboardingView::canFinish() const
{
    const auto model = chosenModel();
    return model && ModelStore::isInstalled(*model);
}

void OnboardingView::setChosenModelID(const QString &id)
{
    m_chosenModelID = id;
    refreshModels();
}

void OnboardingView::setShowsMoreModels(bool shows)
{
    m_showsMoreModels = shows;
    m_moreModels->setVisible(shows);
}

void OnboardingView::refreshModels()
{
    ModelStore *store = &m_context.state->modelStore();
    for (OnboardingModelCard *card : m_cards) {
        const SpeechModel &model = card->model();
        card->setChosen(model.id == m_chosenModelID);
        std::optional<double> progress;
        if (store->activeDownloads().contains(model.id))
            progress = store->progress().value(model.id, 0.0);
        card->setInstallState(ModelStore::isInstalled(model), progress);
    }
    const auto model = chosenModel();
    const bool downloading = model && store->activeDownloads().contains(model->id);
    if (canFinish())
        m_finish->setContent(QStringLiteral("Finish setup"), QStringLiteral("checkmark"));
    else
        m_finish->setContent(QStringLiteral("Download ") + (model ? model->name : QStringLiteral("model")),
                             QStringLiteral("arrow.down"));
    // A second press while the file is on its way would only queue the same download.
    m_finish->setEnabled(!downloading);
    m_error->setVisible(m_downloadError.has_value());
    m_error->setText(m_downloadError.value_or(QString()));
}

void OnboardingView::finish()
{
    AppState &s = *m_context.state;
    s.setSelectedModelID(m_chosenModelID);
    s.setSelectedSection(AppSection::home);
    // Last: the window replaces this view when onboarding is complete.
    s.setOnboardingComplete(true);
}

void OnboardingView::finishOrDownload()
{
    if (canFinish()) {
        finish();
        return;
    }
    const auto model = chosenModel();
    if (!model)
        return;
    m_downloadError.reset();
    refreshModels();
    QPointer<OnboardingView> self(this);
    [](QPointer<OnboardingView> self, ModelStore *store, SpeechModel model) -> QCoro::Task<> {
        const auto result = co_await store->download(model);
        if (!self)
            co_return;
        if (result.ok()) {
            // The user may have picked another card meanwhile; finish only with the one fetched.
            if (self->m_chosenModelID == model.id)
                self->finish();
            else
                self->refreshModels();
        } else {
            self->m_downloadError = result.error();
            self->refreshModels();
        }
    }(self, &m_context.state->modelStore(), *model);
}

void OnboardingView::keyPressEvent(QKeyEvent *event)
{
    // Enter does what the page's main button says; a focused button or card handles its own.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        PrimaryButton *main = m_step == 3 ? m_finish : m_continue;
        if (main->isVisible() && main->isEnabled())
            main->click();
        return;
    }
    QWidget::keyPressEvent(event);
}
