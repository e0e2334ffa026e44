#include "KeyCodes.h"

#include <Qt>


namespace KeyCodes {
namespace {

constexpr Key kKeys[] = {
    {0, 'a', Qt::Key_A, "a"}, {1, 's', Qt::Key_S, "s"}, {2, 'd', Qt::Key_D, "d"}, {3, 'f', Qt::Key_F, "f"},
    {4, 'h', Qt::Key_H, "h"}, {5, 'g', Qt::Key_G, "g"}, {6, 'z', Qt::Key_Z, "z"}, {7, 'x', Qt::Key_X, "x"},
    {8, 'c', Qt::Key_C, "c"}, {9, 'v', Qt::Key_V, "v"}, {11, 'b', Qt::Key_B, "b"}, {12, 'q', Qt::Key_Q, "q"},
    {13, 'w', Qt::Key_W, "w"}, {14, 'e', Qt::Key_E, "e"}, {15, 'r', Qt::Key_R, "r"}, {16, 'y', Qt::Key_Y, "y"},
    {17, 't', Qt::Key_T, "t"}, {18, '1', Qt::Key_1, "1"}, {19, '2', Qt::Key_2, "2"}, {20, '3', Qt::Key_3, "3"},
    {21, '4', Qt::Key_4, "4"}, {22, '6', Qt::Key_6, "6"}, {23, '5', Qt::Key_5, "5"},
    {24, '=', Qt::Key_Equal, "="}, {25, '9', Qt::Key_9, "9"}, {26, '7', Qt::Key_7, "7"},
    {27, '-', Qt::Key_Minus, "-"}, {28, '8', Qt::Key_8, "8"}, {29, '0', Qt::Key_0, "0"},
    {30, ']', Qt::Key_BracketRight, "]"}, {31, 'o', Qt::Key_O, "o"}, {32, 'u', Qt::Key_U, "u"},
    {33, '[', Qt::Key_BracketLeft, "["}, {34, 'i', Qt::Key_I, "i"}, {35, 'p', Qt::Key_P, "p"},
    {36, 0xff0d, Qt::Key_Return, ""}, {37, 'l', Qt::Key_L, "l"}, {38, 'j', Qt::Key_J, "j"},
    {39, '\'', Qt::Key_Apostrophe, "'"}, {40, 'k', Qt::Key_K, "k"}, {41, ';', Qt::Key_Semicolon, ";"},
    {42, '\\', Qt::Key_Backslash, "\\"}, {43, ',', Qt::Key_Comma, ","}, {44, '/', Qt::Key_Slash, "/"},
    {45, 'n', Qt::Key_N, "n"}, {46, 'm', Qt::Key_M, "m"}, {47, '.', Qt::Key_Period, "."},
    {48, 0xff09, Qt::Key_Tab, ""}, {49, ' ', Qt::Key_Space, " "}, {50, '`', Qt::Key_QuoteLeft, "`"},
    {51, 0xff08, Qt::Key_Backspace, ""}, {53, 0xff1b, Qt::Key_Escape, ""},
    {76, 0xff8d, Qt::Key_Enter, ""},
    {96, 0xffc2, Qt::Key_F5, ""}, {97, 0xffc3, Qt::Key_F6, ""}, {98, 0xffc4, Qt::Key_F7, ""},
    {99, 0xffc0, Qt::Key_F3, ""}, {100, 0xffc5, Qt::Key_F8, ""}, {101, 0xffc6, Qt::Key_F9, ""},
    {103, 0xffc8, Qt::Key_F11, ""}, {105, 0xffca, Qt::Key_F13, ""}, {107, 0xffcb, Qt::Key_F14, ""},
    {109, 0xffc7, Qt::Key_F10, ""}, {111, 0xffc9, Qt::Key_F12, ""}, {113, 0xffcc, Qt::Key_F15, ""},
    {114, 0xff63, Qt::Key_Insert, ""}, {115, 0xff50, Qt::Key_Home, ""}, {116, 0xff55, Qt::Key_PageUp, ""},
    {117, 0xffff, Qt::Key_Delete, ""}, {118, 0xffc1, Qt::Key_F4, ""}, {119, 0xff57, Qt::Key_End, ""},
    {120, 0xffbf, Qt::Key_F2, ""}, {121, 0xff56, Qt::Key_PageDown, ""}, {122, 0xffbe, Qt::Key_F1, ""},
    {123, 0xff51, Qt::Key_Left, ""}, {124, 0xff53, Qt::Key_Right, ""}, {125, 0xff54, Qt::Key_Down, ""},
    {126, 0xff52, Qt::Key_Up, ""},
};

// Shifted symbols of a US layout and the key that types them.
constexpr std::pair<int, uint16_t> kShifted[] = {
    {Qt::Key_Exclam, 18}, {Qt::Key_At, 19}, {Qt::Key_NumberSign, 20}, {Qt::Key_Dollar, 21},
    {Qt::Key_Percent, 23}, {Qt::Key_AsciiCircum, 22}, {Qt::Key_Ampersand, 26}, {Qt::Key_Asterisk, 28},
    {Qt::Key_ParenLeft, 25}, {Qt::Key_ParenRight, 29}, {Qt::Key_Underscore, 27}, {Qt::Key_Plus, 24},
    {Qt::Key_BraceLeft, 33}, {Qt::Key_BraceRight, 30}, {Qt::Key_Bar, 42}, {Qt::Key_Colon, 41},
    {Qt::Key_QuoteDbl, 39}, {Qt::Key_Less, 43}, {Qt::Key_Greater, 47}, {Qt::Key_Question, 44},
    {Qt::Key_AsciiTilde, 50}, {Qt::Key_Backtab, 48},
};

} // namespace

std::optional<Key> byCode(uint16_t code)
{
    for (const Key &k : kKeys)
        if (k.code == code)
            return k;
    return std::nullopt;
}

std::optional<Key> byQtKey(int qtKey)
{
    for (const Key &k : kKeys)
        if (k.qtKey == qtKey)
            return k;
    for (const auto &[key, code] : kShifted)
        if (key == qtKey)
            return byCode(code);
    return std::nullopt;
}

std::optional<Key> byKeysym(uint32_t keysym)
{
    // Upper-case letters are the same keys.
    if (keysym >= 'A' && keysym <= 'Z')
        keysym += 'a' - 'A';
    for (const Key &k : kKeys)
        if (k.keysym == keysym)
            return k;
    return std::nullopt;
}

} // namespace KeyCodes
