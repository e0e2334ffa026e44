#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>
#include <xcb/xcb_keysyms.h>

// This program's own connection to the X server, shared by the X11 ports. Events are read on
// the main thread and handed to the listeners.
class X11Connection final : public QObject {
    Q_OBJECT

public:
    // Connects to $DISPLAY, or to the given display name.
    explicit X11Connection(const char *displayName = nullptr, QObject *parent = nullptr);
    ~X11Connection() override;

    bool isValid() const { return m_connection != nullptr; }
    xcb_connection_t *connection() const { return m_connection; }
    uint32_t root() const { return m_root; }
    int screenNumber() const { return m_screenNumber; }
    xcb_key_symbols_t *keySymbols() const { return m_keySymbols; }
    // EWMH atoms and helpers; null when the connection failed.
    xcb_ewmh_connection_t *ewmh() const { return m_ewmh.get(); }
    bool hasXTest() const { return m_hasXTest; }

    // The first key code that produces the keysym, 0 when none does.
    uint8_t keycodeForKeysym(uint32_t keysym) const;
    // The modifier bit that holds Num_Lock (usually Mod2), 0 when none.
    uint16_t numLockMask() const { return m_numLockMask; }

    using Listener = std::function<void(const xcb_generic_event_t *event)>;
    void addListener(QObject *owner, Listener listener);

    // Reads what the server sent and hands it to the listeners.
    void processEvents();
    // Sends what is buffered; call after every batch of requests.
    void flush();

private:
    void refreshKeyboard();
    // Hands every event to the listeners; only those already queued unless readSocket.
    void dispatch(bool readSocket);

    xcb_connection_t *m_connection = nullptr;
    uint32_t m_root = 0;
    int m_screenNumber = 0;
    xcb_key_symbols_t *m_keySymbols = nullptr;
    std::unique_ptr<xcb_ewmh_connection_t> m_ewmh;
    bool m_hasXTest = false;
    uint16_t m_numLockMask = 0;
    struct Entry {
        QObject *owner;
        Listener listener;
    };
    std::vector<Entry> m_listeners;
};
