#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// A running application as seen through its window in front.
struct RunningApplication {
    int64_t processIdentifier = 0;
    QString localizedName;
    uint64_t windowId = 0;
    bool operator==(const RunningApplication &) const = default;
};

class Workspace {
public:
    virtual ~Workspace() = default;
    virtual std::optional<RunningApplication> frontmostApplication() const = 0;
    virtual void activate(const RunningApplication &application) = 0;
    // True when the application is this program itself.
    virtual bool isCurrentApplication(const RunningApplication &application) const = 0;
    // Terminals take Ctrl+Shift+V and Ctrl+Shift+C; Ctrl+C would interrupt what runs in them.
    virtual bool isTerminal(const RunningApplication &) const { return false; }
};
