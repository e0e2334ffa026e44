#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

// Global key combinations. Key codes are the program's portable key space.
class HotKeyBackend {
public:
    struct Modifiers {
        bool command = false; // Super on Linux
        bool option = false;  // Alt
        bool control = false;
        bool shift = false;
        bool operator==(const Modifiers &) const = default;
    };
    // Called on the main thread with the identifier and whether the key went down.
    using Handler = std::function<void(uint32_t identifier, bool pressed)>;

    virtual ~HotKeyBackend() = default;
    virtual void setHandler(Handler handler) = 0;
    // False when the combination cannot be registered (another client holds it).
    virtual bool registerHotKey(uint32_t identifier, uint16_t keyCode, Modifiers modifiers) = 0;
    virtual void unregisterHotKey(uint32_t identifier) = 0;

    // Where the desktop binds the keys and answers later (the portal): the trigger it really
    // bound, empty when it gave the shortcut none; nothing while unknown or where registering
    // already decided.
    virtual std::optional<QString> desktopTrigger(uint32_t identifier) const
    {
        (void)identifier;
        return std::nullopt;
    }
    // Called on the main thread when the desktop's answer arrives.
    std::function<void()> onDesktopBindingChanged;
};
