#pragma once

#include <QString>

#include <memory>
#include <optional>

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
};

class Accessibility {
public:
    virtual ~Accessibility() = default;
    // Whether this process may read other applications and post key events.
    virtual bool isProcessTrusted(bool prompt) = 0;
    virtual std::shared_ptr<AccessibleElement> focusedElement() = 0;
};
