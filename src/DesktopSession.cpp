#include "DesktopSession.h"

#include "platform/portal/PortalHotKeyBackend.h"
#include "platform/portal/PortalKeySynthesizer.h"
#include "platform/wayland/LayerShellPanelHints.h"
#include "platform/wayland/WaylandPorts.h"
#include "platform/x11/X11FloatingPanelHints.h"
#include "platform/x11/X11HotKeyBackend.h"
#include "platform/x11/X11Ports.h"

#include <QGuiApplication>
#include <QSettings>

namespace {

const QString kRestoreTokenKey = QStringLiteral("remoteDesktopRestoreToken");

} // namespace

bool DesktopSession::isWayland()
{
    return qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

void DesktopSession::choosePlatform()
{
    // On X11, global shortcuts, key events and window activation are X facilities.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !isWayland())
        qputenv("QT_QPA_PLATFORM", "xcb");
}

DesktopSession::DesktopSession(X11Connection &x11) : m_x11(x11)
{
    const bool wayland = isWayland();
    m_wayland = wayland;
    if (wayland) {
        m_workspace = std::make_unique<WaylandWorkspace>();
        m_accessibility = std::make_unique<WaylandAccessibility>();
    } else {
        m_workspace = std::make_unique<X11Workspace>(x11);
        m_accessibility = std::make_unique<X11Accessibility>(x11);
    }
    if (wayland && PortalHotKeyBackend::isAvailable()) {
        auto portal = std::make_unique<PortalHotKeyBackend>();
        portal->setDescriptions({{1, QStringLiteral("Start or stop Dictation")},
                                 {2, QStringLiteral("Hold to dictate")},
                                 {3, QStringLiteral("Cancel the recording")},
                                 {4, QStringLiteral("Command")},
                                 {5, QStringLiteral("Command with a screenshot")}});
        m_hotKeys = std::move(portal);
        m_portalShortcuts = true;
    } else {
        m_hotKeys = std::make_unique<X11HotKeyBackend>(x11);
    }
    if (wayland && PortalKeySynthesizer::isAvailable()) {
        auto keys = std::make_unique<PortalKeySynthesizer>();
        keys->loadRestoreToken = [] { return QSettings().value(kRestoreTokenKey).toString(); };
        keys->storeRestoreToken = [](const QString &token) { QSettings().setValue(kRestoreTokenKey, token); };
        m_keys = std::move(keys);
        m_portalKeys = true;
    } else if (wayland) {
        m_keys = std::make_unique<NoKeySynthesizer>();
    } else {
        m_keys = std::make_unique<X11KeySynthesizer>(x11);
    }
}

DesktopSession::~DesktopSession() = default;

FloatingPanelHints *DesktopSession::panelHints()
{
    if (m_panelHints)
        return m_panelHints.get();
    // A layer surface wherever the compositor offers one, also for a program on XWayland: KWin
    // activates and Sway tiles and focuses a window of either kind.
    if (m_wayland)
        m_panelHints = LayerShellPanelHints::open();
    if (!m_panelHints && QGuiApplication::platformName() == QLatin1String("xcb"))
        m_panelHints = std::make_unique<X11FloatingPanelHints>(m_x11);
    if (!m_panelHints)
        m_panelHints = std::make_unique<ToplevelPanelHints>();
    return m_panelHints.get();
}
