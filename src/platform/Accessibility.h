#pragma once

#include <QString>

#include <memory>
#include <optional>

// A range of an element's text in UTF-16 units, whatever the toolkit counts in.
struct TextRange {
    int64_t location = 0;
    int64_t length = 0;
    bool operator==(const TextRange &) const = default;
};

// The focused UI element of another application.
class AccessibleElement {
public:
    virtual ~AccessibleElement() = default;
    virtual std::optional<QString> selectedText() const = 0;
    virtual std::optional<TextRange> selectedTextRange() const = 0;
    virtual bool setSelectedTextRange(const TextRange &range) = 0;
    virtual std::optional<QString> value() const = 0;
    // Direct edits, for sessions where synthetic keys do not reach the application. Each
    // reports success only when the element's text reads back as intended.
    // Puts text in place of the selection, or at the caret when nothing is selected.
    virtual bool insertText(const QString &text)
    {
        (void)text;
        return false;
    }
    virtual bool replaceText(const TextRange &range, const QString &text)
    {
        (void)range;
        (void)text;
        return false;
    }
};

class Accessibility {
public:
    virtual ~Accessibility() = default;
    // Whether this process may read other applications and post key events.
    virtual bool isProcessTrusted(bool prompt) = 0;
    // The focused element of the application in front, when it is reachable.
    virtual std::shared_ptr<AccessibleElement> focusedElement() = 0;
    // Text the application in front has selected without offering it through its element
    // (X11's PRIMARY selection, only when that application owns it).
    virtual std::optional<QString> ownedSelectionText() { return std::nullopt; }
    // The element that has the keyboard focus on the whole desktop, found over accessibility
    // alone: on Wayland the window system says nothing about other applications.
    virtual std::shared_ptr<AccessibleElement> desktopFocusedElement() { return focusedElement(); }
};
