#include "WaylandPorts.h"

#include "platform/x11/AtSpiAccessibility.h"
#include "platform/x11/TerminalWindows.h"

#include <QFile>
#include <QWidget>

#include <unistd.h>

namespace {

QString processName(int64_t pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    return comm.open(QIODevice::ReadOnly) ? QString::fromUtf8(comm.readAll()).trimmed() : QString();
}

} // namespace

std::optional<RunningApplication> WaylandWorkspace::frontmostApplication() const
{
    const auto focus = atSpiDesktopFocus(int64_t(::getpid()));
    if (!focus || focus->processIdentifier <= 0)
        return std::nullopt;
    RunningApplication application;
    application.processIdentifier = focus->processIdentifier;
    application.localizedName =
        focus->applicationName.isEmpty() ? processName(focus->processIdentifier) : focus->applicationName;
    return application;
}

bool WaylandWorkspace::isCurrentApplication(const RunningApplication &application) const
{
    return application.processIdentifier == int64_t(::getpid());
}

bool WaylandWorkspace::isTerminal(const RunningApplication &application) const
{
    return isTerminalWindowClass(application.localizedName) ||
           (application.processIdentifier > 0 && isTerminalWindowClass(processName(application.processIdentifier)));
}

std::shared_ptr<AccessibleElement> WaylandAccessibility::focusedElement()
{
    const auto focus = atSpiDesktopFocus(int64_t(::getpid()));
    return focus ? focus->element : nullptr;
}

void ToplevelPanelHints::show(QWidget &panel)
{
    panel.show();
}
