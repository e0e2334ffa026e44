#include "X11HotKeyBackend.h"

#include "X11Connection.h"
#include "platform/KeyCodes.h"

#include <xcb/xcb.h>

#include <cstdlib>

namespace {

uint16_t maskOf(const HotKeyBackend::Modifiers &m)
{
    uint16_t mask = 0;
    if (m.command)
        mask |= XCB_MOD_MASK_4;
    if (m.option)
        mask |= XCB_MOD_MASK_1;
    if (m.control)
        mask |= XCB_MOD_MASK_CONTROL;
    if (m.shift)
        mask |= XCB_MOD_MASK_SHIFT;
    return mask;
}

constexpr uint16_t kRelevant = XCB_MOD_MASK_4 | XCB_MOD_MASK_1 | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT;

} // namespace

X11HotKeyBackend::X11HotKeyBackend(X11Connection &x11, QObject *parent) : QObject(parent), m_x11(x11)
{
    m_x11.addListener(this, [this](const xcb_generic_event_t *e) { onEvent(e); });
}

X11HotKeyBackend::~X11HotKeyBackend()
{
    for (const auto &[id, grab] : m_grabs)
        ungrab(grab);
    m_x11.flush();
}

void X11HotKeyBackend::setHandler(Handler handler) { m_handler = std::move(handler); }

std::vector<uint16_t> X11HotKeyBackend::lockVariants() const
{
    std::vector<uint16_t> variants{0, XCB_MOD_MASK_LOCK};
    if (const uint16_t numLock = m_x11.numLockMask()) {
        variants.push_back(numLock);
        variants.push_back(numLock | XCB_MOD_MASK_LOCK);
    }
    return variants;
}

bool X11HotKeyBackend::registerHotKey(uint32_t identifier, uint16_t keyCode, Modifiers modifiers)
{
    unregisterHotKey(identifier);
    xcb_connection_t *c = m_x11.connection();
    if (!c)
        return false;
    const auto key = KeyCodes::byCode(keyCode);
    if (!key)
        return false;
    const uint8_t keycode = m_x11.keycodeForKeysym(key->keysym);
    if (!keycode)
        return false;
    const Grab grab{keycode, maskOf(modifiers), keyCode, modifiers};

    std::vector<xcb_void_cookie_t> cookies;
    for (uint16_t variant : lockVariants())
        cookies.push_back(xcb_grab_key_checked(c, 1, m_x11.root(), grab.modifiers | variant, keycode,
                                               XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    // Another client holding any variant (BadAccess) makes the whole combination refused.
    bool refused = false;
    for (const auto &cookie : cookies) {
        if (xcb_generic_error_t *error = xcb_request_check(c, cookie)) {
            refused = true;
            free(error);
        }
    }
    if (refused) {
        ungrab(grab);
        m_x11.flush();
        return false;
    }
    m_grabs[identifier] = grab;
    m_x11.flush();
    return true;
}

void X11HotKeyBackend::ungrab(const Grab &grab)
{
    xcb_connection_t *c = m_x11.connection();
    if (!c)
        return;
    // Ungrabbing a variant held by another client is a no-op, not theirs to lose.
    for (uint16_t variant : lockVariants())
        xcb_ungrab_key(c, grab.keycode, m_x11.root(), grab.modifiers | variant);
}

void X11HotKeyBackend::unregisterHotKey(uint32_t identifier)
{
    const auto it = m_grabs.find(identifier);
    if (it == m_grabs.end())
        return;
    const Grab grab = it->second;
    m_grabs.erase(it);
    std::erase_if(m_down, [identifier](const auto &entry) { return entry.second == identifier; });
    // Another identifier on the same combination keeps its grab.
    bool shared = false;
    for (const auto &[id, other] : m_grabs)
        shared |= other.keycode == grab.keycode && other.modifiers == grab.modifiers;
    if (!shared)
        ungrab(grab);
    m_x11.flush();
}

void X11HotKeyBackend::onEvent(const xcb_generic_event_t *event)
{
    const uint8_t type = event->response_type & ~0x80;
    if (type == XCB_MAPPING_NOTIFY &&
        reinterpret_cast<const xcb_mapping_notify_event_t *>(event)->request != XCB_MAPPING_POINTER) {
        // Another layout may put the keys on other key codes: grab them again where they are now.
        const auto grabs = m_grabs;
        for (const auto &[id, grab] : grabs)
            registerHotKey(id, grab.keyCode, grab.portable);
        return;
    }
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return;
    const auto *key = reinterpret_cast<const xcb_key_press_event_t *>(event);
    if (type == XCB_KEY_PRESS) {
        if (m_down.contains(key->detail))
            return; // a held key repeating
        const uint16_t state = key->state & kRelevant;
        for (const auto &[id, grab] : m_grabs) {
            if (grab.keycode == key->detail && grab.modifiers == state) {
                m_down[key->detail] = id;
                if (m_handler)
                    m_handler(id, true);
                return;
            }
        }
        return;
    }
    // The release belongs to the press, whatever modifiers were let go before it.
    const auto it = m_down.find(key->detail);
    if (it == m_down.end())
        return;
    const uint32_t id = it->second;
    m_down.erase(it);
    if (m_handler)
        m_handler(id, false);
}
