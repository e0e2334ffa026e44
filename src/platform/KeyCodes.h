#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// The portable key space (the classic virtual key codes, by key position on an ANSI keyboard)
// and its counterparts: X keysyms for grabbing and synthesising, Qt keys for recording.
namespace KeyCodes {

struct Key {
    uint16_t code;
    uint32_t keysym;   // X11 keysym of the unshifted key
    int qtKey;         // Qt::Key of the unshifted key
    const char *text;  // the characters the key types without modifiers ("" for special keys)
};

std::optional<Key> byCode(uint16_t code);
// Also knows the shifted symbols of a US layout ("!" is the 1 key).
std::optional<Key> byQtKey(int qtKey);
std::optional<Key> byKeysym(uint32_t keysym);

} // namespace KeyCodes
