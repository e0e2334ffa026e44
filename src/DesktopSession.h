#pragma once

#include <memory>

class Accessibility;
class FloatingPanelHints;
class HotKeyBackend;
class KeySynthesizer;
class Workspace;
class X11Connection;

// The ports that depend on the kind of session: on X11 key grabs, XTEST and EWMH; on Wayland,
// where none of them reaches native applications, the desktop portal's shortcuts and keyboard
// when the desktop offers them (else XWayland's key grabs, and no synthetic keys), and the
// application in front with its focused element from the accessibility bus.
class DesktopSession {
public:
    // Before the application object: on Wayland, Qt may pick its native platform.
    static bool isWayland();
    static void choosePlatform();

    explicit DesktopSession(X11Connection &x11);
    ~DesktopSession();

    HotKeyBackend *hotKeys() const { return m_hotKeys.get(); }
    KeySynthesizer *keys() const { return m_keys.get(); }
    Workspace *workspace() const { return m_workspace.get(); }
    Accessibility *accessibility() const { return m_accessibility.get(); }
    // Made on first use, once the toolkit runs: on Wayland it opens a connection of its own.
    FloatingPanelHints *panelHints();
    bool portalShortcuts() const { return m_portalShortcuts; }
    // XTEST reaches only XWayland clients: on Wayland text goes in over accessibility first.
    bool insertTextDirectly() const { return m_wayland; }
    bool keysReachApplications() const { return !m_wayland || m_portalKeys; }
    bool screenCaptureSeesEveryWindow() const { return !m_wayland; }

private:
    std::unique_ptr<HotKeyBackend> m_hotKeys;
    std::unique_ptr<KeySynthesizer> m_keys;
    std::unique_ptr<Workspace> m_workspace;
    std::unique_ptr<Accessibility> m_accessibility;
    X11Connection &m_x11;
    std::unique_ptr<FloatingPanelHints> m_panelHints;
    bool m_portalShortcuts = false;
    bool m_wayland = false;
    bool m_portalKeys = false;
};
