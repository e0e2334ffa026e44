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

QWidget *makeDesktopShortcutCommands(AppState &state)
{
    const HotKeyManager &keys = state.hotKey();
    if (keys.isRegistered(HotKeyManager::toggle) && keys.isRegistered(HotKeyManager::agent))
        return nullptr;
    auto *box = new QWidget;
    box->setObjectName(QStringLiteral("desktopShortcutCommands"));
    auto *v = new QVBoxLayout(box);
    v->setContentsMargins(0, 0, 0, 0);
    v->addWidget(sectionTitle(QStringLiteral("Desktop shortcuts")));
    QVBoxLayout *rows = nullptr;
    v->addWidget(card(&rows));
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
    return box;
}
