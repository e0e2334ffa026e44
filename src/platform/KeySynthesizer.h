#pragma once

#include <cstdint>

// Synthetic key events. Key codes are the program's portable key space (the classic virtual
// key codes: 8 C, 9 V, 49 Space, 53 Esc); the X11 side maps them to keysyms.
class KeySynthesizer {
public:
    static constexpr uint16_t keyC = 8;
    static constexpr uint16_t keyV = 9;
    // Modifier flags of postKey; the command flag means Control on Linux.
    static constexpr uint64_t commandFlag = 0x100000;
    static constexpr uint64_t shiftFlag = 0x20000;
    static constexpr uint64_t controlFlag = 0x40000;
    static constexpr uint64_t optionFlag = 0x80000;

    virtual ~KeySynthesizer() = default;
    // A key-down then a key-up of keyCode with the modifiers in flags held.
    virtual void postKey(uint16_t keyCode, uint64_t flags) = 0;
    // Whether a key other than a modifier is down, such as the shortcut's own: while it is, the
    // desktop may still deliver every key to the program whose shortcut it is.
    virtual bool keyHeld() const { return false; }
};
