#pragma once

#include <functional>

// The X11 realisations of the keyboard, window, accessibility and permission ports.

#include "platform/Accessibility.h"
#include "platform/KeySynthesizer.h"
#include "platform/Permissions.h"
#include "platform/Workspace.h"

class X11Connection;

// XTEST key events; the command flag is Control, so ⌘V is Ctrl+V.
class X11KeySynthesizer final : public KeySynthesizer {
public:
    explicit X11KeySynthesizer(X11Connection &x11) : m_x11(x11) {}
    void postKey(uint16_t keyCode, uint64_t flags) override;
    bool keyHeld() const override;

private:
    X11Connection &m_x11;
};

// The window in front by _NET_ACTIVE_WINDOW, its process by _NET_WM_PID.
class X11Workspace final : public Workspace {
public:
    explicit X11Workspace(X11Connection &x11) : m_x11(x11) {}
    std::optional<RunningApplication> frontmostApplication() const override;
    void activate(const RunningApplication &application) override;
    bool isCurrentApplication(const RunningApplication &application) const override;
    // By WM_CLASS, against the list of known terminals.
    bool isTerminal(const RunningApplication &application) const override;

    // WM_CLASS's class, else its instance, else /proc/PID/comm.
    static QString applicationName(const QString &wmClass, const QString &wmInstance, int64_t pid);

private:
    X11Connection &m_x11;
};

// Trusted means keys can be posted: an X server with XTEST. The focused element is found over
// AT-SPI in the application of the active window (by _NET_WM_PID); without it, the PRIMARY
// selection stands in when that application owns it.
class X11Accessibility final : public Accessibility {
public:
    explicit X11Accessibility(X11Connection &x11) : m_x11(x11) {}
    bool isProcessTrusted(bool prompt) override;
    std::shared_ptr<AccessibleElement> focusedElement() override;
    std::optional<QString> ownedSelectionText() override;
    std::shared_ptr<AccessibleElement> desktopFocusedElement() override;

private:
    X11Connection &m_x11;
};

// Microphone: an audio input exists. Screen capture: an X server. Nothing to ask on Linux.
class LinuxPermissions final : public Permissions {
public:
    // `microphonePresent` asks the sound server whether any audio input exists.
    LinuxPermissions(X11Connection &x11, std::function<bool()> microphonePresent = {})
        : m_x11(x11), m_microphonePresent(std::move(microphonePresent))
    {
    }
    bool microphoneGranted() const override;
    bool requestMicrophone() override { return microphoneGranted(); }
    bool screenCaptureGranted() const override;
    bool requestScreenCapture() override { return screenCaptureGranted(); }
    void openSettings(const QString &location) override;

private:
    X11Connection &m_x11;
    std::function<bool()> m_microphonePresent;
};
