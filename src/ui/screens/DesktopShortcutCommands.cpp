#include "ui/screens/DesktopShortcutCommands.h"

#include "app/AppState.h"
#include "app/HotKeyManager.h"
#include "app/InstanceService.h"
#include "ui/components/ScreenLayout.h"

#include <QClipboard>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace ScreenLayout;

namespace {

// What the desktop bound for each shortcut, where it binds them itself (the portal). Nothing
// until it answered: then the user sees the keys that really work, not the ones asked for.
void addDesktopTriggers(const HotKeyManager &keys, QVBoxLayout *rows)
{
    const std::pair<HotKeyManager::Identifier, const char *> shortcuts[] = {
        {HotKeyManager::toggle, "Start or stop Dictation"},
        {HotKeyManager::pushToTalk, "Hold to dictate"},
        {HotKeyManager::agent, "Command"},
        {HotKeyManager::agentScreenshot, "Command with a screenshot"}};
    for (const auto &[identifier, name] : shortcuts) {
        const auto trigger = keys.desktopTrigger(identifier);
        if (!trigger)
            continue;
        auto *line = new QLabel(QString::fromLatin1(name) + QStringLiteral(": ") +
                                (trigger->isEmpty() ? QStringLiteral("not bound (the key is taken)") : *trigger));
        line->setObjectName(QStringLiteral("desktop-trigger-%1").arg(int(identifier)));
        rows->addWidget(line);
    }
}

void fill(AppState &state, QWidget *box)
{
    auto *v = new QVBoxLayout(box);
    v->setContentsMargins(0, 0, 0, 0);
    const HotKeyManager &keys = state.hotKey();
    const bool desktopBinds = keys.desktopTrigger(HotKeyManager::toggle) || keys.desktopTrigger(HotKeyManager::agent);
    const bool missing = !keys.isRegistered(HotKeyManager::toggle) || !keys.isRegistered(HotKeyManager::agent);
    box->setVisible(desktopBinds || missing);
    if (!desktopBinds && !missing)
        return;
    v->addWidget(sectionTitle(QStringLiteral("Desktop shortcuts")));
    QVBoxLayout *rows = nullptr;
    v->addWidget(card(&rows));
    if (desktopBinds) {
        auto *intro = new QLabel(QStringLiteral("Your desktop binds these shortcuts; change them in its keyboard settings."));
        intro->setWordWrap(true);
        rows->addWidget(intro);
        addDesktopTriggers(keys, rows);
    }
    if (!missing)
        return;
    auto *intro = new QLabel(QStringLiteral("Some shortcuts could not be registered here. Bind these commands in your "
                                            "desktop's keyboard settings instead."));
    intro->setWordWrap(true);
    rows->addWidget(intro);
    for (InstanceAction action : bindableInstanceActions()) {
        const QString command = instanceActionCommand(action);
        auto *line = new QWidget;
        auto *h = new QHBoxLayout(line);
        h->setContentsMargins(0, 0, 0, 0);
        auto *text = new QLabel(command);
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        auto *copy = new QPushButton(QStringLiteral("Copy"));
        copy->setObjectName(QStringLiteral("copy-") + instanceActionName(action));
        QObject::connect(copy, &QPushButton::clicked, copy,
                         [command] { QGuiApplication::clipboard()->setText(command); });
        h->addWidget(text, 1);
        h->addWidget(copy);
        rows->addWidget(line);
    }
}

} // namespace

QWidget *makeDesktopShortcutCommands(AppState &state)
{
    auto *holder = new QWidget;
    holder->setObjectName(QStringLiteral("desktopShortcutCommands"));
    auto *outer = new QVBoxLayout(holder);
    outer->setContentsMargins(0, 0, 0, 0);
    auto rebuild = [&state, holder, outer] {
        while (QLayoutItem *item = outer->takeAt(0)) {
            delete item->widget();
            delete item;
        }
        auto *box = new QWidget;
        fill(state, box);
        outer->addWidget(box);
        holder->setVisible(!box->isHidden());
    };
    rebuild();
    // The desktop answers after start-up, and again after every change of a shortcut.
    QObject::connect(&state, &AppState::shortcutsChanged, holder, rebuild);
    return holder;
}
