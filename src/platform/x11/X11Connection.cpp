#include "X11Connection.h"

#include <QAbstractEventDispatcher>
#include <QPointer>
#include <QSocketNotifier>

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>
#include <xcb/xcb_keysyms.h>
// The XKB header names a field "explicit".
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xcb/xtest.h>

#include <cstdlib>

namespace {
constexpr uint32_t kNumLockKeysym = 0xff7f;
}

X11Connection::X11Connection(const char *displayName, QObject *parent) : QObject(parent)
{
    int screen = 0;
    xcb_connection_t *c = xcb_connect(displayName, &screen);
    if (!c || xcb_connection_has_error(c)) {
        if (c)
            xcb_disconnect(c);
        return;
    }
    m_connection = c;
    m_screenNumber = screen;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screen && it.rem; ++i)
        xcb_screen_next(&it);
    m_root = it.data ? it.data->root : 0;

    m_keySymbols = xcb_key_symbols_alloc(c);
    m_ewmh = std::make_unique<xcb_ewmh_connection_t>();
    if (!xcb_ewmh_init_atoms_replies(m_ewmh.get(), xcb_ewmh_init_atoms(c, m_ewmh.get()), nullptr))
        m_ewmh.reset();

    const xcb_query_extension_reply_t *xtest = xcb_get_extension_data(c, &xcb_test_id);
    m_hasXTest = xtest && xtest->present;

    // Held keys repeat as presses only, without the release in between.
    const xcb_query_extension_reply_t *xkb = xcb_get_extension_data(c, &xcb_xkb_id);
    if (xkb && xkb->present) {
        free(xcb_xkb_use_extension_reply(c, xcb_xkb_use_extension(c, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION),
                                         nullptr));
        const uint32_t flag = XCB_XKB_PER_CLIENT_FLAG_DETECTABLE_AUTO_REPEAT;
        free(xcb_xkb_per_client_flags_reply(
            c, xcb_xkb_per_client_flags(c, XCB_XKB_ID_USE_CORE_KBD, flag, flag, 0, 0, 0), nullptr));
    }
    refreshKeyboard();

    auto *notifier = new QSocketNotifier(xcb_get_file_descriptor(c), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &X11Connection::processEvents);
    // Writing a request or waiting for a reply may read events into xcb's queue, leaving the
    // socket quiet; they are picked up before the event loop sleeps.
    if (auto *dispatcher = QAbstractEventDispatcher::instance(thread()))
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] { dispatch(false); });
}

X11Connection::~X11Connection()
{
    if (m_ewmh)
        xcb_ewmh_connection_wipe(m_ewmh.get());
    if (m_keySymbols)
        xcb_key_symbols_free(m_keySymbols);
    if (m_connection)
        xcb_disconnect(m_connection);
}

void X11Connection::refreshKeyboard()
{
    m_numLockMask = 0;
    const uint8_t numLock = keycodeForKeysym(kNumLockKeysym);
    auto *reply = xcb_get_modifier_mapping_reply(m_connection, xcb_get_modifier_mapping(m_connection), nullptr);
    if (!reply)
        return;
    const xcb_keycode_t *codes = xcb_get_modifier_mapping_keycodes(reply);
    const int perModifier = reply->keycodes_per_modifier;
    for (int mod = 0; mod < 8 && numLock; ++mod)
        for (int k = 0; k < perModifier; ++k)
            if (codes[mod * perModifier + k] == numLock)
                m_numLockMask = uint16_t(1u << mod);
    free(reply);
}

uint8_t X11Connection::keycodeForKeysym(uint32_t keysym) const
{
    if (!m_keySymbols)
        return 0;
    xcb_keycode_t *codes = xcb_key_symbols_get_keycode(m_keySymbols, keysym);
    if (!codes)
        return 0;
    const uint8_t first = codes[0] == XCB_NO_SYMBOL ? 0 : codes[0];
    free(codes);
    return first;
}

void X11Connection::addListener(QObject *owner, Listener listener)
{
    m_listeners.push_back({owner, std::move(listener)});
    connect(owner, &QObject::destroyed, this, [this, owner] {
        std::erase_if(m_listeners, [owner](const Entry &e) { return e.owner == owner; });
    });
}

void X11Connection::processEvents() { dispatch(true); }

void X11Connection::dispatch(bool readSocket)
{
    if (!m_connection)
        return;
    while (xcb_generic_event_t *event =
               readSocket ? xcb_poll_for_event(m_connection) : xcb_poll_for_queued_event(m_connection)) {
        if ((event->response_type & ~0x80) == XCB_MAPPING_NOTIFY) {
            xcb_refresh_keyboard_mapping(m_keySymbols, reinterpret_cast<xcb_mapping_notify_event_t *>(event));
            refreshKeyboard();
        }
        // A listener may add or remove listeners.
        const auto listeners = m_listeners;
        for (const Entry &e : listeners)
            e.listener(event);
        free(event);
    }
}

void X11Connection::flush()
{
    if (!m_connection)
        return;
    xcb_flush(m_connection);
    // Events read while writing or waiting for replies sit in xcb's queue, unseen by the
    // socket notifier.
    QPointer<X11Connection> self(this);
    QMetaObject::invokeMethod(
        this,
        [self] {
            if (self)
                self->dispatch(false);
        },
        Qt::QueuedConnection);
}
