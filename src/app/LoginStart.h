#pragma once

#include <QString>

#include <optional>

// "Start at login": the shipped autostart entry copied into the user's autostart folder. Whether
// it is on is whether that file is there; it is off until the user turns it on.
namespace LoginStart {

// XDG_CONFIG_HOME/autostart/orvel-raza.desktop.
QString entryPath();
bool enabled();
// Nothing on success, else why it could not be changed.
std::optional<QString> setEnabled(bool on);

} // namespace LoginStart
