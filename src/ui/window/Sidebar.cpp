#include "window/Sidebar.h"

#include "app/AppState.h"
#include "app/HotKeyManager.h"
#include "app/PlatformWording.h"
#include "components/Components.h"
#include "components/ModelViews.h"
#include "components/Palette.h"
#include "speech/ModelStore.h"

#include <QApplication>
#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>

namespace {

struct SectionRow {
    AppSection section;
    const char *symbol;
};

constexpr SectionRow kRows[] = {
    {AppSection::home, "house.fill"},       {AppSection::agent, "wand.and.stars"},
    {AppSection::history, "clock.arrow.circlepath"}, {AppSection::models, "cpu"},
    {AppSection::vocabulary, "text.book.closed"},     {AppSection::settings, "slider.horizontal.3"},
};

// A sidebar row: its icon takes the selected row's text colour.
class SidebarRow final : public SymbolButton {
public:
    SidebarRow(const QString &title, const QString &symbol, QWidget *parent)
        : SymbolButton(QStringLiteral("sidebarRow"), title, symbol, {}, parent)
    {
        setCheckable(true);
        connect(this, &QPushButton::toggled, this, [this] { refreshIcon(); });
    }

protected:
    QColor iconColor() const override
    {
        const Theme theme = Theme::of(this);
        return isChecked() ? theme.onAccent : theme.text;
    }
};

} // namespace

int Sidebar::preferredWidth(const QFont &font)
{
    const qreal points = font.pointSizeF() > 0 ? font.pointSizeF() : 10.0;
    return qMax(228, qRound(228 * points / 10.0));
}

Sidebar::Sidebar(const WindowContext &context, QWidget *parent) : QWidget(parent), m_context(context)
{
    setObjectName(QStringLiteral("sidebar"));
    setAttribute(Qt::WA_StyledBackground);
    setFixedWidth(preferredWidth(font()));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 20, 16, 16);
    layout->setSpacing(4);

    auto *brand = new QHBoxLayout;
    brand->setSpacing(10);
    brand->addWidget(new BrandMark(qMax(34, fontMetrics().height() * 2 + 2), this));
    auto *names = new QVBoxLayout;
    names->setSpacing(0);
    names->addWidget(roleLabel(QStringLiteral("brandName"), QStringLiteral("Orvel Raza"), this));
    names->addWidget(roleLabel(QStringLiteral("brandCaption"), QStringLiteral("LOCAL VOICE + WRITING"), this));
    brand->addLayout(names);
    brand->addStretch();
    layout->addLayout(brand);
    layout->addSpacing(18);

    auto *group = new QButtonGroup(this);
    group->setExclusive(true);
    for (const SectionRow &r : kRows) {
        auto *row = new SidebarRow(appSectionTitle(r.section), QLatin1String(r.symbol), this);
        group->addButton(row);
        m_rows.insert(r.section, row);
        layout->addWidget(row);
        const AppSection section = r.section;
        connect(row, &QPushButton::clicked, this, [this, section] { m_context.state->setSelectedSection(section); });
    }
    layout->addStretch();

    for (int i = 0; i < 4; ++i) {
        QLabel *hint = roleLabel(QStringLiteral("hint"), QString(), this);
        m_hints << hint;
        layout->addWidget(hint);
    }
    layout->addSpacing(14);

    auto *footer = new QHBoxLayout;
    footer->setSpacing(8);
    m_dot = new StatusDot(false, this);
    m_footer = roleLabel(QStringLiteral("secondary"), QString(), this);
    footer->addWidget(m_dot);
    footer->addWidget(m_footer, 1);
    layout->addLayout(footer);

    AppState *state = m_context.state;
    connect(state, &AppState::selectedSectionChanged, this, &Sidebar::refreshSelection);
    connect(state, &AppState::shortcutsChanged, this, &Sidebar::refreshHints);
    connect(state, &AppState::selectedModelIDChanged, this, &Sidebar::refreshFooter);
    connect(&m_context.state->modelStore(), &ModelStore::revisionChanged, this, &Sidebar::refreshFooter);
    refreshSelection();
    refreshHints();
    refreshFooter();
}

void Sidebar::refreshSelection()
{
    QPushButton *row = m_rows.value(m_context.state->selectedSection());
    if (!row)
        return;
    row->setChecked(true);
    // Keyboard focus in the sidebar follows a section switched from elsewhere (a missing model,
    // a permission problem), so the focus ring never marks a section that is not shown.
    QWidget *focused = QApplication::focusWidget();
    if (focused && focused != row && std::find(m_rows.cbegin(), m_rows.cend(), focused) != m_rows.cend())
        row->setFocus(Qt::OtherFocusReason);
}

void Sidebar::refreshHints()
{
    AppState &s = *m_context.state;
    // The two Dictation hints name the keys the program ships with; a key the desktop kept for
    // itself (a window manager's Alt+Space) is not promised.
    const HotKeyManager &keys = s.hotKey();
    auto taken = [&keys, &s](uint32_t id) {
        return keys.handlerInstalled() && !s.hotKeysSuspended() && !keys.isRegistered(id);
    };
    auto dictationHint = [&](const KeyboardShortcutSetting &key, const QString &what, uint32_t id) {
        return key.displayName() + QStringLiteral(" · ") + what +
               (taken(id) ? QStringLiteral(" (taken by another program)") : QString());
    };
    m_hints[0]->setText(dictationHint(KeyboardShortcutSetting::defaultToggle(), QStringLiteral("Toggle"), HotKeyManager::toggle));
    m_hints[1]->setText(dictationHint(KeyboardShortcutSetting::defaultPushToTalk(), QStringLiteral("Hold to talk"),
                                      HotKeyManager::pushToTalk));
    for (QLabel *hint : m_hints)
        hint->setWordWrap(true);
    m_hints[2]->setText(s.agentShortcut().displayName() + QStringLiteral(" · Command"));
    m_hints[3]->setText(s.agentScreenshotShortcut().displayName() + QStringLiteral(" · + screenshot"));
}

void Sidebar::refreshFooter()
{
    const bool ready = m_context.state->canDictate();
    m_dot->setActive(ready);
    m_footer->setText(ready ? PlatformWording::adapt(QStringLiteral("Ready on this Mac")) : QStringLiteral("Model needed"));
}

QStringList Sidebar::hints() const
{
    QStringList out;
    for (QLabel *l : m_hints)
        out << l->text();
    return out;
}

QString Sidebar::footerText() const { return m_footer->text(); }
bool Sidebar::footerActive() const { return m_dot->active(); }
