#pragma once

#include "platform/HotKeyBackend.h"

#include <QObject>

#include <map>
#include <vector>

class X11Connection;
#include <xcb/xcb.h>

// Global shortcuts as passive key grabs on the root window, one per NumLock/CapsLock variant,
// so the combination works whatever the lock keys are.
class X11HotKeyBackend final : public QObject, public HotKeyBackend {
    Q_OBJECT

public:
    explicit X11HotKeyBackend(X11Connection &x11, QObject *parent = nullptr);
    ~X11HotKeyBackend() override;

    void setHandler(Handler handler) override;
    bool registerHotKey(uint32_t identifier, uint16_t keyCode, Modifiers modifiers) override;
    void unregisterHotKey(uint32_t identifier) override;

private:
    struct Grab {
        uint8_t keycode;
        uint16_t modifiers;
        uint16_t keyCode;     // portable, to find the key again after a keyboard change
        Modifiers portable;
    };
    std::vector<uint16_t> lockVariants() const;
    void ungrab(const Grab &grab);
    void onEvent(const xcb_generic_event_t *event);

    X11Connection &m_x11;
    Handler m_handler;
    std::map<uint32_t, Grab> m_grabs;
    // Key codes whose press was reported, so their release is too, and repeats are not.
    std::map<uint8_t, uint32_t> m_down;
};
