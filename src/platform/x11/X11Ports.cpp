#include "X11Ports.h"

#include "AtSpiAccessibility.h"
#include "X11Connection.h"
#include "platform/KeyCodes.h"
#include "TerminalWindows.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QFile>
#include <QUrl>

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>
#include <xcb/xcb_icccm.h>
#include <xcb/xtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {
constexpr uint32_t kControlL = 0xffe3;
constexpr uint32_t kShiftL = 0xffe1;
constexpr uint32_t kAltL = 0xffe9;

void fake(xcb_connection_t *c, uint8_t type, uint8_t keycode, uint32_t root)
{
    xcb_test_fake_input(c, type, keycode, XCB_CURRENT_TIME, root, 0, 0, 0);
}

struct KeysDown {
    std::vector<uint8_t> modifiers; // Caps Lock and Num Lock left out: pressing them again toggles them
    bool other = false;
};

// The keys that are down right now, such as the shortcut's own, which the user may still hold.
KeysDown keysDown(xcb_connection_t *c)
{
    KeysDown down;
    xcb_query_keymap_reply_t *keymap = xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr);
    xcb_get_modifier_mapping_reply_t *mapping =
        xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr);
    if (keymap && mapping) {
        const auto isDown = [&](uint8_t code) { return keymap->keys[code / 8] & (1 << (code % 8)); };
        std::vector<bool> modifier(256, false);
        const xcb_keycode_t *codes = xcb_get_modifier_mapping_keycodes(mapping);
        const int perModifier = mapping->keycodes_per_modifier;
        for (int m = 0; m < 8; ++m) {
            for (int i = 0; i < perModifier; ++i) {
                const uint8_t code = codes[m * perModifier + i];
                if (!code)
                    continue;
                modifier[code] = true;
                if (m != 1 && m != 4 && isDown(code) && // Lock, Mod2
                    std::find(down.modifiers.begin(), down.modifiers.end(), code) == down.modifiers.end())
                    down.modifiers.push_back(code);
            }
        }
        for (int code = 8; code < 256 && !down.other; ++code)
            down.other = !modifier[code] && isDown(uint8_t(code));
    }
    free(keymap);
    free(mapping);
    return down;
}
} // namespace

bool X11KeySynthesizer::keyHeld() const
{
    xcb_connection_t *c = m_x11.connection();
    return c && keysDown(c).other;
}

void X11KeySynthesizer::postKey(uint16_t keyCode, uint64_t flags)
{
    xcb_connection_t *c = m_x11.connection();
    const auto key = KeyCodes::byCode(keyCode);
    if (!c || !m_x11.hasXTest() || !key)
        return;
    const uint8_t keycode = m_x11.keycodeForKeysym(key->keysym);
    if (!keycode)
        return;
    std::vector<uint8_t> modifiers;
    if (flags & (commandFlag | controlFlag))
        modifiers.push_back(m_x11.keycodeForKeysym(kControlL));
    if (flags & optionFlag)
        modifiers.push_back(m_x11.keycodeForKeysym(kAltL));
    if (flags & shiftFlag)
        modifiers.push_back(m_x11.keycodeForKeysym(kShiftL));
    std::erase(modifiers, uint8_t(0));
    // Still-held keys would turn Ctrl+V into Ctrl+Alt+Shift+V. They are let go, not pressed
    // again afterwards: a key the user released meanwhile would then stay stuck down.
    for (uint8_t m : keysDown(c).modifiers)
        fake(c, XCB_KEY_RELEASE, m, m_x11.root());
    for (uint8_t m : modifiers)
        fake(c, XCB_KEY_PRESS, m, m_x11.root());
    fake(c, XCB_KEY_PRESS, keycode, m_x11.root());
    fake(c, XCB_KEY_RELEASE, keycode, m_x11.root());
    for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it)
        fake(c, XCB_KEY_RELEASE, *it, m_x11.root());
    // The round trip makes sure the server has them before anything else happens.
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    m_x11.flush();
}

QString X11Workspace::applicationName(const QString &wmClass, const QString &wmInstance, int64_t pid)
{
    if (!wmClass.isEmpty())
        return wmClass;
    if (!wmInstance.isEmpty())
        return wmInstance;
    if (pid > 0) {
        QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
        if (comm.open(QIODevice::ReadOnly))
            return QString::fromUtf8(comm.readAll()).trimmed();
    }
    return {};
}

std::optional<RunningApplication> X11Workspace::frontmostApplication() const
{
    xcb_ewmh_connection_t *ewmh = m_x11.ewmh();
    if (!ewmh)
        return std::nullopt;
    xcb_window_t window = XCB_WINDOW_NONE;
    if (!xcb_ewmh_get_active_window_reply(ewmh, xcb_ewmh_get_active_window(ewmh, m_x11.screenNumber()), &window,
                                          nullptr) ||
        window == XCB_WINDOW_NONE)
        return std::nullopt;

    RunningApplication app;
    app.windowId = window;
    uint32_t pid = 0;
    if (xcb_ewmh_get_wm_pid_reply(ewmh, xcb_ewmh_get_wm_pid(ewmh, window), &pid, nullptr))
        app.processIdentifier = pid;
    QString cls, instance;
    xcb_icccm_get_wm_class_reply_t wmClass;
    if (xcb_icccm_get_wm_class_reply(m_x11.connection(), xcb_icccm_get_wm_class(m_x11.connection(), window),
                                     &wmClass, nullptr)) {
        cls = QString::fromLocal8Bit(wmClass.class_name);
        instance = QString::fromLocal8Bit(wmClass.instance_name);
        xcb_icccm_get_wm_class_reply_wipe(&wmClass);
    }
    app.localizedName = applicationName(cls, instance, app.processIdentifier);
    m_x11.flush();
    return app;
}

void X11Workspace::activate(const RunningApplication &application)
{
    xcb_ewmh_connection_t *ewmh = m_x11.ewmh();
    if (!ewmh || !application.windowId)
        return;
    // Source "pager": window managers honour it without focus-stealing checks.
    xcb_ewmh_request_change_active_window(ewmh, m_x11.screenNumber(), xcb_window_t(application.windowId),
                                          XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER, XCB_CURRENT_TIME, XCB_WINDOW_NONE);
    m_x11.flush();
}

bool X11Workspace::isTerminal(const RunningApplication &application) const
{
    xcb_connection_t *c = m_x11.connection();
    if (!c || !application.windowId)
        return false;
    bool terminal = false;
    xcb_icccm_get_wm_class_reply_t wmClass;
    if (xcb_icccm_get_wm_class_reply(c, xcb_icccm_get_wm_class(c, xcb_window_t(application.windowId)), &wmClass,
                                     nullptr)) {
        terminal = isTerminalWindowClass(QString::fromLocal8Bit(wmClass.class_name)) ||
                   isTerminalWindowClass(QString::fromLocal8Bit(wmClass.instance_name));
        xcb_icccm_get_wm_class_reply_wipe(&wmClass);
    }
    return terminal;
}

bool X11Workspace::isCurrentApplication(const RunningApplication &application) const
{
    return application.processIdentifier == int64_t(::getpid());
}

bool X11Accessibility::isProcessTrusted(bool) { return m_x11.isValid() && m_x11.hasXTest(); }

std::shared_ptr<AccessibleElement> X11Accessibility::focusedElement()
{
    const auto front = X11Workspace(m_x11).frontmostApplication();
    // Asking ourselves over the bus would wait on our own busy main thread.
    if (!front || front->processIdentifier == int64_t(::getpid()))
        return nullptr;
    return atSpiFocusedElement(front->processIdentifier);
}

std::shared_ptr<AccessibleElement> X11Accessibility::desktopFocusedElement()
{
    if (auto element = atSpiDesktopFocusedElement(int64_t(::getpid())))
        return element;
    return focusedElement();
}

std::optional<QString> X11Accessibility::ownedSelectionText()
{
    xcb_connection_t *c = m_x11.connection();
    const auto front = X11Workspace(m_x11).frontmostApplication();
    if (!c || !front || front->processIdentifier == int64_t(::getpid()))
        return std::nullopt;
    xcb_get_selection_owner_reply_t *reply =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, XCB_ATOM_PRIMARY), nullptr);
    const xcb_window_t owner = reply ? reply->owner : xcb_window_t(XCB_WINDOW_NONE);
    free(reply);
    // Whatever another program highlighted long ago is not this program's selection: the owner
    // must be a window of the same X client as the window in front.
    const uint32_t clientBits = ~xcb_get_setup(c)->resource_id_mask;
    if (owner == XCB_WINDOW_NONE || (owner & clientBits) != (uint32_t(front->windowId) & clientBits))
        return std::nullopt;
    const QString text = QGuiApplication::clipboard()->text(QClipboard::Selection);
    if (text.isEmpty())
        return std::nullopt;
    return text;
}

bool LinuxPermissions::microphoneGranted() const { return m_microphonePresent && m_microphonePresent(); }

bool LinuxPermissions::screenCaptureGranted() const { return m_x11.isValid(); }

void LinuxPermissions::openSettings(const QString &location)
{
    // The macOS privacy pages have no counterpart here; other locations open normally.
    if (location.startsWith(QLatin1String("x-apple.")))
        return;
    const QUrl url(location, QUrl::StrictMode);
    if (url.isValid() && !url.scheme().isEmpty())
        QDesktopServices::openUrl(url);
}
