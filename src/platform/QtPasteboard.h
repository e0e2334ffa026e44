#pragma once

#include "Pasteboard.h"

// The CLIPBOARD selection through QClipboard. X11 has one item; its every MIME type is kept.
class QtPasteboard final : public Pasteboard {
public:
    void clear() override;
    void setString(const QString &text) override;
    std::optional<QString> string() const override;
    PasteboardContents contents() const override;
    void write(const PasteboardContents &contents) override;
};
