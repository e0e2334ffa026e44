#pragma once

#include "platform/Accessibility.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

// The focused text object of the application with that process id, found over AT-SPI: the
// active window of that application is searched for the object that has the keyboard focus.
// None when the application is not on the accessibility bus (many terminals, Qt programs with
// accessibility off, Electron without it) or nothing focused offers text.
std::shared_ptr<AccessibleElement> atSpiFocusedElement(int64_t processIdentifier);

// The focused text object in the active window of any application but this one, without asking
// the window system which application is in front.
std::shared_ptr<AccessibleElement> atSpiDesktopFocusedElement(int64_t ownProcessIdentifier);

// The application with the active window, found over AT-SPI alone (on Wayland the window system
// tells nothing about other applications), with its focused text object when it has one.
struct AtSpiFocus {
    int64_t processIdentifier = 0;
    QString applicationName;
    std::shared_ptr<AccessibleElement> element;
};
std::optional<AtSpiFocus> atSpiDesktopFocus(int64_t ownProcessIdentifier);
